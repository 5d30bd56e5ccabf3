// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <list>
#include <memory>

#include "base/event.h"
#include "base/locks.h"
#include "base/thread.h"
#include "media/audio_codec.h"
#include "media/frame_buffer.h"
#include "platform/sound_input.h"

namespace corvel {

// The microphone is captured at 7900 samples/s and the encoded stream is sent as 8000 samples/s G.726,
// as the devices expect it.
inline constexpr SoundFormat kTalkCaptureFormat{1, 1, 7900, 15800, 2, 16};
inline constexpr uint32_t kTalkCaptureBuffers = 8;
inline constexpr uint32_t kTalkCaptureBytes = kTalkSamplesPerFrame * 2;  // 3840: 1920 samples, ~243 ms

// The talk frame placed in every talking channel's talk buffer: two halves of one encoded block, with the
// gaps the talk transfer fills with its headers.
inline constexpr uint32_t kTalkFrameBytes = 1032;
inline constexpr uint32_t kTalkFirstHalfAt = 40;
inline constexpr uint32_t kTalkSecondHalfAt = 536;
inline constexpr uint32_t kTalkHalfBytes = 480;

// The session's one microphone capture: records blocks of 1920 samples, encodes each once as G.726 at
// 32 kbit/s and copies it into the talk buffer of every registered (talking) channel, stamped with the
// time it was encoded. It runs while at least one talk buffer is registered.
//
// Threads: the client thread calls Register/UnregisterTalkBuffer, Start, Stop and the destructor; Run is
// the capture thread, the only producer of every registered talk buffer. The registration lock covers
// the whole fan-out of a block, so a buffer is never written after its registration is removed.
//
// A microphone that goes away while talking (its sound server died) is closed by the capture thread and
// opened again once a second until one opens, as the sound output does; the talk stays open meanwhile.
class CMyTalkAudio : public CMyThread {
  public:
    explicit CMyTalkAudio(SoundInputOpener* opener) : opener_(opener) {}
    ~CMyTalkAudio() override;

    // Opens the microphone and queues the 8 capture buffers, then starts the thread. False, with the
    // device closed again, when any of that fails.
    bool Start() override;
    // Ends the thread (waiting up to timeout_ms), then resets, stops and closes the device.
    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-talk-mic"; }

    // Adds a talk buffer to the fan-out, starting the capture when it is the first. False, with nothing
    // registered and the capture stopped if it was the only one, when the capture cannot start.
    bool RegisterTalkBuffer(CABuffer2* talk_buffer);
    struct Unregistered {
        bool removed;
        bool now_empty;
    };
    // Removes the first registration of this buffer. The caller stops the capture when now_empty.
    Unregistered UnregisterTalkBuffer(CABuffer2* talk_buffer);

    size_t RegistrationCount();
    bool IsDeviceOpen() const { return wave_in_ != nullptr; }

  private:
    struct Registration {
        FrameRecord cursor;
        CABuffer2* buffer;
    };
    bool OpenCapture();
    void CloseCapture();
    // The talk thread, after the device went away: closes it and opens the microphone again (started).
    bool ReopenCapture();
    void Distribute(const uint8_t* encoded, uint32_t time);

    SoundInputOpener* const opener_;
    std::list<Registration> registrations_;
    light_lock registration_lock_;
    AudioCodecState codec_;
    Event capture_event_;  // before the device, which sets it until it is gone
    std::unique_ptr<SoundInput> wave_in_;
    std::array<SoundInputHeader, kTalkCaptureBuffers> headers_;
    // Capture memory, written by the device while queued and encoded in place by Run.
    std::array<std::array<int16_t, kTalkSamplesPerFrame>, kTalkCaptureBuffers> buffers_{};
};

}  // namespace corvel

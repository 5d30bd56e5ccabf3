// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "base/event.h"
#include "base/thread.h"
#include "media/audio_codec.h"
#include "media/frame_buffer.h"
#include "media/listen_backlog.h"
#include "platform/sound_output.h"

namespace corvel {

// The play buffer's shape: 16 blocks of 1024 bytes (64 ms each at 8000 samples/s, 16-bit, mono), with a
// notification in the middle of every block.
inline constexpr uint32_t kPlayBufferBytes = 16384;
inline constexpr uint32_t kPlayBlockBytes = 1024;
inline constexpr uint32_t kPlayBlocks = kPlayBufferBytes / kPlayBlockBytes;
// How far the writer keeps ahead of the play cursor: the delay the audio thread may be late (a loaded
// machine, a device that takes its data in bursts) before the device plays a block not yet written, which
// holds what was written there a whole loop before. Each block of lead is 64 ms of latency.
inline constexpr uint32_t kPlayLeadBlocks = 3;
inline constexpr uint32_t kPlayLeadBytes = kPlayLeadBlocks * kPlayBlockBytes;

// What the audio thread needs of its channel's video side to keep picture and sound together.
// Threads: the audio thread calls both; implementations read and move the values atomically.
class AudioVideoLink {
  public:
    // Capture time (seconds since 1970) of the video picture decoded last.
    virtual uint32_t VideoPictureTime() const = 0;
    // Moves the video thread's due time by delta_ms (an atomic add on its pacing).
    virtual void AdjustVideoDue(int32_t delta_ms) = 0;

  protected:
    ~AudioVideoLink() = default;
};

// The output device of one player; empty until CreateOutput, released by Stop and the destructor.
class CDSoundCtx {
  public:
    CDSoundCtx() = default;
    virtual ~CDSoundCtx() = default;
    CDSoundCtx(const CDSoundCtx&) = delete;
    CDSoundCtx& operator=(const CDSoundCtx&) = delete;

  protected:
    std::unique_ptr<SoundOutputDevice> sound_;
};

// The audio thread of one channel: takes frames from the channel's audio buffer and decodes them straight
// into a looping 16-block play buffer one block at a time, keeping kPlayLeadBlocks written ahead of the
// play cursor; a notification of a block being played wakes it to write the next ones. When the device
// got past the block due next, the writing moves to just after the device's write cursor rather than
// fill blocks that would only be heard a loop later. Sound that stands waiting in the audio buffer is cut
// by dropping its oldest frames whole (ListenBacklog), said on standard error at most once a minute.
// Without a device it still drains the audio buffer.
//
// Threads: the channel's (client) thread calls Attach, Start, Stop and the destructor; Run is the audio
// thread, the only consumer of the audio buffer and the only user of the device while it runs.
class CAudioCtx : public CMyThread, public CDSoundCtx {
  public:
    CAudioCtx() = default;
    // Stops the thread (10000 ms) and releases the play buffer, then the device.
    ~CAudioCtx() override;

    // Before Start: the audio buffer to play, the video side to keep in step (null: none), and where the
    // output device comes from.
    void Attach(CABuffer2* audio_buffer, AudioVideoLink* video, SoundOutputOpener* opener);

    // Opens the device and the play buffer when it can, then starts the thread whether or not sound is
    // available. False when the thread did not start (or nothing is attached).
    bool Start() override;
    // Ends the thread (waiting up to timeout_ms) and releases the play buffer and the device; the next
    // Start opens them again.
    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-audio"; }

    // Opens the output device and sets its mixing format; true when there is one. A failure releases it.
    // (No window is involved: the sound servers of this platform share the device without one.)
    bool CreateOutput();
    // Makes the looping play buffer with the 16 notifications on `event`; none on failure.
    bool CreatePlayBuffer(Event* event);

    bool HasPlayBuffer() const { return play_buffer_ != nullptr; }
    // Frames dropped unheard because sound stood waiting behind them; any thread.
    uint64_t FramesDroppedBehind() const { return frames_dropped_behind_.load(std::memory_order_relaxed); }

  private:
    // Fills one locked block from the audio buffer; `fill` carries the last byte between blocks.
    void FillBlock(uint8_t* block);
    // Makes the next frame worth playing the current one (none when nothing waits).
    void TakeFrame();
    void SayDroppedBehind();
    void SynchroniseVideo(uint32_t frame_time);

    CABuffer2* audio_buffer_ = nullptr;
    AudioVideoLink* video_ = nullptr;
    SoundOutputOpener* opener_ = nullptr;
    AudioCodecState codec_;
    Event notification_;  // before the play buffer, which sets it until it is gone
    std::unique_ptr<SoundOutputBuffer> play_buffer_;

    // Audio thread only: the frame being decoded and the byte that fills blocks no frame reached.
    FrameRecord frame_{};
    const uint8_t* frame_at_ = nullptr;
    int32_t frame_left_ = 0;
    uint8_t fill_byte_ = 0;
    ListenBacklog backlog_;
    uint64_t said_dropped_ = 0;
    uint32_t said_at_tick_ = 0;
    std::atomic<uint64_t> frames_dropped_behind_{0};
};

}  // namespace corvel

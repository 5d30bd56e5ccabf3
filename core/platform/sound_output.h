// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/event.h"
#include "platform/sound_format.h"

namespace corvel {

enum class SoundResult {
    kOk,
    kBufferLost,  // the device went away under the buffer; Restore, then try again
    kFailed,
};

// The one or two pieces of a locked range of a looping buffer (the second one when the range wraps).
struct SoundLockedRange {
    uint8_t* first = nullptr;
    uint32_t first_bytes = 0;
    uint8_t* second = nullptr;
    uint32_t second_bytes = 0;
};

// A looping play buffer: the client writes ranges of it through Lock/Unlock while the device plays it from
// the play cursor, wrapping at the end, and sets the notification event whenever the cursor passes one of
// the notification positions.
//
// Threads: one client thread uses the operations; the backend's device thread (a clock or a device
// callback) calls Render. The client writes only into the memory Lock gave it; Unlock hands the bytes to
// the device under the buffer's lock, so a client that falls behind the device produces a glitch, not a
// data race. Buffers are made by a SoundOutputDevice and may outlive it.
class SoundOutputBuffer {
  public:
    virtual ~SoundOutputBuffer() = default;
    SoundOutputBuffer(const SoundOutputBuffer&) = delete;
    SoundOutputBuffer& operator=(const SoundOutputBuffer&) = delete;

    // Locks `bytes` (at most the buffer size) at `offset` (below the size). The memory holds what was last
    // unlocked there. kBufferLost while the buffer is lost.
    SoundResult Lock(uint32_t offset, uint32_t bytes, SoundLockedRange* out);
    // Gives the locked range (as Lock returned it, or shortened) back to the device.
    SoundResult Unlock(const SoundLockedRange& range);
    // Re-acquires a lost buffer; it keeps its contents, cursor and play state. kOk when it is usable again.
    SoundResult Restore();
    // The play cursor (the next byte the device takes) and the write cursor (from where on the client may
    // write). False while the buffer is lost.
    bool GetCurrentPosition(uint32_t* play, uint32_t* write);
    bool SetCurrentPosition(uint32_t play);
    // Starts playing from the play cursor; with looping the cursor wraps at the end, without it playing
    // stops there. False while lost.
    bool Play(bool looping);
    void StopPlaying();
    bool IsPlaying();
    // Sets the notification positions (each below the size, at most 64) and the one event they set, which
    // must outlive the buffer.
    bool SetNotificationPositions(std::span<const uint32_t> positions, Event* event);

    uint32_t size() const { return size_; }
    const SoundFormat& format() const { return format_; }

  protected:
    SoundOutputBuffer(const SoundFormat& format, uint32_t bytes, uint32_t write_lead_bytes);

    // Device side: fills `bytes` of `out` with what the buffer plays now and moves the play cursor past
    // it, setting the event when notification positions are passed; silence (0) while stopped or lost.
    // Returns how many bytes from the start of `out` were played rather than silence.
    uint32_t Render(uint8_t* out, uint32_t bytes);
    // Device side: the device went away; every client operation reports it until Restore.
    void MarkLost();
    // Client side, from Restore: make the device usable again. Under no lock of the buffer.
    virtual bool Reacquire() { return true; }
    // For manual clocks: waits until the client has answered the last notification Render set, with a
    // Lock made after it and its Unlock.
    bool WaitUnlockAfterNotification(uint32_t timeout_ms);

  private:
    const SoundFormat format_;
    const uint32_t size_;
    const uint32_t write_lead_bytes_;
    std::vector<uint8_t> client_memory_;  // what Lock hands out; touched by the client only
    std::mutex mutex_;
    std::condition_variable answered_cv_;
    std::vector<uint8_t> device_memory_;  // what the device plays; under mutex_
    uint32_t play_cursor_ = 0;
    bool playing_ = false;
    bool looping_ = false;
    bool lost_ = false;
    std::vector<uint32_t> positions_;
    Event* event_ = nullptr;
    enum class Answer { kAnswered, kNotified, kLockedAfter };
    Answer answer_ = Answer::kAnswered;
};

// An opened output device: takes a mixing format and makes play buffers fed to it.
// Threads: the client thread that opened it.
class SoundOutputDevice {
  public:
    virtual ~SoundOutputDevice() = default;
    // The format the device mixes in. False when the device refuses it.
    virtual bool SetFormat(const SoundFormat& format) = 0;
    // A looping buffer of `bytes` (a whole number of blocks, 64 KiB at most) in `format`, silent and
    // stopped, cursor at 0. Null when the device refuses it.
    virtual std::unique_ptr<SoundOutputBuffer> CreateBuffer(const SoundFormat& format, uint32_t bytes) = 0;
};

// Opens the output device of one backend; what players are given so that tests can hand them theirs.
class SoundOutputOpener {
  public:
    // Any thread. Null when no device could be opened.
    virtual std::unique_ptr<SoundOutputDevice> Open() = 0;

  protected:
    ~SoundOutputOpener() = default;
};

// The backend named by CORVEL_SOUND_OUT or given: "portaudio" (the real device), "null" (no device, but
// clocked like one), "wav:PATH" (clocked like null, everything played also written to PATH), "auto" or
// empty (the real device when one opens, otherwise null, said once on standard error; a failed probe is
// not repeated). An unknown name
// opens nothing and says so once.
class SoundOutputChoice final : public SoundOutputOpener {
  public:
    explicit SoundOutputChoice(std::string_view name);
    static SoundOutputChoice FromEnvironment();
    std::unique_ptr<SoundOutputDevice> Open() override;
    const std::string& name() const { return name_; }

  private:
    void TellOnce(const char* text);

    std::string name_;
    std::atomic<bool> told_{false};
    std::atomic<bool> real_device_missing_{false};
};

}  // namespace corvel

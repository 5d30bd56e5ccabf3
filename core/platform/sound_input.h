// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/event.h"
#include "platform/sound_format.h"

namespace corvel {

// One capture buffer as the client hands it to a SoundInput. The client owns the header and the memory;
// while the buffer is queued (from AddBuffer until it is done) the device writes into it. The flags and the
// recorded count are published by the device with release order, so a client that reads done() may then
// read bytes_recorded and the data.
struct SoundInputHeader {
    static constexpr uint32_t kDone = 1;
    static constexpr uint32_t kPrepared = 2;
    static constexpr uint32_t kInQueue = 16;

    uint8_t* data = nullptr;
    uint32_t buffer_bytes = 0;
    std::atomic<uint32_t> bytes_recorded{0};
    std::atomic<uint32_t> flags{0};

    bool done() const { return (flags.load(std::memory_order_acquire) & kDone) != 0; }
    // Back to the state before PrepareHeader. Only while the buffer is not queued.
    void Clear() {
        data = nullptr;
        buffer_bytes = 0;
        bytes_recorded.store(0, std::memory_order_relaxed);
        flags.store(0, std::memory_order_relaxed);
    }
};

// An opened capture device: records into the queued buffers in order, marks each one done when it is full
// (or when the device is stopped or reset) and then sets the event given at opening.
//
// Threads: client operations may come from any thread (they are serialised by the device's lock); the
// backend's thread or callback delivers the captured bytes.
class SoundInput {
  public:
    virtual ~SoundInput();
    SoundInput(const SoundInput&) = delete;
    SoundInput& operator=(const SoundInput&) = delete;

    // Marks a header with memory as prepared. False without memory, or while it is queued.
    bool PrepareHeader(SoundInputHeader* header);
    // Takes a prepared header out of preparation. False while it is queued.
    bool UnprepareHeader(SoundInputHeader* header);
    // Queues a prepared, not queued header: done and recorded count cleared. False otherwise.
    bool AddBuffer(SoundInputHeader* header);
    // Begins recording into the queue (bytes captured while no buffer is queued are lost).
    bool Start();
    // Stops recording; the buffer being filled, if it holds anything, is returned done with what it holds.
    void Stop();
    // Stops recording and returns every queued buffer done, with what each holds (mostly nothing).
    void Reset();
    // Closes the device. False (and still open) while buffers are queued.
    bool Close();

    const SoundFormat& format() const { return format_; }
    // Whether the device records now (between Start and Stop, Reset or Close).
    bool IsRecording();
    // The device went away under the recording (a sound server that died, a microphone unplugged): no
    // buffer completes any more. The owner closes this device and opens another.
    bool IsLost();

  protected:
    SoundInput(const SoundFormat& format, Event* done_event);

    // Backend: called with captured bytes (whole blocks of the format) while recording; fills the queued
    // buffers in order, each full one done. Ignored while stopped.
    void Deliver(const uint8_t* bytes, size_t count);
    // Backend, any thread: the device went away. Sets the done event so that a client waiting for a buffer
    // notices; recording stops.
    void MarkLost();
    // Backend hooks: recording begins or ends (under no lock of the device).
    virtual bool OnStart() { return true; }
    virtual void OnStop() {}
    // For manual clocks: waits until every buffer completed so far has been queued again.
    bool WaitCompletedRequeued(uint32_t timeout_ms);

  private:
    void CompleteFront();  // under mutex_

    const SoundFormat format_;
    Event* const done_event_;
    std::mutex mutex_;
    std::condition_variable requeued_cv_;
    std::deque<SoundInputHeader*> queue_;
    uint32_t front_filled_ = 0;
    bool recording_ = false;
    bool closed_ = false;
    bool lost_ = false;
    uint32_t completed_not_requeued_ = 0;
};

// Opens the capture device of one backend with a format and the event its buffers set when done.
class SoundInputOpener {
  public:
    // Any thread. Null when no device opened or the format was refused.
    virtual std::unique_ptr<SoundInput> Open(const SoundFormat& format, Event* done_event) = 0;

  protected:
    ~SoundInputOpener() = default;
};

// The backend named by CORVEL_SOUND_IN or given: "portaudio" (the default microphone), "null" (silence,
// clocked like a device), "wav:PATH" (the file is the microphone, looped), "auto" or empty (the real
// device when one opens, else null, said once on standard error; a failed probe is not repeated).
// An unknown name opens nothing and says so once.
class SoundInputChoice final : public SoundInputOpener {
  public:
    explicit SoundInputChoice(std::string_view name);
    static SoundInputChoice FromEnvironment();
    std::unique_ptr<SoundInput> Open(const SoundFormat& format, Event* done_event) override;
    const std::string& name() const { return name_; }

  private:
    void TellOnce(const std::string& text);

    std::string name_;
    std::atomic<bool> told_{false};
    std::atomic<bool> real_device_missing_{false};
};

}  // namespace corvel

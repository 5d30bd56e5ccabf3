// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvel {

// Something that a device clock drives: the null and wav backends play and capture in OnClock, where
// elapsed_us is the device time since the listener was attached (monotonic, never decreasing).
class SoundClockListener {
  public:
    // Called on the clock's thread (its own thread, or the caller of ManualSoundClock::Advance); never
    // concurrently with itself.
    virtual void OnClock(uint64_t elapsed_us) = 0;
    // Manual clocks only: waits up to timeout_ms until the client has answered what the last OnClock did
    // (a notification with an unlock, a completed capture buffer with its re-queueing). True when it did.
    virtual bool WaitAnswered(uint32_t timeout_ms) = 0;

  protected:
    ~SoundClockListener() = default;
};

// A device clock that moves only when told to, so that tests and benchmarks run minutes of device time in
// milliseconds and know exactly what the device did. Any thread may call any member.
class ManualSoundClock {
  public:
    // Moves the clock by elapsed_us, drives every attached listener and then waits (up to answer_timeout_ms
    // each) until each has been answered. False when one was not.
    bool Advance(uint64_t elapsed_us, uint32_t answer_timeout_ms = 2000);
    uint64_t now_us();

  private:
    friend class SoundClockBinding;
    struct Entry {
        SoundClockListener* listener;
        uint64_t attached_at_us;
    };
    void Attach(SoundClockListener* listener);
    void Detach(SoundClockListener* listener);

    std::mutex mutex_;  // held through a whole Advance, so Detach waits for a running one
    std::vector<Entry> entries_;
    uint64_t now_us_ = 0;
};

// Attaches one listener to a clock for its lifetime: to `manual` when given, otherwise to a thread of its
// own that calls OnClock every period_ms on the monotonic clock. The owner destroys the binding before
// the listener goes away; destruction waits for a running OnClock.
class SoundClockBinding {
  public:
    SoundClockBinding(SoundClockListener* listener, std::shared_ptr<ManualSoundClock> manual,
                      uint32_t period_ms);
    ~SoundClockBinding();
    SoundClockBinding(const SoundClockBinding&) = delete;
    SoundClockBinding& operator=(const SoundClockBinding&) = delete;

  private:
    void RunRealTime(uint32_t period_ms);

    SoundClockListener* const listener_;
    const std::shared_ptr<ManualSoundClock> manual_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>

#include "base/event.h"

namespace corvel {

// Frame pacing of one channel: the announced frame rate, the interval it gives and the tick at which the
// next picture is due, plus the event that cuts the video thread's pacing wait short.
//
// Threads: the video thread owns the rate and the interval. The due time is also moved by the client's
// thread (a refresh sets it to now) and by the audio thread (AdjustDue, an atomic add); the wake event may
// be set from any thread.
class CFpsCtrl {
  public:
    static constexpr double kInitialFrameRate = 30.0;

    CFpsCtrl();
    virtual ~CFpsCtrl() = default;
    CFpsCtrl(const CFpsCtrl&) = delete;
    CFpsCtrl& operator=(const CFpsCtrl&) = delete;

    double frame_rate() const { return frame_rate_; }
    double interval_ms() const { return interval_ms_; }
    // Video thread. Takes an announced rate; 0 (not given) and the current rate change nothing. True when the
    // rate changed, in which case the wake event has been set.
    bool Announce(uint32_t frames_per_second);

    uint32_t due_tick() const { return due_tick_.load(std::memory_order_relaxed); }
    void set_due_tick(uint32_t tick) { due_tick_.store(tick, std::memory_order_relaxed); }
    // Any thread: moves the due time by delta_ms (wrapping 32-bit add, no lock).
    void AdjustDue(int32_t delta_ms) {
        due_tick_.fetch_add(static_cast<uint32_t>(delta_ms), std::memory_order_relaxed);
    }
    Event& wake() { return wake_; }

    // Milliseconds to add to the due time for a picture, with `waiting` descriptors in the video buffer (the
    // held one included) and a target of buffer_keep tenths of a second: the nominal interval, 10 % shorter
    // for every second of video above the target and 10 % longer for every second below, rounded and then
    // truncated toward zero (so it goes negative beyond 10 s above the target).
    static int32_t PacingDelay(int32_t waiting, double frame_rate, int32_t buffer_keep, double interval_ms);

  private:
    double frame_rate_ = kInitialFrameRate;
    std::atomic<uint32_t> due_tick_;
    double interval_ms_ = 1000.0 / kInitialFrameRate;
    Event wake_;
};

}  // namespace corvel

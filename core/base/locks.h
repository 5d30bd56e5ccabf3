// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "base/event.h"

namespace corvel {

// A word-sized lock for short sections (list walks, copies of a few hundred bytes). Waiters spin with a
// zero-length sleep for the first 64 failed attempts and then sleep 1 ms per attempt, so a long hold by
// another thread costs the waiter almost no CPU. Not recursive. Satisfies BasicLockable.
class spin_lock {
  public:
    void lock();
    bool try_lock() {
        uint32_t expected = 0;
        return word_.compare_exchange_strong(expected, 1, std::memory_order_acquire);
    }
    void unlock() { word_.fetch_sub(1, std::memory_order_release); }

    // Number of 1 ms sleeps taken by all waiters since construction; lets tests see the fall-back happen.
    uint32_t long_waits() const { return long_waits_.load(std::memory_order_relaxed); }

  private:
    std::atomic<uint32_t> word_{0};
    std::atomic<uint32_t> long_waits_{0};
};

// The critical-section lock: a plain mutex that frame buffers derive from and pools embed.
class light_lock {
  public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

  private:
    std::mutex mutex_;
};

// A lock for long holds (a file write): a counter plus an auto-reset event. The first locker takes it at
// once; later lockers block on the event without a time-out until an unlock hands it on.
class long_lock {
  public:
    void lock() {
        if (count_.fetch_add(1, std::memory_order_acq_rel) + 1 != 1) event_.Wait();
    }
    void unlock() {
        if (count_.fetch_sub(1, std::memory_order_acq_rel) - 1 != 0) event_.Set();
    }

  private:
    std::atomic<int32_t> count_{0};
    Event event_;
};

}  // namespace corvel

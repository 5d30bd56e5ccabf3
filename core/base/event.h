// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace corvel {

// Auto-reset event: Set() wakes exactly one waiter (or the next one to wait), then the event is clear again.
// Any thread may call any member.
class Event {
  public:
    void Set();
    void Reset();
    // Waits until the event is set or timeout_ms passes; consumes the signal. Returns true when signalled.
    bool Wait(uint32_t timeout_ms);
    // Waits without a limit.
    void Wait();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace corvel

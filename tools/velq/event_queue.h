// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// velq's window: the library posts its events here from its own threads, and the main thread takes them
// in order. PostMessage only queues and returns; nothing of velq ever runs on a library thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "corvel/window.h"

namespace velq {

struct Event {
    uintptr_t code;
    intptr_t value;
};

class EventQueue : public VelqWindow {
  public:
    explicit EventQueue(uint32_t message) : message_(message) {}

    // Any library thread.
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // velq shows no video; a picture is accepted and dropped.
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }

    // Main thread: the next event, or nothing when `timeout` passes first.
    std::optional<Event> Pop(std::chrono::milliseconds timeout);

  private:
    const uint32_t message_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Event> events_;
};

}  // namespace velq

// SPDX-License-Identifier: GPL-3.0-or-later
#include "event_queue.h"

namespace velq {

void EventQueue::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != message_) return;
    {
        std::lock_guard guard(mutex_);
        events_.push_back({wParam, lParam});
    }
    ready_.notify_one();
}

std::optional<Event> EventQueue::Pop(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !events_.empty(); })) return std::nullopt;
    const Event event = events_.front();
    events_.pop_front();
    return event;
}

}  // namespace velq

// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_window.h"

#include <algorithm>

namespace corvel::test {

void TestWindow::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back({message, wParam, lParam});
    }
    cv_.notify_all();
}

VelqPresentResult TestWindow::PresentPicture(const VelqPicture&) {
    std::lock_guard lock(mutex_);
    ++presented_;
    return VELQ_PRESENT_OK;
}

std::vector<PostedEvent> TestWindow::Events() {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<uintptr_t> TestWindow::Codes() {
    std::lock_guard lock(mutex_);
    std::vector<uintptr_t> codes;
    for (const auto& event : events_) codes.push_back(event.code);
    return codes;
}

size_t TestWindow::Count(uintptr_t code) {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(events_.begin(), events_.end(),
                                             [code](const PostedEvent& e) { return e.code == code; }));
}

bool TestWindow::WaitFor(uintptr_t code, std::chrono::milliseconds timeout, size_t count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count_if(events_.begin(), events_.end(),
                                                 [code](const PostedEvent& e) { return e.code == code; })) >=
               count;
    });
}

int TestWindow::presented() {
    std::lock_guard lock(mutex_);
    return presented_;
}

void TestWindow::Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    presented_ = 0;
}

}  // namespace corvel::test

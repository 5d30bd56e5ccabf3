// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "corvel/window.h"

namespace corvel::test {

struct PostedEvent {
    uint32_t message;
    uintptr_t code;
    intptr_t value;
};

// A window for tests: keeps every posted event and every presented picture's size, and lets the test wait
// for an event with a deadline. Thread-safe.
class TestWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    VelqPixelFormat PreferredFormat() const override { return format_; }
    VelqPresentResult PresentPicture(const VelqPicture& picture) override;

    void set_format(VelqPixelFormat format) { format_ = format; }
    std::vector<PostedEvent> Events();
    std::vector<uintptr_t> Codes();
    size_t Count(uintptr_t code);
    // Waits until `count` events with this code have arrived; false on time-out.
    bool WaitFor(uintptr_t code, std::chrono::milliseconds timeout, size_t count = 1);
    int presented();
    void Clear();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<PostedEvent> events_;
    int presented_ = 0;
    VelqPixelFormat format_ = VELQ_PIX_BGRA32;
};

}  // namespace corvel::test

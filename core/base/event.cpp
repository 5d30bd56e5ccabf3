// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/event.h"

#include <chrono>

namespace corvel {

void Event::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::Wait(uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

void Event::Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
}

}  // namespace corvel

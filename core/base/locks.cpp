// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/locks.h"

#include <chrono>
#include <thread>

namespace corvel {

void spin_lock::lock() {
    for (uint32_t attempt = 0;; ++attempt) {
        if (try_lock()) return;
        if (attempt < 64) {
            std::this_thread::yield();
        } else {
            long_waits_.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

}  // namespace corvel

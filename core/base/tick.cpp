// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/tick.h"

#include <ctime>

namespace corvel {

uint32_t TickCount32() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

}  // namespace corvel

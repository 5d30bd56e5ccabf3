// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace corvel {

// Milliseconds from CLOCK_MONOTONIC, truncated to 32 bits: it wraps after about 49.7 days, and every
// comparison of two ticks must be made on their unsigned difference.
uint32_t TickCount32();

// Signed distance from `from` to `to` in the wrapping 32-bit tick space.
inline int32_t TickDiff(uint32_t to, uint32_t from) {
    return static_cast<int32_t>(to - from);
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/token_bucket.h"

#include <algorithm>

TokenBucket::TokenBucket(int burst, int per_second)
    : burst_(std::max(burst, 1)), per_second_(std::max(per_second, 1)), tokens_(burst_) {}

bool TokenBucket::Take(Clock::time_point now) {
    if (started_ && now > last_) {
        const double elapsed_s = std::chrono::duration<double>(now - last_).count();
        tokens_ = std::min(burst_, tokens_ + elapsed_s * per_second_);
    }
    // A clock that went back keeps the old stamp: the refill resumes once it has caught up.
    if (!started_ || now > last_) last_ = now;
    started_ = true;
    if (tokens_ < 1.0) return false;
    tokens_ -= 1.0;
    return true;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A token bucket: up to `burst` calls at once, then `per_second` a second on average. Time comes from the
// caller, so that tests step it; a clock that goes back counts as no time passing. Not thread-safe: one
// owner calls it (the map's bridge, on the UI thread).
#include <chrono>

class TokenBucket {
  public:
    using Clock = std::chrono::steady_clock;

    // burst >= 1, per_second >= 1; the bucket starts full.
    TokenBucket(int burst, int per_second);

    // True, and one token spent, when a call at `now` is within the rate; false (nothing spent) otherwise.
    bool Take(Clock::time_point now);

  private:
    const double burst_;
    const double per_second_;
    double tokens_;
    Clock::time_point last_{};
    bool started_ = false;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/fps_ctrl.h"

#include "base/tick.h"

namespace corvel {

CFpsCtrl::CFpsCtrl() : due_tick_(TickCount32()) {
    // Created signalled: the first pacing wait returns at once.
    wake_.Set();
}

bool CFpsCtrl::Announce(uint32_t frames_per_second) {
    if (frames_per_second == 0 || static_cast<double>(frames_per_second) == frame_rate_) return false;
    frame_rate_ = frames_per_second;
    interval_ms_ = 1000.0 / frame_rate_;
    wake_.Set();
    return true;
}

int32_t CFpsCtrl::PacingDelay(int32_t waiting, double frame_rate, int32_t buffer_keep, double interval_ms) {
    const double buffered_s = waiting / frame_rate;
    const double target_s = buffer_keep / 10.0;
    const double delay = (1.0 - (buffered_s - target_s) / 10.0) * interval_ms + 0.5;
    // Bounded so that absurd settings cannot overflow the conversion.
    if (delay >= 2147483647.0) return 2147483647;
    if (delay <= -2147483647.0) return -2147483647;
    return static_cast<int32_t>(delay);
}

}  // namespace corvel

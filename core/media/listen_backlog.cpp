// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/listen_backlog.h"

#include <algorithm>

namespace corvel {

bool ListenBacklog::Drop(uint32_t frame_ms, uint32_t waiting_ms) {
    if (cut_left_ms_ > 0) {
        // Whole frames only, and never the last one waiting: a gap would be heard as well as the cut, and
        // the sound arriving next would pile up behind it again.
        if (frame_ms > 0 && frame_ms <= cut_left_ms_ && waiting_ms > 0) {
            cut_left_ms_ -= frame_ms;
            ++dropped_frames_;
            dropped_ms_ += frame_ms;
            return true;
        }
        cut_left_ms_ = 0;
    }
    floor_ms_ = std::min(floor_ms_, waiting_ms);
    window_ms_ += frame_ms;
    if (window_ms_ >= kWindowMs) {
        if (floor_ms_ > kStandingBoundMs) cut_left_ms_ = floor_ms_;
        window_ms_ = 0;
        floor_ms_ = std::numeric_limits<uint32_t>::max();
    }
    return false;
}

void ListenBacklog::Restart() {
    window_ms_ = 0;
    floor_ms_ = std::numeric_limits<uint32_t>::max();
    cut_left_ms_ = 0;
}

}  // namespace corvel

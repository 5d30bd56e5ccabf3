// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_watch.h"

int AlarmWatch::Tick(const AlarmVehicles& vehicles, std::vector<Change>* changes) {
    const int count = vehicles.Count();
    if (count <= 0) return 0;
    if (int(seen_.size()) < count) seen_.resize(size_t(count));
    const int reads = rows_per_tick_ < count ? rows_per_tick_ : count;
    for (int n = 0; n < reads; ++n) {
        if (next_row_ >= count) next_row_ = 0;
        const int row = next_row_++;
        uint32_t words[16] = {};
        uint32_t serial = 0;
        Seen& seen = seen_[size_t(row)];
        if (!vehicles.Words(row, words, &serial) || serial == 0 || serial == seen.serial) continue;
        const bool first_look = seen.serial == 0;
        uint8_t active = 0;
        for (int bit = 0; bit < 8; ++bit) active |= uint8_t(words[8 + bit] != 0 ? 1u << bit : 0u);
        const uint8_t changed = first_look ? uint8_t(0xff) : uint8_t(active ^ seen.active);
        seen.serial = serial;
        seen.active = active;
        for (int bit = 0; bit < 8; ++bit) {
            if (changed & (1u << bit))
                changes->push_back({row, 8 + bit, (active & (1u << bit)) != 0, first_look});
        }
    }
    return reads;
}

void AlarmWatch::Forget() {
    seen_.clear();
    next_row_ = 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/device_index.h"

#include <algorithm>

namespace corvel {

void DeviceIndex::Reserve(size_t count) {
    if ((count + 1) * 2 > slots_.size()) Grow((count + 1) * 2);
}

void DeviceIndex::Grow(size_t min_capacity) {
    size_t capacity = 16;
    while (capacity < min_capacity) capacity *= 2;
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    size_ = 0;
    for (const Slot& slot : old) {
        if (slot.device != nullptr) Insert(slot.key, slot.device);
    }
}

void DeviceIndex::Insert(uint32_t key, AppDevice* device) {
    // Kept at most half full so that probe runs stay short.
    if ((size_ + 1) * 2 > slots_.size()) Grow((size_ + 1) * 2);
    size_t i = Home(key);
    while (slots_[i].device != nullptr) i = (i + 1) & mask_;
    slots_[i] = {key, device};
    ++size_;
}

void DeviceIndex::Erase(uint32_t key, AppDevice* device) {
    if (slots_.empty()) return;
    size_t i = Home(key);
    while (slots_[i].device != device) {
        if (slots_[i].device == nullptr) return;
        i = (i + 1) & mask_;
    }
    // Backward-shift deletion: move later members of the probe run into the hole, so no tombstones build up.
    size_t hole = i;
    for (size_t j = (hole + 1) & mask_; slots_[j].device != nullptr; j = (j + 1) & mask_) {
        const size_t home = Home(slots_[j].key);
        // The entry at j may fill the hole when its home is not in the cyclic range (hole, j].
        const bool home_in_range = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
        if (!home_in_range) {
            slots_[hole] = slots_[j];
            hole = j;
        }
    }
    slots_[hole] = Slot{};
    --size_;
}

size_t DeviceIndex::LongestProbe() const {
    size_t longest = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].device != nullptr) longest = std::max(longest, (i - Home(slots_[i].key)) & mask_);
    }
    return longest;
}

void DeviceIndex::Clear() {
    slots_.clear();
    mask_ = 0;
    size_ = 0;
}

}  // namespace corvel

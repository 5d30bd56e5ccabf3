// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct AppDevice;

namespace corvel {

// The registry's look-up by a key of the identifier: an open-addressing table of (key, device) slots with
// linear probing, so that a merge of n records costs O(n) with about one cache miss per look-up. Several
// devices may share a key; the caller compares identifiers. Not thread-safe: the registry's lock guards it.
class DeviceIndex {
  public:
    void Reserve(size_t count);
    void Insert(uint32_t key, AppDevice* device);
    void Erase(uint32_t key, AppDevice* device);
    void Clear();
    size_t size() const { return size_; }
    // The longest distance of a device from its key's home slot: what the slowest look-up walks (for
    // tests and diagnostics; reads the whole table).
    size_t LongestProbe() const;

    // Calls match(device) for every device stored under `key` until it returns true; returns that device.
    template <typename Match>
    AppDevice* Find(uint32_t key, Match&& match) const {
        if (slots_.empty()) return nullptr;
        for (size_t i = Home(key);; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.device == nullptr) return nullptr;
            if (slot.key == key && match(slot.device)) return slot.device;
        }
    }

  private:
    struct Slot {
        uint32_t key = 0;
        AppDevice* device = nullptr;  // null: empty
    };
    size_t Home(uint32_t key) const { return (key * 0x9E3779B1u) & mask_; }
    void Grow(size_t min_capacity);

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t size_ = 0;
};

}  // namespace corvel

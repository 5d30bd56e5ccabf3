// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace corvel {

// Last-in-first-out pool of objects that its owner keeps for its whole life. Release appends at the back,
// Take removes from the back, so the object released last is handed out first. Every object ever made is
// also kept in `all_`, which frees them when the pool is destroyed. Any thread; Lock is the pool's lock
// (a spin_lock for devices and channels, a light_lock for operations).
//
// A pool may be capped: it then never makes more than `max_objects` objects, so that requests arriving
// faster than they are served end in a refused Take rather than in memory without bound.
template <typename T, typename Lock>
class Pool {
  public:
    explicit Pool(size_t max_objects = SIZE_MAX) : max_objects_(max_objects) {}

    // An object from the pool, or a new one (the caller re-initialises it). Null when allocation fails or
    // the cap's objects are all out.
    T* Take() {
        {
            std::lock_guard guard(lock_);
            if (!free_.empty()) {
                T* object = free_.back();
                free_.pop_back();
                return object;
            }
            // Objects being made outside the lock count too, so racing takers cannot overshoot the cap.
            if (all_.size() + making_ >= max_objects_) return nullptr;
            ++making_;
        }
        std::unique_ptr<T> fresh(new (std::nothrow) T());
        std::lock_guard guard(lock_);
        --making_;
        if (!fresh) return nullptr;
        T* object = fresh.get();
        try {
            all_.push_back(std::move(fresh));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return object;
    }
    void Release(T* object) {
        std::lock_guard guard(lock_);
        free_.push_back(object);
    }
    size_t free_count() {
        std::lock_guard guard(lock_);
        return free_.size();
    }
    size_t total_count() {
        std::lock_guard guard(lock_);
        return all_.size();
    }

  private:
    const size_t max_objects_;
    Lock lock_;
    size_t making_ = 0;  // under lock_
    std::vector<T*> free_;
    std::vector<std::unique_ptr<T>> all_;
};

}  // namespace corvel

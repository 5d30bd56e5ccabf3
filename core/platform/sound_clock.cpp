// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_clock.h"

#include <algorithm>
#include <chrono>

namespace corvel {

bool ManualSoundClock::Advance(uint64_t elapsed_us, uint32_t answer_timeout_ms) {
    std::lock_guard lock(mutex_);
    now_us_ += elapsed_us;
    for (const Entry& entry : entries_) entry.listener->OnClock(now_us_ - entry.attached_at_us);
    bool answered = true;
    for (const Entry& entry : entries_)
        answered = entry.listener->WaitAnswered(answer_timeout_ms) && answered;
    return answered;
}

uint64_t ManualSoundClock::now_us() {
    std::lock_guard lock(mutex_);
    return now_us_;
}

void ManualSoundClock::Attach(SoundClockListener* listener) {
    std::lock_guard lock(mutex_);
    entries_.push_back({listener, now_us_});
}

void ManualSoundClock::Detach(SoundClockListener* listener) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [listener](const Entry& entry) { return entry.listener == listener; });
}

SoundClockBinding::SoundClockBinding(SoundClockListener* listener, std::shared_ptr<ManualSoundClock> manual,
                                     uint32_t period_ms)
    : listener_(listener), manual_(std::move(manual)) {
    if (manual_) {
        manual_->Attach(listener_);
    } else {
        thread_ = std::thread([this, period_ms] { RunRealTime(period_ms); });
    }
}

SoundClockBinding::~SoundClockBinding() {
    if (manual_) {
        manual_->Detach(listener_);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void SoundClockBinding::RunRealTime(uint32_t period_ms) {
    using std::chrono::steady_clock;
    const steady_clock::time_point start = steady_clock::now();
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start);
        listener_->OnClock(static_cast<uint64_t>(elapsed.count()));
        lock.lock();
        cv_.wait_for(lock, std::chrono::milliseconds(period_ms), [this] { return stopping_; });
    }
}

}  // namespace corvel

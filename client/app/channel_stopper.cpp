// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/channel_stopper.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "corvel/corvel.h"

ChannelStopper::ChannelStopper(Post post)
    : post_(std::move(post)), self_(std::make_shared<ChannelStopper*>(this)), worker_([this] { Run(); }) {}

ChannelStopper::~ChannelStopper() {
    Finish();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

ChannelStopper::Post ChannelStopper::QueuedPost() {
    return [](Job job) {
        // The application object lives on the UI thread and outlives every window: a report posted during
        // shutdown still finds a receiver (and then finds the stopper gone, which it checks itself).
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
    };
}

ChannelStopper::Key ChannelStopper::KeyOf(AppChannel* channel) {
    intptr_t device = 0;
    intptr_t number = 0;
    // Logged out the library answers -1 and writes nothing: the channel itself keys it then.
    if (VelqChn_GetChnInfo(channel, VELQ_CHN_DEVICE, &device) != 4 ||
        VelqChn_GetChnInfo(channel, VELQ_CHN_NUMBER, &number) != 4)
        return {reinterpret_cast<const AppDevice*>(channel), -1};
    return {reinterpret_cast<const AppDevice*>(device), static_cast<int>(number)};
}

void ChannelStopper::Stop(Key key, Job stop, Job done) {
    PendingKey& pending = pending_[key];
    ++pending.stops;
    // This stop comes after any start still waiting for the key: the start would be undone anyway.
    pending.starts.clear();
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({key, epoch_, std::move(stop), std::move(done)});
    }
    wake_.notify_one();
}

bool ChannelStopper::StartAfterStops(Key key, Job start) {
    const auto it = pending_.find(key);
    if (it == pending_.end()) {
        start();
        return true;
    }
    it->second.starts.push_back(std::move(start));
    return false;
}

size_t ChannelStopper::PendingCount() const {
    size_t stops = 0;
    for (const auto& [key, pending] : pending_) stops += static_cast<size_t>(pending.stops);
    return stops;
}

void ChannelStopper::DropStarts() {
    for (auto& [key, pending] : pending_) pending.starts.clear();
}

void ChannelStopper::Finish() {
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return queue_.empty() && !running_; });
    }
    ++epoch_;
    pending_.clear();
}

void ChannelStopper::Run() {
    const std::weak_ptr<ChannelStopper*> self = self_;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) return;  // quit_, and nothing left
        Queued job = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();
        job.stop();
        job.stop = nullptr;  // what the job held goes here, on this thread, not with the report
        post_([self, key = job.key, epoch = job.epoch, done = std::move(job.done)] {
            if (const auto alive = self.lock()) (*alive)->Stopped(key, epoch, done);
        });
        lock.lock();
        running_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

void ChannelStopper::Stopped(Key key, uint64_t epoch, const Job& done) {
    if (epoch != epoch_) return;  // Finish forgot it
    if (done) done();
    const auto it = pending_.find(key);
    if (it == pending_.end() || --it->second.stops > 0) return;
    std::vector<Job> starts = std::move(it->second.starts);
    pending_.erase(it);
    for (Job& start : starts) start();
}

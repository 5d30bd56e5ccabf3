// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/event_inbox.h"

#include "corvel/corvel.h"

bool EventInbox::NamesDevice(uintptr_t code) {
    return code == VELQ_EV_DEVICE_NEW || code == VELQ_EV_DEVICE_CHANGED || code == VELQ_EV_DEVICE_GONE ||
           (code >= VELQ_EV_STATUS_FIRST && code <= VELQ_EV_STATUS_LAST);
}

bool EventInbox::MayDrop(uintptr_t code) {
    // Connection states are few and tell the operator whether the center is there at all.
    return code > 63 && code != VELQ_EV_OPERATION_DONE && code != VELQ_EV_ALL_DEVICE &&
           code != VELQ_EV_ALL_BEGIN && code != VELQ_EV_LIST_BEGIN && code != VELQ_EV_DEVICE_NEW &&
           code != VELQ_EV_DEVICE_GONE;
}

void EventInbox::Post(uintptr_t code, intptr_t value) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        ++counts_.received;
        if (code == VELQ_EV_DEVICE_CHANGED && change_queued_.count(value) != 0) {
            ++counts_.coalesced;
            return;
        }
        if (queue_.size() >= kMaxQueued && MayDrop(code)) {
            ++counts_.dropped;
            return;
        }
        if (code == VELQ_EV_DEVICE_CHANGED)
            change_queued_.insert(value);
        else if (NamesDevice(code))
            change_queued_.erase(value);
        queue_.emplace_back(code, value);
        if (!draining_) draining_ = wake = true;
    }
    if (wake && wake_) wake_();
}

bool EventInbox::Take(Event* event) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
        draining_ = false;
        return false;
    }
    *event = queue_.front();
    queue_.pop_front();
    if (event->first == VELQ_EV_DEVICE_CHANGED) change_queued_.erase(event->second);
    return true;
}

EventInbox::Counts EventInbox::counts() const {
    std::lock_guard lock(mutex_);
    Counts counts = counts_;
    counts.queued = queue_.size();
    return counts;
}

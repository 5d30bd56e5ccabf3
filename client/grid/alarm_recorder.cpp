// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/alarm_recorder.h"

#include <algorithm>
#include <set>

int PreRecordSync::LibrarySet(AppDevice* device, int seconds) {
    const int32_t value = seconds;
    return VelqDev_SetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &value, sizeof value);
}

void PreRecordSync::Sync(const std::vector<AppDevice*>& on_grid, int seconds) {
    const std::set<AppDevice*> now(on_grid.begin(), on_grid.end());
    for (auto it = applied_.begin(); it != applied_.end();) {
        if (now.count(it->first) == 0) {
            // Memory for a device nobody watches is memory wasted.
            set_(it->first, 0);
            it = applied_.erase(it);
        } else {
            ++it;
        }
    }
    for (AppDevice* device : now) {
        if (!device) continue;
        const auto it = applied_.find(device);
        if (it != applied_.end() && it->second == seconds) continue;
        set_(device, seconds);
        applied_[device] = seconds;
    }
}

int PreRecordSync::SecondsOf(AppDevice* device) const {
    const auto it = applied_.find(device);
    return it == applied_.end() ? 0 : it->second;
}

void AlarmRecorder::Configure(bool enabled, int post_alarm_s) {
    enabled_ = enabled;
    post_alarm_ms_ = int64_t{std::max(1, post_alarm_s)} * 1000;
}

bool AlarmRecorder::Records(AppChannel* channel) const {
    return std::any_of(ours_.begin(), ours_.end(),
                       [channel](const Ours& o) { return o.channel.channel == channel; });
}

void AlarmRecorder::OnAlarm(const QString& device_id, int64_t now_ms) {
    if (!enabled_ || device_id.isEmpty()) return;
    const std::vector<GridChannel> channels = hooks_.channels();
    bool on_grid = false;
    for (const GridChannel& channel : channels) {
        if (channel.device_id != device_id || !channel.channel) continue;
        on_grid = true;
        if (Records(channel.channel)) continue;
        // The operator's recording goes on as he started it, and ends when he says.
        if (hooks_.is_recording(channel.channel)) continue;
        if (hooks_.start(channel)) ours_.push_back({channel, device_id});
    }
    if (on_grid) until_ms_.insert(device_id, now_ms + post_alarm_ms_);
}

void AlarmRecorder::Tick(int64_t now_ms) {
    if (ours_.empty()) {
        until_ms_.clear();
        return;
    }
    const std::vector<GridChannel> channels = hooks_.channels();
    const auto on_grid = [&channels](AppChannel* channel) {
        return std::any_of(channels.begin(), channels.end(),
                           [channel](const GridChannel& c) { return c.channel == channel; });
    };
    for (auto it = ours_.begin(); it != ours_.end();) {
        // Off the grid the channel was stopped, its recording with it; a stopped one was the operator's call.
        if (!on_grid(it->channel.channel) || !hooks_.is_recording(it->channel.channel)) {
            it = ours_.erase(it);
            continue;
        }
        if (now_ms >= until_ms_.value(it->device_id, 0)) {
            hooks_.stop(it->channel);
            it = ours_.erase(it);
            continue;
        }
        ++it;
    }
    for (auto it = until_ms_.begin(); it != until_ms_.end();) {
        const QString& device_id = it.key();
        const bool used =
            std::any_of(ours_.begin(), ours_.end(), [&](const Ours& o) { return o.device_id == device_id; });
        it = used ? std::next(it) : until_ms_.erase(it);
    }
}

void AlarmRecorder::Forget() {
    ours_.clear();
    until_ms_.clear();
}

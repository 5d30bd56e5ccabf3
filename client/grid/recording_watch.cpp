// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/recording_watch.h"

#include <set>

std::vector<RecordingWatch::Change> RecordingWatch::Step(const std::vector<Sample>& samples, int64_t now_ms) {
    std::vector<Change> changes;
    std::set<AppChannel*> seen;
    for (const Sample& sample : samples) {
        if (!sample.channel) continue;
        seen.insert(sample.channel);
        auto it = states_.find(sample.channel);
        if (!sample.recording) {
            // A wait ends with its recording; the operator learns of the stop from the REC mark going out.
            if (it != states_.end()) states_.erase(it);
            continue;
        }
        if (it == states_.end()) {
            // The recording's start counts as a picture: the library waits for a key frame at most that long.
            states_[sample.channel] = {sample.pictures, now_ms, false};
            continue;
        }
        State& state = it->second;
        if (sample.pictures != state.pictures) {
            if (state.waiting)
                changes.push_back(
                    {sample.channel, false, state.last_picture_ms, now_ms - state.last_picture_ms});
            state = {sample.pictures, now_ms, false};
        } else if (!state.waiting && now_ms - state.last_picture_ms >= kWaitAfter_ms) {
            state.waiting = true;
            changes.push_back({sample.channel, true, state.last_picture_ms, 0});
        }
    }
    for (auto it = states_.begin(); it != states_.end();)
        it = seen.count(it->first) ? std::next(it) : states_.erase(it);
    return changes;
}

bool RecordingWatch::Waiting(AppChannel* channel) const {
    const auto it = states_.find(channel);
    return it != states_.end() && it->second.waiting;
}

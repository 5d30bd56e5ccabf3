// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a recording channel is receiving pictures. A recording whose channel got no picture for
// kWaitAfter_ms or more is "waiting for video" (nothing is written meanwhile, so a lit REC mark alone would
// claim more than is true); the next picture ends the wait. The watch only decides; its owner says so on
// the tile, in the tree and in the log. Plain class, UI thread only.
#include <cstdint>
#include <map>
#include <vector>

#include "corvel/corvel.h"

class RecordingWatch {
  public:
    static constexpr int64_t kWaitAfter_ms = 2000;

    // One channel as seen at a step: whether it records, and the count of pictures it was given so far
    // (any counter that grows with each picture).
    struct Sample {
        AppChannel* channel = nullptr;
        bool recording = false;
        uint64_t pictures = 0;
    };
    struct Change {
        AppChannel* channel = nullptr;
        bool waiting = false;   // true: began waiting; false: pictures came back
        int64_t since_ms = 0;   // the last picture before the wait (now_ms's clock)
        int64_t waited_ms = 0;  // for a resume: how long no picture came
    };

    // One step (at least twice per kWaitAfter_ms for a timely mark); channels missing from `samples` are
    // forgotten. Returns what changed, in `samples` order.
    std::vector<Change> Step(const std::vector<Sample>& samples, int64_t now_ms);
    bool Waiting(AppChannel* channel) const;

  private:
    struct State {
        uint64_t pictures = 0;
        int64_t last_picture_ms = 0;
        bool waiting = false;
    };
    std::map<AppChannel*, State> states_;
};

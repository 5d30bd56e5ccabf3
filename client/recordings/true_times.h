// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wall-clock times of a recording's frames, from the time file the recorder keeps beside it
// ("<file>.avi.times"): the true time of day of a position and the gaps in which no video arrived. A
// recording without one (or with one that holds no frame time) gives an invalid object, and the player
// then counts from the time in the file's name as before. Plain value, any thread.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvel/record_times.h"

namespace recordings {

class TrueTimes {
  public:
    TrueTimes() = default;
    // Reads at most the format's 16 MiB of `avi_path` + ".times". frame_period_ms and frame_count are the
    // AVI's (the period counts on after the last time written, as after a crash).
    static TrueTimes Load(const QString& avi_path, double frame_period_ms, int64_t frame_count);

    bool valid() const { return valid_; }
    // Wall-clock ms (since 1970) of the frame shown at media position `position_ms`.
    int64_t TimeAt(double position_ms) const;
    // The media position of the frame shown at `unix_ms` (the first frame before a time before the file,
    // the last frame before a gap for a time in it).
    double PositionAt(int64_t unix_ms) const;
    // The media position of the first frame after the gap.
    double PositionAfter(const velq::times::Gap& gap) const;
    int64_t first_ms() const { return first_ms_; }
    int64_t last_ms() const { return last_ms_; }
    const std::vector<velq::times::Gap>& gaps() const { return times_.gaps; }
    // The gap `unix_ms` falls into, if any.
    std::optional<velq::times::Gap> GapAt(int64_t unix_ms) const {
        return velq::times::GapAt(times_, unix_ms);
    }

    // The time file of a clip cut from this recording: its `frames` video frames begin with the frame at
    // media position `start_ms`, and keep their times and the gaps between them. Empty when invalid.
    std::string ClipText(double start_ms, int64_t frames) const;

  private:
    velq::times::RecordTimes times_;
    bool valid_ = false;
    double frame_period_ms_ = 40;
    int64_t frame_count_ = 0;
    int64_t first_ms_ = 0;
    int64_t last_ms_ = 0;
};

// "HH:MM:SS" of a wall-clock time, local time.
QString ClockText(int64_t unix_ms);

}  // namespace recordings

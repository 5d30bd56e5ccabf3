// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/true_times.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace recordings {

TrueTimes TrueTimes::Load(const QString& avi_path, double frame_period_ms, int64_t frame_count) {
    TrueTimes times;
    times.times_ = velq::times::ReadFile((avi_path + QStringLiteral(".times")).toStdString());
    times.frame_period_ms_ = frame_period_ms > 0 ? frame_period_ms : 40;
    times.frame_count_ = std::max<int64_t>(frame_count, 1);
    const double fps = 1000.0 / times.frame_period_ms_;
    const auto first = velq::times::FrameTimeMs(times.times_, 0, fps);
    const auto last = velq::times::FrameTimeMs(times.times_, times.frame_count_ - 1, fps);
    // Times running backwards (a damaged file) would fold the timeline: such a file is not used.
    times.valid_ = first && last && *last >= *first;
    if (times.valid_) {
        times.first_ms_ = *first;
        times.last_ms_ = *last;
    }
    return times;
}

int64_t TrueTimes::TimeAt(double position_ms) const {
    const int64_t frame = std::clamp<int64_t>(
        static_cast<int64_t>(std::floor(position_ms / frame_period_ms_ + 1e-6)), 0, frame_count_ - 1);
    return velq::times::FrameTimeMs(times_, frame, 1000.0 / frame_period_ms_).value_or(first_ms_);
}

double TrueTimes::PositionAt(int64_t unix_ms) const {
    const auto frame = velq::times::FrameAtTime(times_, unix_ms, 1000.0 / frame_period_ms_);
    return static_cast<double>(std::clamp<int64_t>(frame.value_or(0), 0, frame_count_ - 1)) *
           frame_period_ms_;
}

double TrueTimes::PositionAfter(const velq::times::Gap& gap) const {
    return PositionAt(gap.to_ms);
}

std::string TrueTimes::ClipText(double start_ms, int64_t frames) const {
    if (!valid_ || frames <= 0) return {};
    const int64_t first = std::clamp<int64_t>(std::llround(start_ms / frame_period_ms_), 0, frame_count_ - 1);
    const double fps = 1000.0 / frame_period_ms_;
    std::string text = velq::times::HeaderLine();
    int64_t last_written_ms = 0;
    int64_t previous_ms = 0;
    for (int64_t k = 0; k < frames; ++k) {
        const int64_t ms = velq::times::FrameTimeMs(times_, first + k, fps).value_or(previous_ms);
        bool after_gap = false;
        for (const velq::times::Gap& gap : times_.gaps) {
            if (k > 0 && gap.from_ms >= previous_ms && gap.to_ms <= ms) {
                text += velq::times::GapLine(gap.from_ms, gap.to_ms);
                after_gap = true;
            }
        }
        // As the recorder writes them: the first frame, the first after a gap, and one a second.
        if (k == 0 || after_gap || ms - last_written_ms >= 1000) {
            text += velq::times::PointLine(k, ms);
            last_written_ms = ms;
        }
        previous_ms = ms;
    }
    text += velq::times::EndLine(frames, previous_ms);
    return text;
}

QString ClockText(int64_t unix_ms) {
    return QDateTime::fromMSecsSinceEpoch(unix_ms).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace recordings

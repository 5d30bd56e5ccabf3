// SPDX-License-Identifier: GPL-3.0-or-later
// The time file the library writes beside every AVI it records (the AVI's path + ".times"): when each
// video frame arrived on the wall clock and where no video came for 2 s or more. An AVI only knows its
// frame rate, so without this file a recording across an outage plays the frames after it at the wrong
// time of day.
//
// UTF-8 text, one '\n'-terminated line each:
//   velq-times 1            first line
//   t FRAME UNIX_MS         video frame FRAME (0-based, order of the AVI's video stream) arrived at UNIX_MS
//                           (milliseconds since 1970 UTC); for frame 0, the first frame after a gap and at
//                           least once in every wall-clock second that received frames
//   gap FROM_MS TO_MS       no video frame arrived between FROM_MS (the last frame before) and TO_MS (the
//                           frame that ended it, whose `t` line follows); TO_MS - FROM_MS >= 2000
//   end FRAMES UNIX_MS      at a clean stop: video frames written and the last frame's time
// The writer sends each line out at once, so a killed recorder loses at most its partial last line.
// Readers ignore unknown and malformed lines and a partial last line and read at most 16 MiB.
//
// Header only, no exports: the library, velq and the client each compile their own copy.
#ifndef CORVEL_RECORD_TIMES_H
#define CORVEL_RECORD_TIMES_H

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velq::times {

inline constexpr std::string_view kHeaderLine = "velq-times 1";
// Name of the time file: the AVI's own path with this appended.
inline constexpr std::string_view kFileSuffix = ".times";
// Pauses of video at least this long are gaps.
inline constexpr int64_t kMinGapMs = 2000;
// Readers look at no more than this much of a time file (a day of 30 fps video with a point per second
// needs about 2.5 MiB).
inline constexpr std::size_t kMaxReadBytes = std::size_t{16} << 20;

struct Point {
    int64_t frame = 0;
    int64_t unix_ms = 0;
    bool operator==(const Point&) const = default;
};
struct Gap {
    int64_t from_ms = 0;
    int64_t to_ms = 0;
    bool operator==(const Gap&) const = default;
};
struct End {
    int64_t frames = 0;
    int64_t unix_ms = 0;
    bool operator==(const End&) const = default;
};

struct RecordTimes {
    // Points in rising frame and non-falling time order. Besides the `t` lines it holds, for every gap
    // followed by its `t` line, the frame before that line at the gap's start (the last frame before the
    // gap is otherwise only known by its time), so interpolation never smears frames across a gap.
    std::vector<Point> points;
    std::vector<Gap> gaps;  // in time order, not overlapping
    std::optional<End> end;
    bool empty() const { return points.empty(); }
};

namespace detail {

// A non-negative decimal of at most 18 digits and nothing else.
inline std::optional<int64_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// "KEY A B" exactly: one space between fields, two counts.
inline bool SplitLine(std::string_view line, std::string_view key, int64_t& a, int64_t& b) {
    if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key || line[key.size()] != ' ')
        return false;
    std::string_view rest = line.substr(key.size() + 1);
    std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) return false;
    std::optional<int64_t> first = ParseCount(rest.substr(0, space));
    std::optional<int64_t> second = ParseCount(rest.substr(space + 1));
    if (!first || !second) return false;
    a = *first;
    b = *second;
    return true;
}

inline void AddPoint(std::vector<Point>& points, Point point) {
    if (!points.empty() && (point.frame <= points.back().frame || point.unix_ms < points.back().unix_ms))
        return;  // out of order: a damaged line, not a reason to bend the rest
    points.push_back(point);
}

inline int64_t FrameDurationMs(int64_t frames, double frames_per_second) {
    if (!(frames_per_second > 0)) return 0;
    return static_cast<int64_t>(std::llround(static_cast<double>(frames) * 1000.0 / frames_per_second));
}

}  // namespace detail

// Reads the text of a time file. Anything that does not begin with the header line gives an empty result;
// only the first kMaxReadBytes are looked at.
inline RecordTimes Parse(std::string_view text) {
    RecordTimes result;
    if (text.size() > kMaxReadBytes) text = text.substr(0, kMaxReadBytes);
    // The gap line just read, waiting for the `t` line of the frame that ended it.
    bool gap_pending = false;
    Gap pending_gap;
    bool first = true;
    while (true) {
        std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) break;  // a partial last line is still being written
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        if (first) {
            if (line != kHeaderLine) return result;
            first = false;
            continue;
        }
        int64_t a = 0;
        int64_t b = 0;
        if (detail::SplitLine(line, "t", a, b)) {
            if (gap_pending && pending_gap.to_ms == b && a > 0)
                detail::AddPoint(result.points, {a - 1, pending_gap.from_ms});
            gap_pending = false;
            detail::AddPoint(result.points, {a, b});
        } else if (detail::SplitLine(line, "gap", a, b)) {
            gap_pending = false;
            if (b - a < kMinGapMs) continue;
            if (!result.gaps.empty() && a < result.gaps.back().to_ms) continue;
            result.gaps.push_back({a, b});
            pending_gap = result.gaps.back();
            gap_pending = true;
        } else if (detail::SplitLine(line, "end", a, b)) {
            result.end = End{a, b};
        }
    }
    return result;
}

// Reads the time file at `path` (a file system path in UTF-8), at most kMaxReadBytes of it. Empty when
// the file is missing, unreadable or not a time file.
inline RecordTimes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(kMaxReadBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return Parse(text);
}

// The points to interpolate between: the parsed ones and, after a clean stop, the last frame's time.
inline std::vector<Point> AnchorPoints(const RecordTimes& times) {
    std::vector<Point> points = times.points;
    if (times.end && times.end->frames > 0)
        detail::AddPoint(points, {times.end->frames - 1, times.end->unix_ms});
    return points;
}

namespace detail {

inline int64_t TimeIn(const std::vector<Point>& points, int64_t frame, double frames_per_second) {
    auto after = std::upper_bound(points.begin(), points.end(), frame,
                                  [](int64_t f, const Point& p) { return f < p.frame; });
    if (after == points.begin())
        return points.front().unix_ms - FrameDurationMs(points.front().frame - frame, frames_per_second);
    const Point& before = *(after - 1);
    if (after == points.end())
        return before.unix_ms + FrameDurationMs(frame - before.frame, frames_per_second);
    const long double share = static_cast<long double>(frame - before.frame) / (after->frame - before.frame);
    return before.unix_ms + static_cast<int64_t>(std::llround(share * (after->unix_ms - before.unix_ms)));
}

}  // namespace detail

// Wall-clock time of video frame `frame`: linear between the surrounding points, before the first and
// after the last one at `frames_per_second` (the AVI's rate). nullopt without points.
inline std::optional<int64_t> FrameTimeMs(const RecordTimes& times, int64_t frame, double frames_per_second) {
    std::vector<Point> points = AnchorPoints(times);
    if (points.empty()) return std::nullopt;
    return detail::TimeIn(points, frame, frames_per_second);
}

// The last video frame shown at `unix_ms`: the frame received at or most recently before that time (in a
// gap, the last frame before it). nullopt before the first frame or without points. After the last point
// it counts on at `frames_per_second`, without a bound: the caller clamps to the AVI's frame count.
inline std::optional<int64_t> FrameAtTime(const RecordTimes& times, int64_t unix_ms,
                                          double frames_per_second) {
    std::vector<Point> points = AnchorPoints(times);
    if (points.empty() || unix_ms < points.front().unix_ms) return std::nullopt;
    auto after = std::upper_bound(points.begin(), points.end(), unix_ms,
                                  [](int64_t ms, const Point& p) { return ms < p.unix_ms; });
    const Point& before = *(after - 1);
    if (after == points.end()) {
        if (!(frames_per_second > 0)) return before.frame;
        return before.frame + static_cast<int64_t>(std::floor(static_cast<double>(unix_ms - before.unix_ms) *
                                                              frames_per_second / 1000.0));
    }
    // Frames spread evenly between two points: estimate, then settle on the last one whose interpolated
    // time is not after unix_ms (rounding may put the estimate one off either way).
    const int64_t frames = after->frame - before.frame;
    const int64_t span_ms = after->unix_ms - before.unix_ms;
    int64_t frame = before.frame + static_cast<int64_t>(static_cast<long double>(unix_ms - before.unix_ms) *
                                                        frames / span_ms);
    frame = std::clamp(frame, before.frame, after->frame - 1);
    while (frame > before.frame && detail::TimeIn(points, frame, frames_per_second) > unix_ms) --frame;
    while (frame + 1 < after->frame && detail::TimeIn(points, frame + 1, frames_per_second) <= unix_ms)
        ++frame;
    return frame;
}

// The gap that `unix_ms` falls into (strictly between its ends), if any.
inline std::optional<Gap> GapAt(const RecordTimes& times, int64_t unix_ms) {
    auto after = std::upper_bound(times.gaps.begin(), times.gaps.end(), unix_ms,
                                  [](int64_t ms, const Gap& g) { return ms < g.from_ms; });
    if (after == times.gaps.begin()) return std::nullopt;
    const Gap& gap = *(after - 1);
    if (unix_ms > gap.from_ms && unix_ms < gap.to_ms) return gap;
    return std::nullopt;
}

inline std::string HeaderLine() {
    return std::string(kHeaderLine) + "\n";
}
inline std::string PointLine(int64_t frame, int64_t unix_ms) {
    return "t " + std::to_string(frame) + " " + std::to_string(unix_ms) + "\n";
}
inline std::string GapLine(int64_t from_ms, int64_t to_ms) {
    return "gap " + std::to_string(from_ms) + " " + std::to_string(to_ms) + "\n";
}
inline std::string EndLine(int64_t frames, int64_t unix_ms) {
    return "end " + std::to_string(frames) + " " + std::to_string(unix_ms) + "\n";
}

// Decides which lines a recording writes, without doing any I/O: the header and frame 0's point, a
// gap line before the point of the frame that ends a pause of kMinGapMs or more, a point for the first
// frame of every new wall-clock second, and the end line. One writer per file; not thread-safe.
class Writer {
  public:
    // The lines to write for the next video frame of the file (numbered from 0 in call order), received
    // at `unix_ms`. Times that run backwards (the wall clock was set back) are kept as the last time, so
    // the file's points stay in order.
    std::string Frame(int64_t unix_ms) {
        std::string lines;
        if (frames_ == 0) {
            lines = HeaderLine() + PointLine(0, unix_ms);
        } else {
            unix_ms = std::max(unix_ms, last_ms_);
            if (unix_ms - last_ms_ >= kMinGapMs) {
                lines = GapLine(last_ms_, unix_ms) + PointLine(frames_, unix_ms);
            } else if (unix_ms / 1000 != last_point_ms_ / 1000) {
                lines = PointLine(frames_, unix_ms);
            }
        }
        if (!lines.empty()) last_point_ms_ = unix_ms;
        last_ms_ = unix_ms;
        ++frames_;
        return lines;
    }
    // The end line of a clean stop; empty when no frame was written.
    std::string Finish() const { return frames_ == 0 ? std::string() : EndLine(frames_, last_ms_); }
    int64_t frames() const { return frames_; }
    int64_t last_ms() const { return last_ms_; }

  private:
    int64_t frames_ = 0;
    int64_t last_ms_ = 0;
    int64_t last_point_ms_ = 0;
};

}  // namespace velq::times

#endif  // CORVEL_RECORD_TIMES_H

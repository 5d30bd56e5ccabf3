// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/recording_coverage.h"

#include <algorithm>
#include <map>

#include "corvel/record_times.h"

namespace recordings {
namespace {

// The span of a recording from its time file; false when it has none (or one without frame times).
bool SpanFromTimes(const QString& path, qint64 moment_ms, CoveringRecording* span, bool* covered) {
    const velq::times::RecordTimes times =
        velq::times::ReadFile((path + QString::fromLatin1(velq::times::kFileSuffix)).toStdString());
    const std::vector<velq::times::Point> points = velq::times::AnchorPoints(times);
    if (points.empty()) return false;
    const qint64 first_ms = points.front().unix_ms;
    // Without the end line (a recorder that was killed) the frames after the last point are those of the
    // same wall-clock second at most: the writer puts a point into every second that had frames.
    const qint64 last_ms = times.end ? times.end->unix_ms : points.back().unix_ms + 999;
    span->first = QDateTime::fromMSecsSinceEpoch(first_ms);
    span->last = QDateTime::fromMSecsSinceEpoch(last_ms);
    span->true_times = true;
    *covered = moment_ms >= first_ms && moment_ms <= last_ms && !velq::times::GapAt(times, moment_ms);
    return true;
}

}  // namespace

RecordingCoverage::RecordingCoverage(QStringList folders, RecordingsIndex::DurationProbe probe)
    : folders_(std::move(folders)), probe_(std::move(probe)) {}

Coverage RecordingCoverage::Find(const QString& vehicle, const QDateTime& moment) const {
    Coverage coverage;
    if (vehicle.isEmpty() || !moment.isValid()) return coverage;
    // Listing alone reads names, sizes and times; no probe runs here.
    RecordingsIndex index([](const QString&) { return RecordingsIndex::kNotProbed; });
    index.SetFolders(folders_);
    index.List();
    const qint64 moment_ms = moment.toMSecsSinceEpoch();
    std::vector<RecordingEntry> candidates;
    for (const auto& [key, files] : index.Groups({vehicle, QDate()})) {
        if (key.first != vehicle) continue;
        bool older_taken = false;
        for (const RecordingEntry& file : files) {  // newest first
            if (!ParseRecordingName(file.path.section(u'/', -1)).start.isValid()) continue;
            const qint64 start_ms = file.start.toMSecsSinceEpoch();
            if (start_ms > moment_ms + kLeadMs) continue;
            if (start_ms > moment_ms) {
                candidates.push_back(file);
            } else if (!older_taken) {
                candidates.push_back(file);
                older_taken = true;
            } else {
                break;
            }
        }
    }
    // The nearest to the moment first, so that a cap leaves out the least likely.
    std::sort(candidates.begin(), candidates.end(), [&](const RecordingEntry& a, const RecordingEntry& b) {
        return std::abs(a.start.toMSecsSinceEpoch() - moment_ms) <
               std::abs(b.start.toMSecsSinceEpoch() - moment_ms);
    });
    if (candidates.size() > static_cast<size_t>(kMaxFilesRead)) {
        candidates.resize(kMaxFilesRead);
        coverage.capped = true;
    }
    for (const RecordingEntry& file : candidates) {
        CoveringRecording span;
        span.path = file.path;
        span.channel = file.channel;
        bool covered = false;
        if (!SpanFromTimes(file.path, moment_ms, &span, &covered)) {
            // Without times, a recording named after the moment began after it: no need to probe it.
            if (file.start > moment) continue;
            const double length_ms = probe_ ? probe_(file.path) : -1;
            if (length_ms < 0) continue;  // unreadable: it shows nothing
            span.first = file.start;
            span.last = file.start.addMSecs(static_cast<qint64>(length_ms));
            covered = moment >= span.first && moment <= span.last;
        }
        if (covered) coverage.recordings.push_back(span);
    }
    std::sort(coverage.recordings.begin(), coverage.recordings.end(),
              [](const CoveringRecording& a, const CoveringRecording& b) {
                  return a.channel != b.channel ? a.channel < b.channel : a.first < b.first;
              });
    return coverage;
}

}  // namespace recordings

// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/recordings_index.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <set>

#include "recordings/recording_source.h"

namespace recordings {
namespace {

// Folders are looked at this deep (the folder itself and two levels below it).
constexpr int kMaximumDepth = 3;
constexpr int kMaximumFiles = 20000;

bool IsRecording(const QString& name) {
    return name.endsWith(QStringLiteral(".avi"), Qt::CaseInsensitive);
}
bool IsSnapshot(const QString& name) {
    return name.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive) ||
           name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

}  // namespace

RecordingName ParseRecordingName(const QString& file_name) {
    static const QRegularExpression pattern(
        QStringLiteral(
            "^(.+)-chn(\\d{1,3})(?:-(\\d{4})-(\\d{2})-(\\d{2})-(\\d{2})-(\\d{2})-(\\d{2}))?(?:-\\d+)?"
            "\\.(?:avi|bmp|png)$"),
        QRegularExpression::CaseInsensitiveOption);
    RecordingName name;
    const QRegularExpressionMatch match = pattern.match(file_name);
    if (!match.hasMatch()) return name;
    name.valid = true;
    name.vehicle = match.captured(1);
    name.channel = match.captured(2).toInt();
    if (match.capturedLength(3) > 0) {
        const QDate date(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(5).toInt());
        const QTime time(match.captured(6).toInt(), match.captured(7).toInt(), match.captured(8).toInt());
        if (date.isValid() && time.isValid()) name.start = QDateTime(date, time);
    }
    return name;
}

double ProbeRecordingMs(const QString& path) {
    RecordingSource source;
    return source.Open(path, nullptr) ? source.duration_ms() : -1;
}

RecordingsIndex::RecordingsIndex(DurationProbe probe) : probe_(std::move(probe)) {}

void RecordingsIndex::SetFolders(const QStringList& folders) {
    folders_.clear();
    for (const QString& folder : folders) AddFolder(folder);
}

bool RecordingsIndex::AddFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir()) return false;
    const QString path = info.absoluteFilePath();
    if (folders_.contains(path)) return false;
    folders_.append(path);
    return true;
}

void RecordingsIndex::List() {
    entries_.clear();
    pending_.clear();
    std::set<QString> seen;
    QHash<QString, Known> still_known;
    int files = 0;
    // Breadth first, kMaximumDepth folders deep at most: a folder added by mistake (a whole disk) costs
    // a bounded walk.
    std::vector<std::pair<QString, int>> pending;
    for (const QString& folder : folders_) pending.emplace_back(folder, 0);
    for (size_t next = 0; next < pending.size() && files < kMaximumFiles; ++next) {
        const auto [folder, depth] = pending[next];
        const QDir dir(folder);
        if (depth + 1 < kMaximumDepth) {
            for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable))
                pending.emplace_back(sub.absoluteFilePath(), depth + 1);
        }
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Readable)) {
            if (files >= kMaximumFiles) break;
            const QString name = info.fileName();
            const bool snapshot = IsSnapshot(name);
            if (!snapshot && !IsRecording(name)) continue;
            // QDir lists a symbolic link to a FIFO among the files; isFile() looks through the link.
            if (!info.isFile()) continue;
            const QString canonical = info.canonicalFilePath();
            if (!seen.insert(canonical).second) continue;  // a folder added twice, or inside another
            ++files;
            RecordingEntry entry;
            entry.path = info.absoluteFilePath();
            entry.snapshot = snapshot;
            entry.bytes = info.size();
            const RecordingName parsed = ParseRecordingName(name);
            if (parsed.valid) {
                entry.vehicle = parsed.vehicle;
                entry.channel = parsed.channel;
            }
            entry.start = parsed.start.isValid() ? parsed.start : info.lastModified();
            if (snapshot) {
                entry.duration_ms = 0;
            } else {
                const auto known = known_.constFind(canonical);
                if (known != known_.constEnd() && known->bytes == entry.bytes &&
                    known->modified == info.lastModified()) {
                    entry.duration_ms = known->duration_ms;
                    still_known.insert(canonical, *known);
                } else {
                    entry.duration_ms = kNotProbed;
                    pending_.insert(entry.path,
                                    Pending{entries_.size(), canonical, entry.bytes, info.lastModified()});
                }
            }
            entries_.push_back(std::move(entry));
        }
    }
    known_ = std::move(still_known);
}

QStringList RecordingsIndex::Unprobed() const {
    QStringList paths;
    for (const RecordingEntry& entry : Recordings())
        if (pending_.contains(entry.path)) paths << entry.path;
    return paths;
}

bool RecordingsIndex::SetLength(const QString& path, double duration_ms) {
    const auto pending = pending_.constFind(path);
    if (pending == pending_.constEnd()) return false;
    entries_[pending->entry].duration_ms = duration_ms;
    known_.insert(pending->canonical, Known{pending->bytes, pending->modified, duration_ms});
    pending_.erase(pending);
    return true;
}

void RecordingsIndex::Rescan() {
    List();
    for (const QString& path : Unprobed()) SetLength(path, probe_ ? probe_(path) : -1);
}

std::vector<RecordingEntry> RecordingsIndex::Select(bool snapshots, const RecordingFilter& filter) const {
    std::vector<RecordingEntry> selected;
    for (const RecordingEntry& entry : entries_) {
        if (entry.snapshot != snapshots) continue;
        if (!filter.vehicle.isEmpty() && entry.vehicle != filter.vehicle) continue;
        if (filter.date.isValid() && entry.start.date() != filter.date) continue;
        selected.push_back(entry);
    }
    std::sort(selected.begin(), selected.end(), [](const RecordingEntry& a, const RecordingEntry& b) {
        return a.start != b.start ? a.start > b.start : a.path < b.path;
    });
    return selected;
}

std::vector<RecordingEntry> RecordingsIndex::Recordings(const RecordingFilter& filter) const {
    return Select(false, filter);
}

std::vector<RecordingEntry> RecordingsIndex::Snapshots(const RecordingFilter& filter) const {
    return Select(true, filter);
}

std::map<std::pair<QString, int>, std::vector<RecordingEntry>> RecordingsIndex::Groups(
    const RecordingFilter& filter) const {
    std::map<std::pair<QString, int>, std::vector<RecordingEntry>> groups;
    for (RecordingEntry& entry : Recordings(filter)) {
        groups[{entry.vehicle, entry.channel}].push_back(std::move(entry));
    }
    return groups;
}

QStringList RecordingsIndex::Vehicles() const {
    std::set<QString> vehicles;
    for (const RecordingEntry& entry : entries_)
        if (!entry.vehicle.isEmpty()) vehicles.insert(entry.vehicle);
    return QStringList(vehicles.begin(), vehicles.end());
}

}  // namespace recordings

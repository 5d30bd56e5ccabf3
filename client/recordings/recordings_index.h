// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace recordings {

// What a file name of the Record or Snapshot folder says: "<vehicle>-chnNN-YYYY-MM-DD-HH-MM-SS.avi" (a
// recording split by duration; a second file of the same second ends "-2" and so on) or ".bmp"/".png" for
// a snapshot. The vehicle may itself hold dashes; the time is local time.
struct RecordingName {
    bool valid = false;  // vehicle and channel were found
    QString vehicle;
    int channel = -1;
    QDateTime start;  // invalid when the name carries no time
};
RecordingName ParseRecordingName(const QString& file_name);

struct RecordingEntry {
    QString path;
    QString vehicle;  // empty for a file whose name says nothing
    int channel = -1;
    QDateTime start;  // from the name, else the file's modification time
    qint64 bytes = 0;
    double duration_ms = -1;  // -1: unknown (unreadable); snapshots 0
    bool snapshot = false;
};

// Filters of the recordings window; an empty vehicle or invalid date lets every file through.
struct RecordingFilter {
    QString vehicle;
    QDate date;
};

// The recordings and snapshots of a set of folders (the program's Record and Snapshot folders first, then
// those the user added). A plain object of the UI thread; Rescan reads the folders (and the length of
// every recording not seen before with the same size and time, which for a file without index means
// reading it through).
class RecordingsIndex {
  public:
    // Length in milliseconds of the recording at a path, -1 when it cannot be read.
    using DurationProbe = std::function<double(const QString& path)>;
    explicit RecordingsIndex(DurationProbe probe);

    void SetFolders(const QStringList& folders);
    // False when the folder is already listed or does not exist.
    bool AddFolder(const QString& folder);
    const QStringList& folders() const { return folders_; }
    void Rescan();

    // Newest first (ties by path), filtered.
    std::vector<RecordingEntry> Recordings(const RecordingFilter& filter = {}) const;
    std::vector<RecordingEntry> Snapshots(const RecordingFilter& filter = {}) const;
    // The recordings grouped by vehicle and channel (in name order), each group newest first.
    std::map<std::pair<QString, int>, std::vector<RecordingEntry>> Groups(
        const RecordingFilter& filter = {}) const;
    // Every vehicle named by a file, sorted.
    QStringList Vehicles() const;

  private:
    struct Known {
        qint64 bytes;
        QDateTime modified;
        double duration_ms;
    };
    std::vector<RecordingEntry> Select(bool snapshots, const RecordingFilter& filter) const;

    DurationProbe probe_;
    QStringList folders_;
    std::vector<RecordingEntry> entries_;
    QHash<QString, Known> known_;
};

// The probe the client uses: opens the file as the player does.
double ProbeRecordingMs(const QString& path);

}  // namespace recordings

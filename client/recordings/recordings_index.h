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
    double duration_ms = -1;  // -1: unreadable; RecordingsIndex::kNotProbed: not known yet; snapshots 0
    bool snapshot = false;
};

// Filters of the recordings window; an empty vehicle or invalid date lets every file through.
struct RecordingFilter {
    QString vehicle;
    QDate date;
};

// The recordings and snapshots of a set of folders (the program's Record and Snapshot folders first, then
// those the user added). A plain object of the UI thread. Only regular files are listed (symbolic links
// followed): a FIFO, device or socket named like a recording is left out, as reading it could block.
// Listing looks at names, sizes and times only; the length of a recording not seen before with the same
// size and time needs a probe (for a file without index, reading it through), which List leaves to the
// caller (the window runs probes on a worker thread) and Rescan does at once.
class RecordingsIndex {
  public:
    // Length in milliseconds of the recording at a path, -1 when it cannot be read. Called on any thread
    // when the window probes: it must use nothing but its argument.
    using DurationProbe = std::function<double(const QString& path)>;
    // duration_ms of a recording whose length is still to be probed.
    static constexpr double kNotProbed = -2;

    explicit RecordingsIndex(DurationProbe probe);

    void SetFolders(const QStringList& folders);
    // False when the folder is already listed or does not exist.
    bool AddFolder(const QString& folder);
    const QStringList& folders() const { return folders_; }
    // Reads the folders; lengths known from earlier probes of the same file version are kept, the others
    // are kNotProbed and their paths in Unprobed().
    void List();
    // The recordings listed whose lengths are kNotProbed, newest first.
    QStringList Unprobed() const;
    // Stores the length a probe found for a listed recording; false when the path is not one of those
    // Unprobed() names (a listing since then dropped it).
    bool SetLength(const QString& path, double duration_ms);
    // List() and every probe it leaves, on the calling thread.
    void Rescan();
    const DurationProbe& probe() const { return probe_; }

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

    // A listed recording waiting for its length: where it is in entries_ and the version probed.
    struct Pending {
        size_t entry;
        QString canonical;
        qint64 bytes;
        QDateTime modified;
    };

    DurationProbe probe_;
    QStringList folders_;
    std::vector<RecordingEntry> entries_;
    QHash<QString, Known> known_;      // by canonical path
    QHash<QString, Pending> pending_;  // by entry path
};

// The probe the client uses: opens the file as the player does.
double ProbeRecordingMs(const QString& path);

}  // namespace recordings

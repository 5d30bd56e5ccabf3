// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which recordings hold the pictures of one vehicle at one moment (an alarm's): a recording covers the
// moment when its first frame is at or before it and its last frame at or after it, and the moment is not
// inside one of its gaps. The frames' times come from the time file beside the recording; a recording
// without one counts from the time in its name for its length as the player reads it.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

#include "recordings/recordings_index.h"

namespace recordings {

struct CoveringRecording {
    QString path;
    int channel = -1;
    QDateTime first;  // time of the first and last frame, local time
    QDateTime last;
    bool true_times = false;  // from the time file (else the name's time plus the length)
};

struct Coverage {
    std::vector<CoveringRecording> recordings;  // by channel, then start
    // More candidates than kMaxFilesRead: the ones nearest the moment were read, the rest left unread.
    bool capped = false;
};

// Plain object; Find may run on any thread (it touches nothing but the folders and its probe), and
// should run off the UI thread for a large folder: it lists the folders and reads at most kMaxFilesRead
// time files or probes.
class RecordingCoverage {
  public:
    static constexpr int kMaxFilesRead = 48;
    // A recording may begin with the seconds kept before it started (at most 60), so its first frame
    // can be that much earlier than the time in its name.
    static constexpr qint64 kLeadMs = 120000;

    // folders: the Record folder first, then others (as RecordingsIndex takes them); probe: the length of
    // a recording without time file (RecordingsIndex's probe; may read the whole file).
    RecordingCoverage(QStringList folders, RecordingsIndex::DurationProbe probe);

    // The recordings of `vehicle` (as its file names spell it) covering `moment`. Only the files whose
    // names carry a time are looked at: per channel, those starting within kLeadMs after the moment and
    // the newest one starting before it (a channel writes one file at a time, so older ones ended).
    Coverage Find(const QString& vehicle, const QDateTime& moment) const;

  private:
    QStringList folders_;
    RecordingsIndex::DurationProbe probe_;
};

}  // namespace recordings

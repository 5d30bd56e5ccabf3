// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which file a snapshot request produced. The library writes "<name>-<picture time>.bmp" (the requested
// path without ".bmp", the picture's local time "-YYYY-MM-DD-HH-MM-SS") on the channel's video thread at
// its next picture and reports nothing, so the folder is looked at until such a file written since the
// request is there. Plain class, any thread.
#include <QDateTime>
#include <QString>

class SnapshotWatch {
  public:
    // How long a snapshot may take before it counts as failed: the next picture of a live channel comes
    // within a few frame periods, a stalled one shows its own notice.
    static constexpr int kWait_ms = 3000;

    // `requested_path`: the path given to VelqChn_Snapshot; `requested_at`: when.
    SnapshotWatch(QString requested_path, QDateTime requested_at);

    // The path of the newest file the request may have written, empty while there is none.
    QString Find() const;
    // The requested file name without its folder (for a notice before the real name is known).
    QString RequestedName() const;

  private:
    QString requested_path_;
    QDateTime since_;
};

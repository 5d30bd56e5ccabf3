// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPointer>
#include <QString>
#include <functional>

#include "recordings/recordings_index.h"
#include "recordings/ui_text.h"

class QWidget;

namespace recordings {

class PlayerWindow;
class RecordingsWindow;

// Where recordings and snapshots are: read each time a window opens, so changed settings count.
struct RecordingFolders {
    QString record;
    QString snapshot;
};

// Opens the recordings window (one at a time, raised when open again) and player windows, one per file
// opened. Made by the composition root, which hands it the folders and the translation; windows it opens
// belong to `parent` (they close with it). UI thread.
class RecordingsLauncher {
  public:
    RecordingsLauncher(std::function<RecordingFolders()> folders, TranslateText translate);

    RecordingsWindow* ShowRecordings(QWidget* parent);
    // A player window on the file, shown even when the file cannot be played (it then shows why); *error
    // gets that message.
    PlayerWindow* OpenPlayer(const QString& path, QWidget* parent, QString* error = nullptr);
    // A player for an alarm: on `path` at the alarm's moment (where the recording holds it), carrying
    // `alarm_record` into its evidence export.
    PlayerWindow* OpenPlayerAt(const QString& path, const QDateTime& moment, const QString& alarm_record,
                               QWidget* parent, QString* error = nullptr);

    // Handed to every player opened after it is set (see PlayerWindow::SetTrackSource).
    void SetTrackSource(std::function<QByteArray(const QString&, int64_t, int64_t)> source) {
        track_source_ = std::move(source);
    }

  private:
    std::function<RecordingFolders()> folders_;
    std::function<QByteArray(const QString&, int64_t, int64_t)> track_source_;
    TranslateText translate_;
    RecordingsIndex index_;
    QPointer<RecordingsWindow> window_;
};

}  // namespace recordings

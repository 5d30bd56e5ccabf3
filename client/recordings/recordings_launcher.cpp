// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/recordings_launcher.h"

#include "recordings/player_window.h"
#include "recordings/recordings_window.h"

namespace recordings {

RecordingsLauncher::RecordingsLauncher(std::function<RecordingFolders()> folders, TranslateText translate)
    : folders_(std::move(folders)), translate_(std::move(translate)), index_(ProbeRecordingMs) {}

RecordingsWindow* RecordingsLauncher::ShowRecordings(QWidget* parent) {
    if (window_ == nullptr) {
        // The folders of the settings as they are now, and those the user added before.
        const RecordingFolders folders = folders_();
        const QStringList added = index_.folders().mid(2);
        index_.SetFolders(QStringList{folders.record, folders.snapshot} + added);
        window_ = new RecordingsWindow(
            index_, [this, parent](const QString& path) { OpenPlayer(path, parent); }, translate_, parent);
        window_->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        window_->Refresh();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    return window_;
}

PlayerWindow* RecordingsLauncher::OpenPlayer(const QString& path, QWidget* parent, QString* error) {
    auto* player = new PlayerWindow(folders_().snapshot, translate_, parent);
    player->SetTrackSource(track_source_);
    player->Open(path, error);
    player->show();
    return player;
}

PlayerWindow* RecordingsLauncher::OpenPlayerAt(const QString& path, const QDateTime& moment,
                                               const QString& alarm_record, QWidget* parent, QString* error) {
    PlayerWindow* player = OpenPlayer(path, parent, error);
    player->SeekToTime(moment);
    player->SetAlarmRecord(alarm_record);
    return player;
}

}  // namespace recordings

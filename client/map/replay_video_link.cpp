// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/replay_video_link.h"

#include "recordings/player_window.h"

namespace {

bool Spans(const recordings::CoveringRecording& recording, qint64 unix_ms) {
    return !recording.path.isEmpty() && unix_ms >= recording.first.toMSecsSinceEpoch() &&
           unix_ms <= recording.last.toMSecsSinceEpoch();
}

}  // namespace

ReplayVideoLink::ReplayVideoLink(QObject* parent) : QObject(parent) {
    lookup_later_.setSingleShot(true);
    connect(&lookup_later_, &QTimer::timeout, this, [this] {
        Lookup(pending_ms_);
        if (player_ && !PlayerPlaying()) SeekPlayer(pending_ms_);
    });
}

void ReplayVideoLink::SetSources(Sources sources) {
    sources_ = std::move(sources);
}

void ReplayVideoLink::SetVehicle(const QString& device_id) {
    if (player_) disconnect(player_, nullptr, this, nullptr);
    player_.clear();
    shown_ = {};
    found_ = {};
    device_ = device_id;
    lookup_later_.stop();
    since_lookup_.invalidate();
    if (covered_) {
        covered_ = false;
        emit coverageChanged(false);
    }
}

void ReplayVideoLink::ReplayMoved(qint64 unix_ms, bool playing) {
    if (!available() || device_.isEmpty()) return;
    // Within the recording found last, nothing needs reading.
    if (!Spans(found_, unix_ms) || !covered_) {
        if (!since_lookup_.isValid() || since_lookup_.elapsed() >= kLookupIntervalMs) {
            Lookup(unix_ms);
        } else {
            pending_ms_ = unix_ms;
            if (!lookup_later_.isActive())
                lookup_later_.start(int(kLookupIntervalMs - since_lookup_.elapsed()));
        }
    }
    // The player leads while it plays.
    if (!player_ || PlayerPlaying()) return;
    if (playing && since_seek_.isValid() && since_seek_.elapsed() < kPlaySeekIntervalMs) return;
    SeekPlayer(unix_ms);
}

bool ReplayVideoLink::OpenAt(qint64 unix_ms) {
    if (!available() || device_.isEmpty()) return false;
    Lookup(unix_ms);
    if (!covered_) return false;
    if (player_) {
        SeekPlayer(unix_ms);
        player_->raise();
        player_->activateWindow();
        return true;
    }
    recordings::PlayerWindow* player = sources_.open(found_.path, QDateTime::fromMSecsSinceEpoch(unix_ms));
    if (!player) return false;
    player_ = player;
    shown_ = found_;
    connect(player, &recordings::PlayerWindow::shownTimeChanged, this, &ReplayVideoLink::PlayerShown);
    return true;
}

void ReplayVideoLink::PausePlayer() {
    if (PlayerPlaying()) player_->TogglePlay();
}

void ReplayVideoLink::Lookup(qint64 unix_ms) {
    lookup_later_.stop();
    since_lookup_.start();
    const recordings::Coverage coverage = sources_.find(device_, QDateTime::fromMSecsSinceEpoch(unix_ms));
    found_ = {};
    for (const recordings::CoveringRecording& recording : coverage.recordings) {
        // The linked player's channel is kept where it has the moment too; else the lowest channel.
        if (found_.path.isEmpty() || (shown_.channel >= 0 && recording.channel == shown_.channel))
            found_ = recording;
    }
    const bool covered = !found_.path.isEmpty();
    if (covered != covered_) {
        covered_ = covered;
        emit coverageChanged(covered);
    }
}

void ReplayVideoLink::SeekPlayer(qint64 unix_ms) {
    since_seek_.start();
    seeking_ = true;
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(unix_ms);
    if (Spans(shown_, unix_ms)) {
        player_->SeekToTime(moment);
    } else if (Spans(found_, unix_ms) && player_->Open(found_.path)) {
        // The moment is in the vehicle's next (or earlier) recording: the same window plays that one.
        shown_ = found_;
        player_->SeekToTime(moment);
    }
    // Elsewhere no recording has the moment, and the player keeps its last picture.
    seeking_ = false;
}

void ReplayVideoLink::PlayerShown(const QDateTime& when) {
    if (seeking_ || !player_ || !when.isValid()) return;
    const bool playing = PlayerPlaying();
    if (playing && since_report_.isValid() && since_report_.elapsed() < kReportIntervalMs) return;
    since_report_.start();
    emit playerMoved(when.toMSecsSinceEpoch(), playing);
}

bool ReplayVideoLink::PlayerPlaying() const {
    return player_ && player_->player().playing();
}

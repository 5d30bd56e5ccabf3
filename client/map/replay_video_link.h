// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The route replay's link to the recordings player. Where a local recording of the replayed vehicle covers
// the replay's moment, the panel may open the player there; while that player is open the two follow each
// other: the replay's moves seek the player, and what the player shows by itself (playing, or the operator
// seeking on its timeline) moves the replay. Neither drives the other in a circle: the player's answer to a
// seek made here is not reported back, and while the player plays, the replay's moves are not sent to it.
//
// UI thread only. The player window belongs to whoever `open` gives it to; the link only watches it, and
// forgets it when it closes.
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

#include "recordings/player_window.h"
#include "recordings/recording_coverage.h"

class ReplayVideoLink : public QObject {
    Q_OBJECT
  public:
    struct Sources {
        // The recordings of the vehicle (its device id) covering `moment`, lowest channel first. May list
        // folders and read time files, which is why it is asked at most every kLookupIntervalMs.
        std::function<recordings::Coverage(const QString& device_id, const QDateTime& moment)> find;
        // A shown player window on `path` at `moment`; null when none could be made.
        std::function<recordings::PlayerWindow*(const QString& path, const QDateTime& moment)> open;
    };
    // Coverage lookups while the replay moves, at most this often; the last moment is looked up when
    // the interval has passed.
    static constexpr int kLookupIntervalMs = 1000;
    // While the replay plays, the player is sought at most this often: a seek decodes from the key frame
    // before the moment.
    static constexpr int kPlaySeekIntervalMs = 250;
    // While the player plays, the replay is told at most this often.
    static constexpr int kReportIntervalMs = 100;

    explicit ReplayVideoLink(QObject* parent = nullptr);

    void SetSources(Sources sources);
    bool available() const { return sources_.find && sources_.open; }
    // A new track of `device_id`: the player open so far stays open, no longer linked.
    void SetVehicle(const QString& device_id);
    // The replay's moment changed; `playing`: its own clock moved it (else the slider or a new track).
    void ReplayMoved(qint64 unix_ms, bool playing);
    // Opens the player on the recording covering `unix_ms` (the linked one is reused and raised); false
    // when no recording of the vehicle covers the moment or no player could be made.
    bool OpenAt(qint64 unix_ms);
    // Pauses the linked player when it plays: the replay is about to lead.
    void PausePlayer();
    bool covered() const { return covered_; }
    recordings::PlayerWindow* player() const { return player_; }
    // The recording the linked player has open (empty path: none).
    const recordings::CoveringRecording& shown() const { return shown_; }

  signals:
    // Whether a recording covers the replay's moment, when that changes.
    void coverageChanged(bool covered);
    // The linked player showed another moment by itself; `playing`: it plays.
    void playerMoved(qint64 unix_ms, bool playing);

  private:
    void Lookup(qint64 unix_ms);
    void SeekPlayer(qint64 unix_ms);
    void PlayerShown(const QDateTime& when);
    bool PlayerPlaying() const;

    Sources sources_;
    QString device_;
    QPointer<recordings::PlayerWindow> player_;
    recordings::CoveringRecording shown_;
    recordings::CoveringRecording found_;  // covering the last moment looked up (empty path: none)
    bool covered_ = false;
    // Set while the link itself moves the player, whose report of that move is then not passed on.
    bool seeking_ = false;
    qint64 pending_ms_ = 0;
    QTimer lookup_later_;
    QElapsedTimer since_lookup_;
    QElapsedTimer since_seek_;
    QElapsedTimer since_report_;
};

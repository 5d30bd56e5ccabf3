// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "recordings/evidence_export.h"
#include "recordings/recording_player.h"
#include "recordings/sound_out.h"
#include "recordings/true_times.h"
#include "recordings/ui_text.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace recordings {

class PictureView;
class Timeline;

// A window of its own for one recording: the picture, play/pause, the timeline (time of day, seek by click
// and drag), frame step, speed, snapshot of the shown picture (BMP into the snapshot folder, or PNG where
// the user says, and the clipboard), and a clip between the in and out marks exported with a progress bar.
// UI thread; the export runs on a thread of its own that the window waits for when it closes.
class PlayerWindow : public QWidget {
    Q_OBJECT

  public:
    // snapshot_folder: where "Snapshot" writes its BMP files (made when missing); translate: the texts
    // shown, in the user's language.
    PlayerWindow(QString snapshot_folder, TranslateText translate, QWidget* parent = nullptr);
    ~PlayerWindow() override;

    // Opens a recording and shows its first frame, paused. False with the message shown in the window and
    // returned in *error, both in the user's language.
    bool Open(const QString& path, QString* error = nullptr);
    // Everything the buttons do, also for the tests.
    void TogglePlay();
    void StepForward();
    void SeekTo(double position_ms);
    void SetSpeed(double speed);
    // Writes the shown picture as <vehicle>-chnNN-YYYY-MM-DD-HH-MM-SS.bmp (its time of day) into the
    // snapshot folder, or to `path` (.png or .bmp) when given, and puts it on the clipboard. The file
    // written, empty on failure.
    QString SaveSnapshot(const QString& path = QString());
    void MarkIn();
    void MarkOut();
    // Starts exporting the marked clip to `target`; false when no clip is marked or one is being written.
    bool StartExport(const QString& target);
    bool exporting() const { return export_thread_.joinable(); }
    // Evidence: a new folder "<vehicle>-chnNN-<time>-evidence" in `parent_folder` with the marked clip (the
    // whole recording when nothing is marked) and its time file, a snapshot of the shown picture, the alarm
    // record (SetAlarmRecord), a README.txt and SHA256SUMS, verified after writing (evidenceFinished).
    // False when the folder cannot be made or an export is running.
    bool StartEvidence(const QString& parent_folder);
    // Where the evidence export gets the vehicle's positions over the clip: called on the UI thread when an
    // export starts, with the recording's vehicle label (as its file name carries it) and the clip's
    // wall-clock range in Unix seconds (from the time file, else the name's start and the duration);
    // returns a GPX document, or nothing when no positions were recorded then. Unset: no track.
    using TrackSource = std::function<QByteArray(const QString& vehicle_label, int64_t from_s, int64_t to_s)>;
    void SetTrackSource(TrackSource source) { track_source_ = std::move(source); }
    // The alarm record an evidence folder holds (empty: none); set when the player opens from an alarm.
    void SetAlarmRecord(const QString& text) { evidence_alarm_ = text; }
    const QString& alarmRecord() const { return evidence_alarm_; }
    // Seeks to the frame shown at wall-clock time `when` (by the time file, else the name's time); false
    // when the recording's times are not known or `when` is outside it.
    bool SeekToTime(const QDateTime& when);

    const RecordingPlayer& player() const { return player_; }
    const TrueTimes& trueTimes() const { return times_; }
    Timeline* timeline() const { return timeline_; }
    // Wall-clock time of the shown frame: from the time file when there is one, else the name's start plus
    // the position; invalid when neither is known.
    QDateTime ShownTime() const;
    double in_ms() const { return in_ms_; }
    double out_ms() const { return out_ms_; }
    QString message() const;

  signals:
    // The export ended: the clip written, or the message why not (in the user's language).
    void exportFinished(bool ok, const QString& text);
    // The evidence folder was written and checked (ok), or what failed.
    void evidenceFinished(bool ok, const QString& folder, const QString& text);
    // The picture shown changed (played, stepped, sought, or another file opened): its wall-clock time,
    // when known (see ShownTime).
    void shownTimeChanged(const QDateTime& when);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Tick();
    void ShowState();
    void AskExport();
    // On the UI thread: the clip written to `target`, or `error` shown in the user's language.
    void FinishExport(bool ok, const QString& target, const UserText& error);
    int64_t NowMs() const { return clock_.elapsed(); }

    QString snapshot_folder_;
    TranslateText translate_;
    QString path_;
    QDateTime start_;
    TrueTimes times_;                            // the time file's; invalid without one
    std::unique_ptr<EvidenceContent> evidence_;  // while an evidence export runs
    QString evidence_alarm_;
    TrackSource track_source_;
    bool gap_notice_ = false;  // the message says a seek fell into a gap
    bool gap_seek_ = false;    // the seek that follows that notice is on its way
    QString vehicle_;
    int channel_ = -1;
    RecordingPlayer player_;
    SoundOut sound_;
    QElapsedTimer clock_;
    QTimer ticker_;
    double in_ms_ = -1;
    double out_ms_ = -1;

    PictureView* picture_;
    Timeline* timeline_;
    QPushButton* play_;
    QPushButton* step_;
    QComboBox* speed_;
    QLabel* time_;
    QLabel* message_;
    QProgressBar* progress_;

    std::thread export_thread_;
    std::atomic<bool> cancel_export_{false};
};

}  // namespace recordings

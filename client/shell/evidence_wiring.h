// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wires the evidence features into the main window: the preference page of our own settings (Option menu),
// the pre-record time of the devices on the grid, recording on alarm, and the mark of a recording that
// waits for video. A clock keeps the pre-record times in step with the grid, ends alarm recordings on time
// and watches the recordings. UI thread only; a child of the
// main window, so it ends with it.
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "app/own_prefs.h"
#include "grid/alarm_recorder.h"
#include "grid/recording_watch.h"

class AlarmDesk;
class AppSettings;
class DevTree;
class MainMenuBar;
class OwnPrefsDlg;
class OwnSettings;
class PageTab;
class QTimer;
class QWidget;

class EvidenceWiring : public QObject {
    Q_OBJECT
  public:
    struct Targets {
        PageTab& grid;
        DevTree& tree;
        AlarmDesk& alarms;
        MainMenuBar& menu;
        const AppSettings& settings;  // RecordPath, RecordDuration
        OwnSettings& own;
    };
    static constexpr int kMenuCommand = 32901;  // Option -> our settings page
    // Twice per RecordingWatch::kWaitAfter_ms, so a recording without video says so within 2.5 s.
    static constexpr int kTick_ms = 500;

    EvidenceWiring(const Targets& targets, std::function<void(const QString&)> log, QWidget* window);
    ~EvidenceWiring() override;

    // Before the library's logout, with the grid already emptied: the devices get their memory back while
    // their handles still live, then every handle is forgotten.
    void LoggedOut();
    // The new settings (the page's Save): applied at once.
    void Apply(const OwnPrefs& prefs);
    // One step of the clock (tests call it to not wait for the timer).
    void Tick();

    std::vector<GridChannel> GridChannels() const;
    OwnPrefsDlg* dialog() const;
    const AlarmRecorder& recorder() const { return recorder_; }
    const PreRecordSync& preRecord() const { return pre_record_; }
    const RecordingWatch& recordingWatch() const { return watch_; }
    const OwnPrefs& prefs() const { return prefs_; }

  private:
    bool StartRecording(const GridChannel& channel);
    void StopRecording(const GridChannel& channel);
    // Recordings without pictures: the tile's note, the tree node's icon and tool tip, the log.
    void WatchRecordings();

    Targets targets_;
    std::function<void(const QString&)> log_;
    OwnPrefs prefs_;
    QPointer<OwnPrefsDlg> dialog_;  // the window's child; goes with us, as its callback holds us
    PreRecordSync pre_record_;
    AlarmRecorder recorder_;
    RecordingWatch watch_;
    QElapsedTimer clock_;
    QTimer* timer_;
};

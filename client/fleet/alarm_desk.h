// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarms as the operator works them: it watches the vehicles' alarm words (AlarmWatch, a slice of the
// vehicles every kPollMs) and turns them into episodes (AlarmBook),
// keeps them in the history (AlarmStore), shows them in the alarm panel, sounds the alert for each new
// one, stamps acknowledgements with the logged-in user, and tells the window which vehicles to highlight
// and which vehicle's video to open. Made once by the main window with its settings; UI thread only.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "fleet/alarm_book.h"
#include "fleet/alarm_watch.h"

class AlarmHistoryDlg;
class AlarmListModel;
class AlarmPanel;
class AlarmSound;
class AlarmStore;
struct AlarmStoreEvent;
class QWidget;

struct AlarmSettings {
    bool sound = true;            // Alarm_Sound: the alert on each new alarm
    bool auto_video = false;      // Alarm_AutoVideo: a new alarm opens the vehicle's video by itself
    int keep_days = 90;           // AlarmHistoryDays (Tavrin.ini; else Alarm_KeepDays): days of history kept
    int64_t max_rows = 1000000;   // AlarmHistoryMaxRows (Tavrin.ini): rows of history kept while running
    int64_t reopen_window_s = 0;  // AlarmReopenSeconds (Tavrin.ini, 30 when missing): a word back on
                                  // within this after going off reopens its episode (0: never)
    QString database;             // the history file (the program folder's alarms.db); empty: none kept
    QString sound_backend;        // CORVEL_SOUND_OUT
    QString sound_source = QStringLiteral("qrc:/tavrin/alarm.wav");

    // The keys above from the settings files of `program_folder` (Config.ini through AppProfile, our own
    // in Tavrin.ini), the file in `program_folder`, the backend from the environment.
    static AlarmSettings Read(const QString& program_folder);
};

// "At most once per vehicle per minute" for opening video by itself.
class AlarmVideoPolicy {
  public:
    static constexpr int64_t kQuietMs = 60000;
    // True when the vehicle's video may open now (and remembers it); a monotonic clock in ms.
    bool Allow(const QString& device_id, int64_t now_ms);

  private:
    QHash<QString, int64_t> last_ms_;
};

class AlarmDesk : public QObject {
    Q_OBJECT
  public:
    // `vehicles` (may be null: nothing is watched) outlives the desk. Returns at once: the history is read
    // behind, and words seen before it is in are applied once it is (historyLoaded()).
    AlarmDesk(const AlarmSettings& settings, std::function<QString(const QString&)> translate,
              const AlarmVehicles* vehicles = nullptr, QObject* parent = nullptr);
    ~AlarmDesk() override;

    // The panel (made on first call, as a child of `parent`).
    AlarmPanel* Panel(QWidget* parent);
    // Who acknowledges: the user name of the current login.
    void SetUserSource(std::function<QString()> user) { user_ = std::move(user); }

    // A vehicle (tree row `row`) is listed: its highlight follows its unacknowledged episodes from now.
    void VehicleListed(int row, const QString& device_id);
    // Logout: the rows mean nothing any more.
    void ForgetVehicles();
    // Alarm word `word` of the vehicle of row `row` seen active or not at time_s (seconds since 1970).
    // A word already active at the first look (at_login) opens its episode without the alert and
    // without opening video.
    void OnStatusWord(int row, const QString& device_id, const QString& label, int word, bool active,
                      int64_t time_s, bool at_login = false, const QString& zone = QString());
    // A geofence alarm of the vehicle of row `row` in zone `zone` (the zone words of alarm_episode.h):
    // entering and leaving open and clear a momentary episode (alerted, to be acknowledged); speeding
    // opens with `active` and clears without. The device id and label come from the watched vehicles.
    void OnZoneAlarm(int row, int word, const QString& zone, bool active, int64_t time_s);
    // Acknowledges with the current user at the current time; returns how many were acknowledged.
    int Acknowledge(const QList<int64_t>& ids, const QString& comment);
    // One watch step (the timer's): reads the next slice of vehicles and applies what changed.
    void Poll();
    // Opens the history dialog (made on first use, as a child of `parent`).
    void ShowHistory(QWidget* parent);
    // Runs once on the history dialog when it is made (the shell hooks the recordings to it). Set it
    // before the dialog is first shown.
    void SetHistorySetup(std::function<void(AlarmHistoryDlg&)> setup) { history_setup_ = std::move(setup); }
    // Waits for the history read at start and takes it in now (tests and tools; the window does not wait).
    void WaitForHistory();
    bool historyLoaded() const { return history_loaded_; }
    // What the panel says about the history file (empty while all is well).
    const QString& historyStatus() const { return history_status_; }

    const AlarmBook& book() const { return book_; }
    AlarmListModel* model() const { return model_.get(); }
    AlarmStore* store() const { return store_.get(); }
    AlarmSound* sound() const { return sound_.get(); }
    AlarmHistoryDlg* historyDialog() const;
    int unacknowledged() const { return book_.UnacknowledgedCount(); }
    bool highlighted(int row) const { return highlighted_.contains(row); }

  signals:
    // The unacknowledged count changed (coalesced: at most every kCountDelayMs).
    void unacknowledgedChanged(int count);
    // The vehicle of this row gained its first or lost its last unacknowledged episode.
    void vehicleHighlightChanged(int row, bool on);
    // Show this vehicle's channels on a page of their own and select it on the map: a double-click on an
    // episode, or a new episode when the automatic option is on (AlarmVideoPolicy).
    void videoRequested(int row);
    // A line for the event log about the history file: set aside, locked, read-only, recreated, writes
    // failing (once per spell) and recovering (with how many alarms were dropped).
    void problemReported(const QString& text);
    // The history read at start is in the book.
    void historyReady();
    // An alarm word of the vehicle turned on (a new or reopened episode; not one already on at login).
    void alarmRaised(const QString& device_id);

  public:
    static constexpr int kCountDelayMs = 150;
    // Every vehicle is read at least once a second up to 4 * kRowsPerTick vehicles.
    static constexpr int kPollMs = 250;
    static constexpr int kRowsPerTick = 2500;

  private:
    struct Observation {
        int row;
        QString device_id, label;
        int word;
        bool active;
        int64_t time_s;
        bool at_login;
        QString zone;
    };
    // Words seen before the history is in; beyond this the oldest are forgotten.
    static constexpr size_t kMaxWaitingObservations = 100000;
    void ApplyHistory(const QList<AlarmEpisode>& episodes);
    void OnStoreEvent(const AlarmStoreEvent& event);
    void SetHistoryStatus(const QString& text);
    void OnBookChange(const AlarmEpisode& episode, AlarmBook::Change change);
    void UpdateHighlight(const QString& device_id);

    AlarmSettings settings_;
    const AlarmVehicles* vehicles_;
    AlarmWatch watch_{kRowsPerTick};
    QTimer poll_timer_;
    std::function<QString(const QString&)> translate_;
    std::function<QString()> user_;
    AlarmBook book_;
    std::unique_ptr<AlarmStore> store_;
    std::unique_ptr<AlarmListModel> model_;
    std::unique_ptr<AlarmSound> sound_;
    AlarmPanel* panel_ = nullptr;
    QPointer<AlarmHistoryDlg> history_;
    std::function<void(AlarmHistoryDlg&)> history_setup_;
    bool history_loaded_ = false;
    std::deque<Observation> waiting_;
    QString history_status_;
    AlarmVideoPolicy video_policy_;
    QHash<QString, int> row_of_;  // device id -> tree row
    QSet<int> highlighted_;
    QTimer count_timer_;
    QElapsedTimer clock_;
    bool loading_ = false;
};

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
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>

#include "fleet/alarm_book.h"
#include "fleet/alarm_watch.h"

class AlarmHistoryDlg;
class AlarmListModel;
class AlarmPanel;
class AlarmSound;
class AlarmStore;
class QWidget;

struct AlarmSettings {
    bool sound = true;        // Alarm_Sound: the alert on each new alarm
    bool auto_video = false;  // Alarm_AutoVideo: a new alarm opens the vehicle's video by itself
    int keep_days = 90;       // Alarm_KeepDays: history kept, pruned at start
    QString database;         // the history file (the program folder's alarms.db); empty: none kept
    QString sound_backend;    // CORVEL_SOUND_OUT
    QString sound_source = QStringLiteral("qrc:/tavrin/alarm.wav");

    // The keys above from the settings file, the file in `program_folder`, the backend from the
    // environment.
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
    // `vehicles` (may be null: nothing is watched) outlives the desk.
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
                      int64_t time_s, bool at_login = false);
    // Acknowledges with the current user at the current time; returns how many were acknowledged.
    int Acknowledge(const QList<int64_t>& ids, const QString& comment);
    // One watch step (the timer's): reads the next slice of vehicles and applies what changed.
    void Poll();
    // Opens the history dialog (made on first use, as a child of `parent`).
    void ShowHistory(QWidget* parent);

    const AlarmBook& book() const { return book_; }
    AlarmListModel* model() const { return model_.get(); }
    AlarmStore* store() const { return store_.get(); }
    AlarmSound* sound() const { return sound_.get(); }
    AlarmHistoryDlg* historyDialog() const { return history_; }
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
    // Once, when the history could not be used as it was (set aside, or none kept).
    void problemReported(const QString& text);

  public:
    static constexpr int kCountDelayMs = 150;
    // Every vehicle is read at least once a second up to 4 * kRowsPerTick vehicles.
    static constexpr int kPollMs = 250;
    static constexpr int kRowsPerTick = 2500;

  private:
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
    AlarmHistoryDlg* history_ = nullptr;
    AlarmVideoPolicy video_policy_;
    QHash<QString, int> row_of_;  // device id -> tree row
    QSet<int> highlighted_;
    QTimer count_timer_;
    QElapsedTimer clock_;
    bool loading_ = false;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording on alarm and the seconds kept before a recording, for the channels on the grid.
//
// PreRecordSync gives every device with a channel on the grid the pre-record time (the library then keeps
// that many seconds of each running channel, and a recording begins with them) and gives 0 back to a device
// whose channels all left the grid. AlarmRecorder records a vehicle's channels on the grid when the
// vehicle alarms, until post_alarm_s after its last alarm; a channel the operator records already is his
// and left alone, and a recording of ours the operator stops stays stopped.
//
// Plain classes, UI thread only; the library is reached through the functions they are given, so that the
// decisions are tested without a window.
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "corvel/corvel.h"

// One channel bound to a window of the grid.
struct GridChannel {
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;
    QString device_id;  // the device's identifier (VELQ_DEV_ID)
    QString vehicle;    // the name the tree shows
    int number = 0;     // channel number, from 1
};

class PreRecordSync {
  public:
    // (device, seconds) -> what VelqDev_SetDevInfo returned.
    using SetSeconds = std::function<int(AppDevice*, int)>;
    static int LibrarySet(AppDevice* device, int seconds);

    explicit PreRecordSync(SetSeconds set = LibrarySet) : set_(std::move(set)) {}

    // The devices with channels on the grid now get `seconds`; devices given a time before that are no
    // longer on the grid get 0. Only changes reach the library, so calling it every second costs nothing.
    void Sync(const std::vector<AppDevice*>& on_grid, int seconds);
    // Logout: the device handles die with the session; nothing is given back.
    void Forget() { applied_.clear(); }
    // Seconds last given to `device` (0 when none).
    int SecondsOf(AppDevice* device) const;

  private:
    SetSeconds set_;
    std::map<AppDevice*, int> applied_;
};

class AlarmRecorder {
  public:
    struct Hooks {
        std::function<std::vector<GridChannel>()> channels;  // the channels on the grid now
        std::function<bool(AppChannel*)> is_recording;
        // Starts recording the channel; false when the library refused (nothing to undo then).
        std::function<bool(const GridChannel&)> start;
        std::function<void(const GridChannel&)> stop;
    };

    explicit AlarmRecorder(Hooks hooks) : hooks_(std::move(hooks)) {}

    // RecordOnAlarm and PostAlarmSeconds. Turning it off leaves running recordings to end on time.
    void Configure(bool enabled, int post_alarm_s);
    // An alarm of the vehicle `device_id` at now_ms (any steady clock, the one Tick uses): its channels
    // on the grid record from now until post_alarm_s after its last alarm.
    void OnAlarm(const QString& device_id, int64_t now_ms);
    // The clock (about once a second): recordings whose time ran out stop; channels that left the grid or
    // that the operator stopped are forgotten.
    void Tick(int64_t now_ms);
    // Logout: every channel handle dies; nothing is stopped (the logout stops recordings).
    void Forget();

    // Channels recording because of an alarm.
    int RecordingCount() const { return static_cast<int>(ours_.size()); }
    bool Records(AppChannel* channel) const;

  private:
    struct Ours {
        GridChannel channel;
        QString device_id;
    };

    Hooks hooks_;
    bool enabled_ = false;
    int64_t post_alarm_ms_ = 30000;
    QHash<QString, int64_t> until_ms_;  // by device id: when its recordings stop
    std::vector<Ours> ours_;
};

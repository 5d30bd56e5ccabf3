// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings of this client's own features as one value, read from and written to Tavrin.ini
// (OwnSettings), and the keys that once lived in Config.ini and moved there.
//
// Moved keys: an installation of an older client kept them in Config.ini. Until Tavrin.ini has its own
// value, the one in Config.ini counts; MigrateMovedKeys copies it over once and leaves the Config.ini
// line alone, so that an older client on the same folder still reads its setting.
//
// UI thread only (AppProfile and OwnSettings are).
#include <QString>
#include <QStringList>

class OwnSettings;

struct OwnPrefs {
    // Evidence recordings.
    int pre_alarm_s = 10;          // PreAlarmSeconds: video kept before a recording starts, 0..60 (0 off)
    bool record_on_alarm = false;  // RecordOnAlarm: an alarm records the vehicle's channels on the grid
    int post_alarm_s = 30;         // PostAlarmSeconds: how long after the vehicle's last alarm, 1..3600
    // Alarms (moved from Config.ini).
    bool alarm_sound = true;        // Alarm_Sound
    bool alarm_auto_video = false;  // Alarm_AutoVideo
    int alarm_history_days = 90;    // AlarmHistoryDays (Config.ini: Alarm_KeepDays), 1..36500
    // Tiles (moved from Config.ini).
    bool tile_label = true;     // TileLabel: vehicle, channel and clock over each tile
    bool tile_stretch = false;  // TileStretch: pictures fill the tile instead of keeping their aspect

    static constexpr int kMaxPreAlarm_s = 60;
    static constexpr int kMinPostAlarm_s = 1;
    static constexpr int kMaxPostAlarm_s = 3600;
    static constexpr int kMaxHistoryDays = 36500;

    // Values out of their range are brought into it; a missing key gives the default above.
    static OwnPrefs Read(OwnSettings& own);
    // Writes every key. False at the first key that could not be written (the file is then unchanged
    // from that key on).
    [[nodiscard]] bool Write(OwnSettings& own) const;

    bool operator==(const OwnPrefs&) const = default;
};

// The text of a moved key: Tavrin.ini's when it has one, else Config.ini's (through AppProfile), else
// `fallback`.
QString ReadMovedString(OwnSettings& own, const QString& own_key, const QString& fallback);
int ReadMovedInt(OwnSettings& own, const QString& own_key, int fallback);

// Copies each moved key that Config.ini has and Tavrin.ini lacks into Tavrin.ini; Config.ini is not
// touched. Returns the keys (Tavrin.ini names) that could not be written; nothing is lost then, since
// ReadMoved* still finds the Config.ini value.
QStringList MigrateMovedKeys(OwnSettings& own);

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/own_prefs.h"

#include <QtGlobal>

#include "app/app_profile.h"
#include "app/own_settings.h"
#include "app/profile_file.h"

namespace {

struct MovedKey {
    QLatin1String config_key;  // its name in Config.ini
    QLatin1String own_key;     // its name in Tavrin.ini
};

// Keys of ours that older clients read from Config.ini.
constexpr MovedKey kMoved[] = {
    {QLatin1String("Alarm_Sound"), QLatin1String("Alarm_Sound")},
    {QLatin1String("Alarm_AutoVideo"), QLatin1String("Alarm_AutoVideo")},
    {QLatin1String("Alarm_KeepDays"), QLatin1String("AlarmHistoryDays")},
    {QLatin1String("TileLabel"), QLatin1String("TileLabel")},
    {QLatin1String("TileStretch"), QLatin1String("TileStretch")},
    {QLatin1String("MapTiles_Road"), QLatin1String("MapTiles_Road")},
    {QLatin1String("MapTiles_Satellite"), QLatin1String("MapTiles_Satellite")},
};

QString ConfigKeyOf(const QString& own_key) {
    for (const MovedKey& key : kMoved)
        if (own_key.compare(key.own_key, Qt::CaseInsensitive) == 0) return key.config_key;
    return QString();
}

}  // namespace

QString ReadMovedString(OwnSettings& own, const QString& own_key, const QString& fallback) {
    const QString value = own.ReadString(own_key, QString());
    if (!value.isEmpty()) return value;
    const QString config_key = ConfigKeyOf(own_key);
    return config_key.isEmpty() ? fallback : AppProfile::ReadString(config_key, fallback);
}

int ReadMovedInt(OwnSettings& own, const QString& own_key, int fallback) {
    const std::optional<int> value = ProfileFile::ParseInt(ReadMovedString(own, own_key, QString()));
    return value ? *value : fallback;
}

QStringList MigrateMovedKeys(OwnSettings& own) {
    QStringList failed;
    for (const MovedKey& key : kMoved) {
        if (!own.ReadString(key.own_key, QString()).isEmpty()) continue;
        const QString value = AppProfile::ReadString(key.config_key, QString());
        if (value.isEmpty()) continue;
        if (!own.WriteString(key.own_key, value)) failed << key.own_key;
    }
    return failed;
}

OwnPrefs OwnPrefs::Read(OwnSettings& own) {
    OwnPrefs prefs;
    prefs.pre_alarm_s =
        qBound(0, own.ReadInt(QStringLiteral("PreAlarmSeconds"), prefs.pre_alarm_s), kMaxPreAlarm_s);
    prefs.record_on_alarm = own.ReadBool(QStringLiteral("RecordOnAlarm"), prefs.record_on_alarm);
    prefs.post_alarm_s =
        qBound(kMinPostAlarm_s, own.ReadInt(QStringLiteral("PostAlarmSeconds"), prefs.post_alarm_s),
               kMaxPostAlarm_s);
    prefs.alarm_sound = ReadMovedInt(own, QStringLiteral("Alarm_Sound"), 1) != 0;
    prefs.alarm_auto_video = ReadMovedInt(own, QStringLiteral("Alarm_AutoVideo"), 0) != 0;
    prefs.alarm_history_days = qBound(
        1, ReadMovedInt(own, QStringLiteral("AlarmHistoryDays"), prefs.alarm_history_days), kMaxHistoryDays);
    prefs.tile_label = ReadMovedInt(own, QStringLiteral("TileLabel"), 1) != 0;
    prefs.tile_stretch = ReadMovedInt(own, QStringLiteral("TileStretch"), 0) != 0;
    return prefs;
}

bool OwnPrefs::Write(OwnSettings& own) const {
    return own.WriteInt(QStringLiteral("PreAlarmSeconds"), pre_alarm_s) &&
           own.WriteBool(QStringLiteral("RecordOnAlarm"), record_on_alarm) &&
           own.WriteInt(QStringLiteral("PostAlarmSeconds"), post_alarm_s) &&
           own.WriteBool(QStringLiteral("Alarm_Sound"), alarm_sound) &&
           own.WriteBool(QStringLiteral("Alarm_AutoVideo"), alarm_auto_video) &&
           own.WriteInt(QStringLiteral("AlarmHistoryDays"), alarm_history_days) &&
           own.WriteBool(QStringLiteral("TileLabel"), tile_label) &&
           own.WriteBool(QStringLiteral("TileStretch"), tile_stretch);
}

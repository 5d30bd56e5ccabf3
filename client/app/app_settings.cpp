// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_settings.h"

#include "app/app_profile.h"
#include "app/own_prefs.h"
#include "app/own_settings.h"

#include <algorithm>

void AppSettings::Load(const QString& record_default, const QString& snapshot_default) {
    const auto read = [](const char* key, int32_t fallback) {
        return AppProfile::ReadInt(QLatin1String(key), fallback);
    };
    TextColor = read("TextColor", 16777215);
    ActiveColor = read("ActiveColor", 255);
    MainBkColor = read("MainBkColor", 1052688);
    ChildBkColor = read("ChildBkColor", 3158064);
    ShowAllDevice = read("ShowAllDevice", 0);
    ExpandDevice = read("ExpandDevice", 0);
    Event_FontSize = read("Event_FontSize", 18);
    UIPanelWidth = read("UIPanelWidth", 230);
    GPS_Offset_Auto = read("GPS_Offset_Auto", 1);
    ProvinceOffset = read("ProvinceOffset", 0);
    Ptz_Speed = read("Ptz_Speed", 255);
    Ptz_Laser = read("Ptz_Laser", 97);
    Ptz_Spot = read("Ptz_Spot", 92);
    ShowVerbose = read("ShowVerbose", 0);
    LowDelay = read("LowDelay", 40);
    RecordDuration = read("RecordDuration", kDefaultRecordDuration_s);
    SnapshotOpenPath = read("SnapshotOpenPath", 1);
    CycleDuration = read("CycleDuration", 0);
    CycleStopMode = read("CycleStopMode", CycleStopRules::kDefaultMode);
    CyclePrepare = read("CyclePrepare", 5);
    // Ours: Tavrin.ini, or Config.ini where an older client kept them.
    OwnSettings own(AppProfile::Current() ? AppProfile::Current()->programFolder() : QString());
    TileLabel = ReadMovedInt(own, QStringLiteral("TileLabel"), 1);
    TileStretch = ReadMovedInt(own, QStringLiteral("TileStretch"), 0);

    CenterServer_Address =
        AppProfile::ReadString(QStringLiteral("CenterServer_Address"), kDefaultCenterAddress);
    Playback_WebPage =
        AppProfile::ReadString(QStringLiteral("Playback_WebPage"), QStringLiteral("/playback.aspx"));
    Event_FontName = AppProfile::ReadString(QStringLiteral("Event_FontName"), QStringLiteral("Arial"));
    RecordPath = AppProfile::ReadString(QStringLiteral("RecordPath"), record_default);
    SnapshotPath = AppProfile::ReadString(QStringLiteral("SnapshotPath"), snapshot_default);
}

QStringList AppSettings::ClampToRanges() {
    struct Range {
        const char* key;
        int32_t* value;
        int32_t lo;
        int32_t hi;
    };
    constexpr int32_t kColorMax = 0xFFFFFF;
    const Range ranges[] = {
        {"TextColor", &TextColor, 0, kColorMax},
        {"ActiveColor", &ActiveColor, 0, kColorMax},
        {"MainBkColor", &MainBkColor, 0, kColorMax},
        {"ChildBkColor", &ChildBkColor, 0, kColorMax},
        {"Event_FontSize", &Event_FontSize, kMinFontSize, kMaxFontSize},
        {"UIPanelWidth", &UIPanelWidth, kMinPanelWidth, kMaxPanelWidth},
        {"ProvinceOffset", &ProvinceOffset, -kMaxProvinceOffset, kMaxProvinceOffset},
        {"Ptz_Speed", &Ptz_Speed, 0, 255},
        {"Ptz_Laser", &Ptz_Laser, 0, 255},
        {"Ptz_Spot", &Ptz_Spot, 0, 255},
        {"LowDelay", &LowDelay, kMinLowDelay, kMaxLowDelay},
        {"RecordDuration", &RecordDuration, 0, INT32_MAX},
        {"CycleDuration", &CycleDuration, 0, INT32_MAX},
        {"CycleStopMode", &CycleStopMode, 0, 7},
        {"CyclePrepare", &CyclePrepare, -1, kMaxCyclePrepare},
    };
    QStringList changed;
    for (const Range& range : ranges) {
        const int32_t read = *range.value;
        *range.value = std::clamp(read, range.lo, range.hi);
        if (*range.value != read)
            changed << QStringLiteral("%1=%2 is out of range %3..%4, using %5")
                           .arg(QLatin1String(range.key))
                           .arg(read)
                           .arg(range.lo)
                           .arg(range.hi)
                           .arg(*range.value);
    }
    return changed;
}

QColor AppSettings::Color(int32_t bgr) {
    const uint32_t value = static_cast<uint32_t>(bgr);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

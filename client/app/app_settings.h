// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings the client reads once at start-up and keeps in memory (the preference dialogs and the
// cycle-stop rules change the members; the dialogs also write the file). Colours are the stored colour values
// 0x00BBGGRR.
#include <QColor>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "app/cycle_stop.h"

struct AppSettings {
    int32_t TextColor = 16777215;
    int32_t ActiveColor = 255;
    int32_t MainBkColor = 1052688;
    int32_t ChildBkColor = 3158064;
    QString CenterServer_Address;
    QString Playback_WebPage;
    int32_t ShowAllDevice = 0;
    int32_t ExpandDevice = 0;
    int32_t Event_FontSize = 18;
    QString Event_FontName;
    // Length of a recording file before the next one starts, in seconds.
    static constexpr int32_t kDefaultRecordDuration_s = 900;

    int32_t UIPanelWidth = 230;
    int32_t GPS_Offset_Auto = 1;
    int32_t ProvinceOffset = 0;
    int32_t Ptz_Speed = 255;
    int32_t Ptz_Laser = 97;
    int32_t Ptz_Spot = 92;
    int32_t ShowVerbose = 0;
    int32_t LowDelay = 40;
    int32_t RecordDuration = kDefaultRecordDuration_s;
    QString RecordPath;
    QString SnapshotPath;
    int32_t SnapshotOpenPath = 1;
    int32_t CycleDuration = 0;
    int32_t CycleStopMode = CycleStopRules::kDefaultMode;
    int32_t CyclePrepare = 5;
    // Keys of this client's own, beside the documented ones: the label over each playing tile (0 hides
    // it) and pictures stretched over their tiles (0 keeps their aspect, letterboxed).
    int32_t TileLabel = 1;
    int32_t TileStretch = 0;

    // Ranges of ClampToRanges where no other unit owns them.
    static constexpr int32_t kMinLowDelay = 1;  // tenths of a second, the Buffer Setting's slider
    static constexpr int32_t kMaxLowDelay = 40;
    static constexpr int32_t kMinFontSize = 6;
    static constexpr int32_t kMaxFontSize = 200;
    static constexpr int32_t kMinPanelWidth = 120;  // the 640-pixel minimum window keeps a grid beside it
    static constexpr int32_t kMaxPanelWidth = 400;
    static constexpr int32_t kMaxProvinceOffset = 100000;
    static constexpr int32_t kMaxCyclePrepare = 3600;

    // The default center-server host (where velq-sim listens by default).
    static inline const QString kDefaultCenterAddress = QStringLiteral("127.0.0.1");

    // Reads every member through AppProfile: the integers in table order, then the texts; the folder
    // defaults are the given ones (they end with '/').
    void Load(const QString& record_default, const QString& snapshot_default);

    // Brings every integer that has a bounded meaning into the range the client can use (the range its
    // preference dialog allows; for keys without a dialog, the range the window and the commands work
    // in). Returns one line per value changed: "<key>=<read> is out of range <lo>..<hi>, using <value>".
    // On/off keys are left as read: every value means one or the other.
    QStringList ClampToRanges();

    // A stored colour value 0x00BBGGRR as a QColor.
    static QColor Color(int32_t bgr);
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings the client reads once at start-up and keeps in memory (the preference dialogs and the
// cycling rules change the members; the dialogs also write the file). Colours are the stored colour values
// 0x00BBGGRR.
#include <QColor>
#include <QString>
#include <cstdint>

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
    // CycleStopMode bits: what stops page cycling when clicked.
    static constexpr int32_t kStopCycleOnTree = 1;    // the device list
    static constexpr int32_t kStopCycleOnWindow = 2;  // a display window
    static constexpr int32_t kStopCycleAnywhere = 4;  // anywhere else in the main window

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
    int32_t CycleStopMode = kStopCycleOnTree | kStopCycleOnWindow;
    int32_t CyclePrepare = 5;

    // Cycling stops for the rest of the run (in memory; the stored setting stays).
    void StopCycling() { CycleDuration = 0; }

    // The default center-server host (where velq-sim listens by default).
    static inline const QString kDefaultCenterAddress = QStringLiteral("127.0.0.1");

    // Reads every member through AppProfile: the integers in table order, then the texts; the folder
    // defaults are the given ones (they end with '/').
    void Load(const QString& record_default, const QString& snapshot_default);

    // A stored colour value 0x00BBGGRR as a QColor.
    static QColor Color(int32_t bgr);
};

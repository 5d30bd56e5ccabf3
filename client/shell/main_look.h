// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the main window looks: its caption, its first size and place, and the settings' look on its
// children. UI thread only.
#include <QString>

class AlarmPanel;
class DeviceStatusList;
class LogList;
class QMainWindow;
class QWidget;
class StatusLine;
struct AppSettings;

// The translated caption; with the count of the last device list: " - N Online Devices" or
// " - No Device Active" after it.
QString MainCaption();
QString MainCaption(int online_count);

// The minimum size, and a client area of 1024 x 768 (the one the layout is made for) under the menu bar,
// centred on the primary screen.
void PlaceMainWindow(QMainWindow& window);
// `central` filled with MainBkColor.
void PaintBackground(QWidget& central, const AppSettings& settings);

// The skin's banner and logo and the event font (Event_FontName, Event_FontSize) on the status line,
// TextColor over ChildBkColor on the status line, the vehicle list, the event log and the alarm list, and
// the log's scroll width.
struct LookedAt {
    StatusLine& status_line;
    DeviceStatusList& vehicle_list;
    LogList& log;
    AlarmPanel& alarms;
};

// `skin_folder` holds "top-bg.bmp" and "logo.bmp" (ends with '/'; empty: no images).
void ApplyLook(const AppSettings& settings, const QString& skin_folder, const LookedAt& children);

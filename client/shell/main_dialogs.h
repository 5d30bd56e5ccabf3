// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's modeless dialogs, made hidden once at start: the device configuration and device
// dialogs and the preference pages (cycling, buffer, recording, snapshots). Each gets the settings it
// loads from and saves into. UI thread only; the dialogs are children of `parent`.
#include <QList>
#include <functional>

#include "corvel/corvel.h"

class AppSettings;
class CCycleDlg;
class CDevConfigDlg;
class CDevInfoDlg;
class COptionDlg;
class CRecordDlg;
class CSnapshotDlg;
class DevTree;
class PageTab;
class QTreeWidgetItem;
class SettingsStore;
class QWidget;

class MainDialogs {
  public:
    // `tree` outlives the dialogs; `grid` may go first (at shutdown). Saving the cycle preferences
    // restarts the grid's countdown (0 stops it), saving the buffer time applies it to every channel the
    // grid shows.
    // `store` (outliving the dialogs) is what the preference pages save through.
    MainDialogs(AppSettings& settings, SettingsStore& store, AppSession* session, PageTab* grid,
                const DevTree& tree, QWidget* parent);

    // Add Device, Cycle Page, Buffer/Record/Snapshot Setting (MainMenuBar's commands); false for another.
    bool Open(int command);
    // The Config command (32775) for a tree node: a channel node opens the device configuration dialog
    // for its channel, a device node the device dialog for its device; no node does nothing.
    void ConfigCommand(QTreeWidgetItem* node);
    // Logout: the device dialogs close.
    void CloseDeviceDialogs();

    CDevConfigDlg* devConfig() const { return dev_config_; }
    CDevInfoDlg* devInfo() const { return dev_info_; }
    CCycleDlg* cycle() const { return cycle_; }
    COptionDlg* option() const { return option_; }
    CRecordDlg* record() const { return record_; }
    CSnapshotDlg* snapshot() const { return snapshot_; }

  private:
    void OpenDevice(AppDevice* device);

    const DevTree& tree_;
    CDevConfigDlg* dev_config_;
    CDevInfoDlg* dev_info_;
    CCycleDlg* cycle_;
    COptionDlg* option_;
    CRecordDlg* record_;
    CSnapshotDlg* snapshot_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's keyboard: the keys of the shortcut table bound to what they do, the camera held from
// the keyboard (PtzKeys), and Help -> Shortcuts. What a key does goes through the functions it is given,
// so the window's parts stay where they are. UI thread only.
#include <QObject>
#include <QPointer>
#include <functional>

#include "shell/ptz_keys.h"
#include "shell/shortcuts_dlg.h"

class AlarmPanel;
class AppSettings;
class ChannelActions;
class FleetFinder;
class PageTab;
class QMainWindow;
class QTreeWidgetItem;

class KeyboardDesk : public QObject {
    Q_OBJECT
  public:
    struct Commands {
        std::function<void(int)> pick_tile;  // 0-based cell of the current page
        std::function<void(int)> turn_page;  // -1 previous, +1 next
        std::function<void(int)> channel;    // a channel command (kCommandPlay, Record, Snapshot)
        std::function<void()> acknowledge;   // the alarm list's selection
        std::function<void()> find_vehicle;
        PtzKeys::Target ptz_target;
        PtzKeys::Settings ptz_settings;
        PtzKeys::Send ptz_send;
    };
    // Binds the keys on `window` and adds a Help menu to its bar; a child of the window.
    KeyboardDesk(QMainWindow& window, Commands commands);

    // The main window's parts behind the keys (all outliving the desk): the grid's tiles and pages, the
    // channel commands on the tree's selection (Record and Snapshot select the active tile's channel
    // first: they act on the tile the operator looks at), the alarm list's Acknowledge, the finder, and
    // the camera of the active tile.
    static Commands ForMainWindow(PageTab& grid, ChannelActions& actions,
                                  std::function<void(QTreeWidgetItem*)> select_node, AlarmPanel& alarms,
                                  FleetFinder& finder, const AppSettings& settings);

    void ShowShortcuts();
    ShortcutsDlg* shortcutsDialog() const { return shortcuts_; }
    PtzKeys& ptz() { return *ptz_; }

  private:
    QMainWindow& window_;
    Commands commands_;
    PtzKeys* ptz_;
    QPointer<ShortcutsDlg> shortcuts_;
};

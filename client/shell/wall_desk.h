// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The walls of the control room: which screen shows a wall, sending the main grid's current page to a
// screen, the walls of the command line, and the screens that come and go. Screens are counted from 1 in
// the order Qt lists them. The screens that show a wall are kept in Tavrin.ini ("WallScreens", e.g.
// "2,3") and each wall's grid in its own page file, so the walls come back at the next start; a wall
// whose screen is gone (at the start or while running) gives its channels to the main grid, and comes
// back when a screen of that number appears. UI thread only.
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <set>

#include "shell/alarm_screen.h"
#include "shell/page_schedule.h"

class AppSettings;
class DevTree;
class OwnSettings;
class PageTab;
class QMenu;
class QMenuBar;
class QScreen;
class SessionController;
class SettingsStore;
class SharedChannels;
class WallWindow;

class WallDesk : public QObject {
    Q_OBJECT

  public:
    static inline const QString kScreensKey = QStringLiteral("WallScreens");

    struct Parts {
        DevTree& tree;
        AppSettings& settings;
        const SettingsStore& store;
        SessionController& session;
        SharedChannels& channels;
        PageTab& main_grid;
        OwnSettings& own;
        QString program_folder;  // ends with '/'
        std::function<void(const QString&)> log;
    };
    // All parts outlive the desk. The walls kept in Tavrin.ini are shown at once on their screens.
    explicit WallDesk(Parts parts, QObject* parent = nullptr);
    // The walls close (their channels first).
    ~WallDesk() override;

    // The main grid's current page goes to `screen` (1-based): a wall there shows it (made if needed) and
    // keeps it. False for a screen that does not exist or shows the main window.
    bool SendCurrentPage(int screen);
    // --wall N:FILE: `file` plays on a wall on screen N once the devices are listed. False (nothing
    // shown) when there is no such screen.
    bool ShowPageFile(int screen, const QString& file);
    // The wall on `screen` goes; it is no longer kept.
    void CloseWall(int screen);

    // Event 128, the one-second tick, the logout (before the library's).
    void ListBegins(int devices);
    void Tick();
    void LoggedOut();
    // Closes every wall now (the main window's shutdown, before its grid goes).
    void CloseAll();

    // The wall on `screen`, or none.
    WallWindow* WallOn(int screen) const;
    // The grid an alarm's video opens on: the chosen screen's wall (made and kept if it has none), or
    // null for the main grid (the main window chosen, or the chosen screen gone or showing the main
    // window).
    PageTab* AlarmGrid();
    AlarmScreen& alarmScreen() { return alarm_screen_; }
    // Fills `menu` with "Send Page to Screen N" for each screen but the main window's, "Close Wall on
    // Screen N" for each wall, and the checkable alarm video choices: the main window and each other
    // screen (one checked).
    void FillMenu(QMenu& menu);
    // A "Screens" menu on the bar, filled each time it opens.
    void AddMenu(QMenuBar& bar);

    // The folder of a wall's own page file.
    QString FolderOf(int screen) const;

  private:
    WallWindow* MakeWall(int screen);
    // A checkable menu entry sending the alarm video to `screen` (0 = the main window).
    void AddAlarmChoice(QMenu& menu, int screen, const QString& text);
    // Walls to the screens of their number, a wall without its screen to the main grid.
    void Arrange();
    void KeepScreens();
    // The wall's page file into the main grid (now when listed, else once listed).
    void ToMainGrid(const QString& file);
    QScreen* MainScreen() const;

    Parts parts_;
    std::map<int, WallWindow*> walls_;  // by screen number
    std::set<int> kept_;                // screens the workspace gives a wall
    AlarmScreen alarm_screen_;
    PageSchedule fallback_schedule_;
    std::vector<QString> fallback_files_;
    bool listed_ = false;
};

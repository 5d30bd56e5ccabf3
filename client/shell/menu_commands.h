// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the menu bar's entries do: the dialogs' commands, Login, Load and Save Page, Recordings..., the
// grid sizes (the Style menu's check follows the grid's size), Full Screen and Exit. UI thread only; the
// main window makes it after its children. The grid and the login dialog may be destroyed first (at
// shutdown, even while a file dialog of Load Page is open): their entries then do nothing.
#include <QObject>
#include <QPointer>
#include <functional>

#include "dialogs/app_login_dlg.h"
#include "grid/page_tab.h"

class MainDialogs;
class MainMenuBar;
class PageKeeper;
class QWidget;

class MenuCommands : public QObject {
    Q_OBJECT
  public:
    struct Targets {
        MainMenuBar& menu;
        MainDialogs& dialogs;
        PageKeeper& pages;
        PageTab* grid;
        CAppLoginDlg* login;
        QWidget& window;  // the file dialogs' parent
    };
    struct WindowSide {
        std::function<void()> toggle_full_screen;
        std::function<void()> exit;  // may ask first
    };
    MenuCommands(const Targets& targets, WindowSide window_side, QObject* parent);

    // User -> Recordings... runs `open_recordings`; unset, the entry is disabled.
    void SetRecordingsCommand(std::function<void()> open_recordings);
    // The Style menu's check from the grid's size now.
    void CheckGridSize();

  private:
    void Run(int command);

    MainMenuBar& menu_;
    MainDialogs& dialogs_;
    PageKeeper& pages_;
    QPointer<PageTab> grid_;
    QPointer<CAppLoginDlg> login_;
    QWidget& window_;
    WindowSide window_side_;
    std::function<void()> open_recordings_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The session's signals to the main window's children: the login dialog's caption, the fleet presenter
// (which updates the tree, the vehicle list and the log) and from it the status line, the map, the alarm
// desk and the page files; the Playback panel's vehicle list, the device configuration dialog's replies,
// the grid's transfer states, and problems to the event log. UI thread only.
#include <QObject>
#include <QString>
#include <functional>

class AlarmDesk;
class CAppLoginDlg;
class CDevConfigDlg;
class CMapDlg;
class CSearchDlg;
class DevTree;
class FleetPresenter;
class PageKeeper;
class PageTab;
class SessionController;
class StatusLine;

struct SessionReceivers {
    CAppLoginDlg* login;
    FleetPresenter& fleet;
    StatusLine& status_line;
    CMapDlg* map;
    AlarmDesk& alarms;
    PageKeeper& pages;
    const DevTree& tree;
    CSearchDlg* search;
    CDevConfigDlg& dev_config;
    PageTab* grid;
    std::function<void(const QString&)> log;
    // Event 128: the window's caption counts the online devices.
    std::function<void(int)> list_begins;
};

// Connects them in the order the receivers rely on (the login dialog's caption before the presenter's
// status text). Lambdas run in `context`, which outlives the references above; the login dialog, the
// search panel, the map view and the grid may be destroyed earlier (at shutdown), and are then left alone.
void ConnectSession(SessionController& session, const SessionReceivers& to, QObject* context);

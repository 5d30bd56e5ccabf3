// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's parts as its tests reach them: found among the window's children by type, the way Qt
// finds a child. The window has one of each (a wall is a window of its own, with no parent). Null when
// the window has none: before the session was made, and after shutdown for the grid, the login dialog,
// the map view and the search panel. The map view is found while it is docked; floating, it is a window
// of its own.
#include <QWidget>

#include "dialogs/app_login_dlg.h"
#include "dialogs/search_dlg.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_presenter.h"
#include "fleet/log_list.h"
#include "grid/channel_actions.h"
#include "grid/page_tab.h"
#include "map/map_dlg.h"
#include "shell/left_panels.h"
#include "shell/panel_selector.h"
#include "shell/status_line.h"

inline DevTree* TreeOf(const QWidget& window) {
    return window.findChild<DevTree*>();
}
inline LogList* LogOf(const QWidget& window) {
    return window.findChild<LogList*>();
}
inline DeviceStatusList* VehicleListOf(const QWidget& window) {
    return window.findChild<DeviceStatusList*>();
}
inline StatusLine* StatusLineOf(const QWidget& window) {
    return window.findChild<StatusLine*>();
}
inline FleetPresenter* FleetOf(const QWidget& window) {
    return window.findChild<FleetPresenter*>();
}
inline PageTab* GridOf(const QWidget& window) {
    return window.findChild<PageTab*>();
}
inline CMapDlg* MapViewOf(const QWidget& window) {
    return window.findChild<CMapDlg*>();
}
inline CSearchDlg* SearchPanelOf(const QWidget& window) {
    return window.findChild<CSearchDlg*>();
}
inline CAppLoginDlg* LoginDialogOf(const QWidget& window) {
    return window.findChild<CAppLoginDlg*>();
}
// The channel commands on the tree's selection; only while the window has a grid (they act on it).
inline ChannelActions& ActionsOf(const QWidget& window) {
    return *window.findChild<ChannelActions*>();
}
// The selector of a panel of the left column (CAppMainDlg::Panel).
inline PanelSelector* SelectorOf(const QWidget& window, int panel) {
    return window.findChild<LeftPanels*>()->selector(panel);
}

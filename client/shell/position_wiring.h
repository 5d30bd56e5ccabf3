// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The position history's place in the main window: every position the fleet presenter reports (of every
// listed vehicle) goes to the history, its problems to the event log, and the map view's replay button
// opens the route replay window (made on first use, a child of `window`) on the history's file. UI thread
// only; `history`, `fleet` and `window` outlive the connections, the map view may go first.
#include <QString>
#include <functional>

class CMapDlg;
class FleetPresenter;
class PositionHistory;
class QWidget;

void ConnectPositions(FleetPresenter& fleet, PositionHistory& history, CMapDlg* map, QWidget* window,
                      std::function<void(const QString&)> log);

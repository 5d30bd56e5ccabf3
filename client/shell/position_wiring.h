// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The position history's place in the main window: every position the fleet presenter reports (of every
// listed vehicle) goes to the history, its problems to the event log, and the map view's replay button
// opens the route replay window (made on first use, a child of `window`) on the history's file. UI thread
// only; `history`, `fleet` and `window` outlive the connections, the map view may go first.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

class CMapDlg;
class FleetPresenter;
class PositionHistory;
class QWidget;

void ConnectPositions(FleetPresenter& fleet, PositionHistory& history, CMapDlg* map, QWidget* window,
                      std::function<void(const QString&)> log);

// The evidence export's track: the points the history file at `history_path` holds for the vehicle whose
// recordings are named `vehicle_label` (the label the tree shows; `label_of` gives a device id's), with
// from_s <= time <= to_s, as a GPX document. A label no tracked device has is taken as a device id (older
// recordings were named by it). Empty when no point is known for that range or the file cannot be read.
// Reads the file through a connection of its own: any thread, though the player asks on the UI thread.
QByteArray EvidenceTrack(const QString& history_path, const std::function<QString(const QString&)>& label_of,
                         const QString& vehicle_label, int64_t from_s, int64_t to_s);

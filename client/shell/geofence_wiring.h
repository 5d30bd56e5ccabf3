// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The geofences between the fleet and the alarm desk: every position the fleet presenter reports is
// checked against the zones, and each crossing or speeding change becomes a zone alarm of that vehicle.
// UI thread only; `context` outlives the three.
class AlarmDesk;
class CMapDlg;
class FleetPresenter;
class GeofenceKeeper;
class QMenuBar;
class QObject;
class QWidget;

void ConnectGeofences(FleetPresenter& fleet, GeofenceKeeper& zones, AlarmDesk& alarms, QObject* context);

// The zones on the map page and back: drawn on every load of the page and after each change; a shape
// the operator drew is named in a dialog (child of `window`) and kept. The menu bar gets "Geofences",
// which lists them for renaming and deleting. `map` may be destroyed first (at shutdown).
void ConnectGeofenceMap(CMapDlg* map, GeofenceKeeper& zones, QMenuBar& menu, QWidget* window);

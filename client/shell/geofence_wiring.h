// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The geofences between the fleet and the alarm desk: every position the fleet presenter reports is
// checked against the zones, and each crossing or speeding change becomes a zone alarm of that vehicle.
// UI thread only; `context` outlives the three.
class AlarmDesk;
class FleetPresenter;
class GeofenceKeeper;
class QObject;

void ConnectGeofences(FleetPresenter& fleet, GeofenceKeeper& zones, AlarmDesk& alarms, QObject* context);

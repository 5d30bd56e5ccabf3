// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/geofence_wiring.h"

#include <QDateTime>

#include "fleet/alarm_desk.h"
#include "fleet/fleet_presenter.h"
#include "geofence/geofence_keeper.h"

void ConnectGeofences(FleetPresenter& fleet, GeofenceKeeper& zones, AlarmDesk& alarms, QObject* context) {
    QObject::connect(&fleet, &FleetPresenter::positionReported, context,
                     [&zones](int row, const QByteArray& sentence) { zones.Report(row, sentence); });
    QObject::connect(&zones, &GeofenceKeeper::crossed, context,
                     [&alarms](int row, GeofenceEvent::Kind kind, const QString& zone, double) {
                         const int64_t now_s = QDateTime::currentSecsSinceEpoch();
                         switch (kind) {
                             case GeofenceEvent::Kind::kEntered:
                                 alarms.OnZoneAlarm(row, kZoneEnteredWord, zone, true, now_s);
                                 break;
                             case GeofenceEvent::Kind::kLeft:
                                 alarms.OnZoneAlarm(row, kZoneLeftWord, zone, true, now_s);
                                 break;
                             case GeofenceEvent::Kind::kSpeeding:
                                 alarms.OnZoneAlarm(row, kZoneSpeedingWord, zone, true, now_s);
                                 break;
                             case GeofenceEvent::Kind::kSpeedingEnded:
                                 alarms.OnZoneAlarm(row, kZoneSpeedingWord, zone, false, now_s);
                                 break;
                         }
                     });
}

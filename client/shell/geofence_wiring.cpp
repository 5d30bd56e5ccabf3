// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/geofence_wiring.h"

#include <QDateTime>
#include <QMenuBar>
#include <QPointer>

#include "app/app_profile.h"

#include "fleet/alarm_desk.h"
#include "fleet/fleet_presenter.h"
#include "geofence/geofence_dlg.h"
#include "geofence/geofence_keeper.h"
#include "map/map_dlg.h"

namespace {

QString Translate(const QString& text) {
    return AppProfile::Translate(text);
}

MapZone ToMap(const GeoZone& zone) {
    MapZone shown;
    shown.name = zone.name;
    if (zone.shape == GeoZone::Shape::kCircle) {
        shown.radius_m = zone.radius_m;
        shown.points.append({zone.centre.lat_deg, zone.centre.lng_deg});
    } else {
        for (const GeoPoint& p : zone.ring) shown.points.append({p.lat_deg, p.lng_deg});
    }
    return shown;
}

GeoZone FromMap(const MapZone& drawn) {
    GeoZone zone;
    if (drawn.radius_m > 0 && !drawn.points.isEmpty()) {
        zone.shape = GeoZone::Shape::kCircle;
        zone.centre = {drawn.points[0].lat_deg, drawn.points[0].lng_deg};
        zone.radius_m = drawn.radius_m;
    } else {
        zone.shape = GeoZone::Shape::kPolygon;
        for (const MapZone::Point& p : drawn.points) zone.ring.push_back({p.lat_deg, p.lng_deg});
    }
    return zone;
}

void ShowOnMap(CMapDlg* map, const GeofenceKeeper& zones) {
    QList<MapZone> shown;
    for (const GeoZone& zone : zones.zones()) shown.append(ToMap(zone));
    map->ShowZones(shown);
}

}  // namespace

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

void ConnectGeofenceMap(CMapDlg* map, GeofenceKeeper& zones, QMenuBar& menu, QWidget* window) {
    if (map) {
        ShowOnMap(map, zones);
        QObject::connect(&zones, &GeofenceKeeper::zonesChanged, map,
                         [map, &zones] { ShowOnMap(map, zones); });
        QObject::connect(map, &CMapDlg::zoneDrawn, window, [&zones, window](const MapZone& drawn) {
            // A shape too large or too small for a zone is dropped here, before the operator names it.
            const GeoZone zone = FromMap(drawn);
            GeoZone probe = zone;
            probe.name = QStringLiteral("-");
            if (!ZoneProblem(probe).isEmpty()) return;
            auto* dialog = new ZoneNameDlg(zone, zones, Translate, window);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->open();
        });
    }
    QPointer<GeofenceListDlg> list;
    QAction* action = menu.addAction(Translate(QStringLiteral("Geofences")));
    QObject::connect(action, &QAction::triggered, window, [list, &zones, window]() mutable {
        if (!list) list = new GeofenceListDlg(zones, Translate, window);
        list->show();
        list->raise();
        list->activateWindow();
    });
}

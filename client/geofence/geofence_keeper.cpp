// SPDX-License-Identifier: GPL-3.0-or-later
#include "geofence/geofence_keeper.h"

#include <QDateTime>
#include <QFile>

#include "corvel/corvel.h"

GeofenceKeeper::GeofenceKeeper(const QString& path, std::function<QString(const QString&)> translate,
                               QObject* parent)
    : QObject(parent), path_(path), translate_(std::move(translate)) {
    if (path_.isEmpty()) return;
    const GeofenceFileResult read = GeofenceFile::Read(path_);
    if (!read.ok) {
        problem_ = translate_(QStringLiteral("Geofences %1 were not read: %2")).arg(path_, read.error);
        unread_ = true;
        return;
    }
    checker_.SetZones(read.zones);
}

bool GeofenceKeeper::Store(QList<GeoZone> zones) {
    checker_.SetZones(zones);
    emit zonesChanged();
    if (path_.isEmpty()) return true;
    // The unreadable file is the operator's: kept beside the new one rather than overwritten.
    if (unread_ && QFile::exists(path_))
        QFile::rename(path_, path_ + QStringLiteral(".bad-") +
                                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    unread_ = false;
    QString error;
    if (GeofenceFile::Write(path_, zones, &error)) {
        problem_.clear();
        return true;
    }
    problem_ = translate_(QStringLiteral("Geofences %1 could not be saved: %2")).arg(path_, error);
    emit problemReported(problem_);
    return true;
}

bool GeofenceKeeper::Add(const GeoZone& zone) {
    if (!ZoneProblem(zone).isEmpty() || zones().size() >= GeofenceFile::kMaxZones) return false;
    QList<GeoZone> zones = this->zones();
    zones.append(zone);
    return Store(zones);
}

bool GeofenceKeeper::Rename(int index, const QString& name) {
    if (index < 0 || index >= zones().size()) return false;
    QList<GeoZone> zones = this->zones();
    zones[index].name = name;
    if (!ZoneProblem(zones[index]).isEmpty()) return false;
    return Store(zones);
}

bool GeofenceKeeper::SetLimit(int index, std::optional<double> limit_kmh) {
    if (index < 0 || index >= zones().size()) return false;
    QList<GeoZone> zones = this->zones();
    zones[index].limit_kmh = limit_kmh;
    if (!ZoneProblem(zones[index]).isEmpty()) return false;
    return Store(zones);
}

bool GeofenceKeeper::Remove(int index) {
    if (index < 0 || index >= zones().size()) return false;
    QList<GeoZone> zones = this->zones();
    zones.removeAt(index);
    return Store(zones);
}

void GeofenceKeeper::Report(int row, const QByteArray& sentence) {
    double lat = 0, lng = 0, speed_kmh = 0;
    if (!VelqApp_GPRMC(sentence.constData(), &lat, &lng, &speed_kmh, nullptr)) return;
    ReportPosition(row, lat, lng, speed_kmh);
}

void GeofenceKeeper::ReportPosition(int row, double lat_deg, double lng_deg, double speed_kmh) {
    if (zones().isEmpty()) return;
    for (const GeofenceEvent& event : checker_.Check(row, lat_deg, lng_deg, speed_kmh))
        emit crossed(row, event.kind, zones()[event.zone].name, event.speed_kmh);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "geofence/geofence_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

GeofenceFileResult Refuse(const QString& why) {
    GeofenceFileResult result;
    result.error = why;
    return result;
}

bool ReadPoint(const QJsonValue& value, GeoPoint* point) {
    const QJsonArray pair = value.toArray();
    // A third number (altitude) is allowed by GeoJSON and ignored.
    if (!value.isArray() || pair.size() < 2 || pair.size() > 3 || !pair[0].isDouble() || !pair[1].isDouble())
        return false;
    point->lng_deg = pair[0].toDouble();
    point->lat_deg = pair[1].toDouble();
    return true;
}

QJsonArray PointJson(const GeoPoint& point) {
    return QJsonArray{point.lng_deg, point.lat_deg};
}

// Empty when `feature` became `zone`.
QString ReadFeature(const QJsonObject& feature, GeoZone* zone) {
    const QJsonObject geometry = feature.value(QLatin1String("geometry")).toObject();
    const QJsonObject properties = feature.value(QLatin1String("properties")).toObject();
    const QString type = geometry.value(QLatin1String("type")).toString();
    const QJsonValue name = properties.value(QLatin1String("name"));
    if (!name.isString()) return QStringLiteral("a zone has no name");
    zone->name = name.toString().left(GeoZone::kMaxNameChars + 1);
    const QJsonValue limit = properties.value(QLatin1String("speed_limit_kmh"));
    if (limit.isDouble())
        zone->limit_kmh = limit.toDouble();
    else if (!limit.isUndefined() && !limit.isNull())
        return QStringLiteral("zone %1 has a speed limit that is no number").arg(zone->name);
    if (type == QLatin1String("Point")) {
        zone->shape = GeoZone::Shape::kCircle;
        const QJsonValue radius = properties.value(QLatin1String("radius_m"));
        if (!ReadPoint(geometry.value(QLatin1String("coordinates")), &zone->centre) || !radius.isDouble())
            return QStringLiteral("zone %1 is no circle (a point with radius_m)").arg(zone->name);
        zone->radius_m = radius.toDouble();
    } else if (type == QLatin1String("Polygon")) {
        zone->shape = GeoZone::Shape::kPolygon;
        const QJsonArray rings = geometry.value(QLatin1String("coordinates")).toArray();
        if (rings.size() != 1) return QStringLiteral("zone %1 needs exactly one ring").arg(zone->name);
        const QJsonArray ring = rings[0].toArray();
        if (ring.size() > GeoZone::kMaxVertices + 1)
            return QStringLiteral("zone %1 has too many corners").arg(zone->name);
        for (const QJsonValue& value : ring) {
            GeoPoint point;
            if (!ReadPoint(value, &point))
                return QStringLiteral("zone %1 has a corner that is no position").arg(zone->name);
            zone->ring.push_back(point);
        }
        if (zone->ring.size() >= 2 && zone->ring.front() == zone->ring.back()) zone->ring.pop_back();
    } else {
        return QStringLiteral("a feature is neither a circle nor a polygon");
    }
    return ZoneProblem(*zone);
}

}  // namespace

GeofenceFileResult GeofenceFile::Read(const QString& path) {
    QFile file(path);
    if (!file.exists()) {
        GeofenceFileResult none;
        none.ok = true;
        return none;
    }
    if (!file.open(QIODevice::ReadOnly)) return Refuse(file.errorString());
    // The size is checked on what is read, not on what the file says, so a growing file cannot slip by.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) return Refuse(QStringLiteral("the file is too large"));
    return Parse(bytes);
}

GeofenceFileResult GeofenceFile::Parse(const QByteArray& bytes) {
    if (bytes.size() > kMaxFileBytes) return Refuse(QStringLiteral("the file is too large"));
    QJsonParseError parse_error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse_error);
    if (document.isNull()) return Refuse(QStringLiteral("not JSON (%1)").arg(parse_error.errorString()));
    const QJsonObject root = document.object();
    if (root.value(QLatin1String("type")).toString() != QLatin1String("FeatureCollection") ||
        !root.value(QLatin1String("features")).isArray())
        return Refuse(QStringLiteral("not a GeoJSON feature collection"));
    const QJsonArray features = root.value(QLatin1String("features")).toArray();
    if (features.size() > kMaxZones) return Refuse(QStringLiteral("more than %1 zones").arg(kMaxZones));
    GeofenceFileResult result;
    for (const QJsonValue& value : features) {
        GeoZone zone;
        const QString problem = value.isObject() ? ReadFeature(value.toObject(), &zone)
                                                 : QStringLiteral("a feature is no object");
        if (!problem.isEmpty()) return Refuse(problem);
        result.zones.append(zone);
    }
    result.ok = true;
    return result;
}

QByteArray GeofenceFile::Serialize(const QList<GeoZone>& zones) {
    QJsonArray features;
    for (const GeoZone& zone : zones) {
        QJsonObject properties{{QStringLiteral("name"), zone.name}};
        if (zone.limit_kmh) properties.insert(QStringLiteral("speed_limit_kmh"), *zone.limit_kmh);
        QJsonObject geometry;
        if (zone.shape == GeoZone::Shape::kCircle) {
            geometry = {{QStringLiteral("type"), QStringLiteral("Point")},
                        {QStringLiteral("coordinates"), PointJson(zone.centre)}};
            properties.insert(QStringLiteral("radius_m"), zone.radius_m);
        } else {
            QJsonArray ring;
            for (const GeoPoint& point : zone.ring) ring.append(PointJson(point));
            if (!zone.ring.empty()) ring.append(PointJson(zone.ring.front()));
            geometry = {{QStringLiteral("type"), QStringLiteral("Polygon")},
                        {QStringLiteral("coordinates"), QJsonArray{ring}}};
        }
        features.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("Feature")},
                                    {QStringLiteral("geometry"), geometry},
                                    {QStringLiteral("properties"), properties}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                                     {QStringLiteral("features"), features}})
        .toJson(QJsonDocument::Indented);
}

bool GeofenceFile::Write(const QString& path, const QList<GeoZone>& zones, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = Serialize(zones);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    if (error) *error = file.errorString();
    return false;
}

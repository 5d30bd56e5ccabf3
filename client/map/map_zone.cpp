// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/map_zone.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

bool ValidPlace(double lat_deg, double lng_deg) {
    return std::isfinite(lat_deg) && std::isfinite(lng_deg) && std::abs(lat_deg) <= 90 &&
           std::abs(lng_deg) <= 180;
}

}  // namespace

std::optional<MapZone> MapZone::FromPage(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.size() != 2 || !object.value(QLatin1String("photo")).isBool())
        return std::nullopt;
    MapZone zone;
    zone.on_photo_map = object.value(QLatin1String("photo")).toBool();
    if (object.contains(QLatin1String("circle"))) {
        const QJsonObject circle = object.value(QLatin1String("circle")).toObject();
        const QJsonValue lat = circle.value(QLatin1String("lat")), lng = circle.value(QLatin1String("lng")),
                         radius = circle.value(QLatin1String("radius_m"));
        if (circle.size() != 3 || !lat.isDouble() || !lng.isDouble() || !radius.isDouble())
            return std::nullopt;
        if (!ValidPlace(lat.toDouble(), lng.toDouble()) || !(radius.toDouble() > 0) ||
            !(radius.toDouble() <= kMaxRadiusM))
            return std::nullopt;
        zone.radius_m = radius.toDouble();
        zone.points.append({lat.toDouble(), lng.toDouble()});
        return zone;
    }
    const QJsonArray polygon = object.value(QLatin1String("polygon")).toArray();
    if (polygon.size() < 3 || polygon.size() > kMaxCorners) return std::nullopt;
    for (const QJsonValue& corner : polygon) {
        const QJsonArray pair = corner.toArray();
        if (pair.size() != 2 || !pair[0].isDouble() || !pair[1].isDouble() ||
            !ValidPlace(pair[0].toDouble(), pair[1].toDouble()))
            return std::nullopt;
        zone.points.append({pair[0].toDouble(), pair[1].toDouble()});
    }
    return zone;
}

QByteArray MapZone::PageList(const QList<Shown>& zones) {
    QJsonArray list;
    for (const Shown& shown : zones) {
        QJsonArray points;
        for (const Point& p : shown.zone->points) points.append(QJsonArray{p.lat_deg, p.lng_deg});
        list.append(
            QJsonObject{{QStringLiteral("name"), shown.zone->name},
                        {QStringLiteral("radius_m"), shown.zone->radius_m},
                        {QStringLiteral("points"), points},
                        {QStringLiteral("offset"), QJsonArray{shown.offset_lat_deg, shown.offset_lng_deg}}});
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

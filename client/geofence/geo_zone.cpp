// SPDX-License-Identifier: GPL-3.0-or-later
#include "geofence/geo_zone.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxSpanDeg = 3;

bool ValidPoint(const GeoPoint& p) {
    return std::isfinite(p.lat_deg) && std::isfinite(p.lng_deg) && std::abs(p.lat_deg) <= 90 &&
           std::abs(p.lng_deg) <= 180;
}

}  // namespace

QString ZoneProblem(const GeoZone& zone) {
    if (zone.name.trimmed().isEmpty()) return QStringLiteral("a zone has no name");
    if (zone.name.size() > GeoZone::kMaxNameChars) return QStringLiteral("a zone's name is too long");
    if (zone.limit_kmh && !(*zone.limit_kmh > 0 && *zone.limit_kmh <= GeoZone::kMaxLimitKmh))
        return QStringLiteral("zone %1 has a speed limit out of range").arg(zone.name);
    if (zone.shape == GeoZone::Shape::kCircle) {
        if (!ValidPoint(zone.centre))
            return QStringLiteral("zone %1 has a centre out of range").arg(zone.name);
        // Polar caps make the bounding box meaningless; no fleet drives there.
        if (std::abs(zone.centre.lat_deg) > 85)
            return QStringLiteral("zone %1 lies too near a pole").arg(zone.name);
        if (!(zone.radius_m >= GeoZone::kMinRadiusM && zone.radius_m <= GeoZone::kMaxRadiusM))
            return QStringLiteral("zone %1 has a radius out of range").arg(zone.name);
        return QString();
    }
    if (zone.ring.size() < 3 || zone.ring.size() > size_t(GeoZone::kMaxVertices))
        return QStringLiteral("zone %1 has too few or too many corners").arg(zone.name);
    double lat_min = 90, lat_max = -90, lng_min = 180, lng_max = -180;
    for (const GeoPoint& p : zone.ring) {
        if (!ValidPoint(p) || std::abs(p.lat_deg) > 85)
            return QStringLiteral("zone %1 has a corner out of range").arg(zone.name);
        lat_min = std::min(lat_min, p.lat_deg);
        lat_max = std::max(lat_max, p.lat_deg);
        lng_min = std::min(lng_min, p.lng_deg);
        lng_max = std::max(lng_max, p.lng_deg);
    }
    // The checker projects a polygon around its middle, which is exact enough for zones of up to a few
    // hundred kilometres; a ring across the antimeridian would also need longitudes unwrapped.
    if (lat_max - lat_min > kMaxSpanDeg || lng_max - lng_min > kMaxSpanDeg)
        return QStringLiteral("zone %1 is too large").arg(zone.name);
    return QString();
}

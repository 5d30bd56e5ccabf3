// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A geofence zone as the operator draws it: a circle (centre and radius in metres on the ellipsoid) or a
// polygon (a ring of vertices joined by geodesics), with a name and an optional speed limit. Coordinates
// are degrees in the frame the vehicles report (raw GPS, WGS84): the map's street-frame correction is
// taken off when a zone is drawn and put back when it is shown, so the checker compares positions and
// zones in one frame without correcting every report. Plain data.
#include <QString>
#include <optional>
#include <vector>

struct GeoPoint {
    double lat_deg = 0;
    double lng_deg = 0;
    bool operator==(const GeoPoint&) const = default;
};

struct GeoZone {
    enum class Shape { kCircle, kPolygon };
    // What a zone may hold: the file and the map page are refused beyond these.
    static constexpr int kMaxNameChars = 100;
    static constexpr int kMaxVertices = 1000;
    static constexpr double kMinRadiusM = 1;
    static constexpr double kMaxRadiusM = 100000;
    static constexpr double kMaxLimitKmh = 400;

    Shape shape = Shape::kCircle;
    QString name;
    GeoPoint centre;             // circle
    double radius_m = 0;         // circle
    std::vector<GeoPoint> ring;  // polygon: 3..kMaxVertices vertices, not closed (last != first)
    std::optional<double> limit_kmh;

    bool operator==(const GeoZone&) const = default;
};

// Empty when `zone` is one the checker can use, else why not (English; the caller translates).
QString ZoneProblem(const GeoZone& zone);

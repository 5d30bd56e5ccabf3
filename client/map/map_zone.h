// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A zone as the map page draws it: a circle (one point and a radius in metres) or a polygon (its
// corners), with the name it is shown with. What the page sends back when the operator draws one is
// web content: FromPage takes only a well-formed shape within the bounds below. Plain data.
#include <QJsonValue>
#include <QList>
#include <QString>
#include <optional>

struct MapZone {
    static constexpr int kMaxCorners = 1000;
    static constexpr double kMaxRadiusM = 100000;

    struct Point {
        double lat_deg = 0, lng_deg = 0;
    };
    QString name;
    double radius_m = 0;  // > 0: a circle around points[0]; 0: a polygon of points
    QList<Point> points;
    // The page drew it on a photo map, where no street-map correction applies.
    bool on_photo_map = false;

    // {"circle": {"lat":, "lng":, "radius_m":}, "photo": bool} or {"polygon": [[lat, lng], ...] (3 to
    // kMaxCorners corners), "photo": bool}; anything else (other keys, wrong types, coordinates out of
    // range, a radius out of (0, kMaxRadiusM]) gives nothing.
    static std::optional<MapZone> FromPage(const QJsonValue& value);
    // The page's showZones list: [{"name", "radius_m", "points": [[lat, lng], ...], "offset": [lat, lng]}]
    // with the street-map correction of each zone's place.
    struct Shown {
        const MapZone* zone;
        double offset_lat_deg, offset_lng_deg;
    };
    static QByteArray PageList(const QList<Shown>& zones);
};

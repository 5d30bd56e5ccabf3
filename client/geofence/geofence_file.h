// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The zones on disk: a GeoJSON FeatureCollection (Geofences.geojson in the program folder). A circle is a
// Point feature with a `radius_m` property, a polygon a Polygon feature with one ring (first vertex
// repeated at its end, as GeoJSON wants; holes are not ours and are refused); `name` and the optional
// `speed_limit_kmh` are properties. Coordinates are [longitude, latitude] in degrees, raw GPS frame.
//
// Reading is all or nothing: a file too large, not JSON, or with one feature we cannot use is refused
// with a message naming why, and left untouched, so a hand-edited file with one typo is not lost at the
// next save. Writing goes to a temporary file beside it that is renamed into place (QSaveFile), so a
// crash never leaves half a file. Any thread; no state.
#include <QByteArray>
#include <QList>
#include <QString>

#include "geofence/geo_zone.h"

struct GeofenceFileResult {
    bool ok = false;       // false: `zones` is empty and `error` says why
    QList<GeoZone> zones;  // in file order
    QString error;         // English; the caller translates the frame around it
};

class GeofenceFile {
  public:
    static constexpr qint64 kMaxFileBytes = 8 << 20;
    static constexpr int kMaxZones = 1000;

    // A missing file reads as no zones (ok).
    static GeofenceFileResult Read(const QString& path);
    static GeofenceFileResult Parse(const QByteArray& bytes);
    static QByteArray Serialize(const QList<GeoZone>& zones);
    // False (and `error`) leaves the old file as it was.
    static bool Write(const QString& path, const QList<GeoZone>& zones, QString* error);
};

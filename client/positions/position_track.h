// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the position history back for a replay: a vehicle's points in a time range, in time order, and
// the stops among them. Plain functions on the calling thread, each through a read-only connection of its
// own, so the writer is never held up for long (WAL: readers and the writer do not block each other).
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "positions/position_fix.h"

struct PositionStop {
    int64_t from_s = 0;
    int64_t to_s = 0;
    int32_t lat_udeg = 0, lon_udeg = 0;  // where it stood (its first still point)
    int first = 0;                       // index of its first still point in the track
    int64_t duration_s() const { return to_s - from_s; }
};

// The vehicle's points with from_s <= time <= to_s, oldest first, at most `limit` (the oldest ones).
// A missing or unreadable file, or an unknown vehicle, gives an empty list.
QList<PositionFix> ReadTrack(const QString& path, const QString& device_id, int64_t from_s, int64_t to_s,
                             int limit = 200000);

// The device ids the history holds points for, sorted.
QStringList TrackedVehicles(const QString& path);

// Stops of at least min_s: runs of still points. A stop lasts from its first still point to the next
// moving point (or, at the end of the track, to its last still point); the history keeps one still
// point a minute, so the moving point is what tells when the vehicle set off.
QList<PositionStop> FindStops(const QList<PositionFix>& track, int64_t min_s = 120);

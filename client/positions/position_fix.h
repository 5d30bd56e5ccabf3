// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One position of one vehicle as the history keeps it: whole numbers only (microdegrees, tenths of a
// km/h, whole degrees of course, seconds since 1970 UTC), so a row stays small on disk and compares
// exactly after a round trip.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

struct PositionFix {
    QString device_id;
    int64_t time_s = 0;
    int32_t lat_udeg = 0;    // north positive
    int32_t lon_udeg = 0;    // east positive
    int32_t speed_dkmh = 0;  // tenths of a km/h
    int32_t course_deg = 0;  // 0..359

    double lat_deg() const { return lat_udeg / 1e6; }
    double lon_deg() const { return lon_udeg / 1e6; }
    double speed_kmh() const { return speed_dkmh / 10.0; }
    // Below 1 km/h a vehicle counts as standing (GPS wanders a little around a parked vehicle).
    bool still() const { return speed_dkmh < 10; }
};

// A fix from degrees and km/h; nullopt for a place off the globe or values that are no numbers.
std::optional<PositionFix> MakeFix(const QString& device_id, int64_t time_s, double lat_deg, double lon_deg,
                                   double speed_kmh, double course_deg);

// The UTC time a $GPRMC sentence carries (its time and date fields), or nullopt when they are missing
// or malformed. The sentence comes from the network: every field is checked.
std::optional<int64_t> SentenceTimeS(const QByteArray& sentence);

// The fix a device's position sentence describes, timed by the sentence when its time lies within a day
// of `received_s` (a device with a wrong clock must not scatter its points over the years), else at
// `received_s`. nullopt when the sentence holds no valid position.
std::optional<PositionFix> FixFromSentence(const QString& device_id, const QByteArray& sentence,
                                           int64_t received_s);

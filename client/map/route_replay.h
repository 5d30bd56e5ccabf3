// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state of a route replay, without a window: the track read from the position history, its stops,
// the replay clock (a time within the track, moved by the slider or by playing at 1x to 60x), the place of
// the moving marker at that time, and the data the map page draws. The panel (ReplayPanel) and tests drive
// it. Plain data, UI thread only.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "positions/position_fix.h"
#include "positions/position_track.h"

class RouteReplay {
  public:
    static constexpr int kMinSpeed = 1;
    static constexpr int kMaxSpeed = 60;
    static constexpr int64_t kMinStopS = 120;
    // Longer silences are gaps in the history (as the page draws them: no line across).
    static constexpr int64_t kGapS = 180;

    struct Place {
        double lat_deg = 0, lon_deg = 0, course_deg = 0, speed_kmh = 0;
    };

    // A new track (oldest first); the clock goes to its start and stops playing.
    void Load(QList<PositionFix> track);
    bool empty() const { return track_.isEmpty(); }
    const QList<PositionFix>& track() const { return track_; }
    const QList<PositionStop>& stops() const { return stops_; }
    int64_t start_ms() const { return track_.isEmpty() ? 0 : track_.first().time_s * 1000; }
    int64_t end_ms() const { return track_.isEmpty() ? 0 : track_.last().time_s * 1000; }

    // The replay clock, in ms since 1970 UTC, kept within the track.
    int64_t time_ms() const { return time_ms_; }
    void Seek(int64_t time_ms);
    // Replay speed, clamped to 1..60.
    void SetSpeed(int speed);
    int speed() const { return speed_; }
    // Moves the clock on by `elapsed_ms` of wall time at the replay speed; false once it has reached the
    // end (the caller stops playing).
    bool Advance(int64_t elapsed_ms);

    // Where the vehicle was at the clock: between two points, on the line between them in proportion to
    // the time (the course and speed of the earlier point).
    Place PlaceNow() const;

    // The street-map correction of a place (degrees), as the live map adds it to a vehicle's position.
    struct Offset {
        double lat_deg = 0, lng_deg = 0;
    };

    // What the page's showReplay takes (compact JSON): {"points": [[lat, lng, speed_kmh, s_from_start], ...],
    // "stops": [[lat, lng, "label"], ...], "offset": [lat, lng]}; `stop_label` words a stop (its duration
    // and start). Points and stops stay as reported; the page adds `offset` on street maps. Without an
    // offset the key is left out and the page draws the track as reported; a value that is not finite
    // is sent as 0, as the live map takes it.
    QByteArray PageData(const std::function<QString(const PositionStop&)>& stop_label,
                        std::optional<Offset> offset = std::nullopt) const;

  private:
    QList<PositionFix> track_;
    QList<PositionStop> stops_;
    int64_t time_ms_ = 0;
    int speed_ = 10;
};

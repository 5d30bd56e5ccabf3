// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/route_replay.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

void RouteReplay::Load(QList<PositionFix> track) {
    track_ = std::move(track);
    stops_ = FindStops(track_, kMinStopS);
    time_ms_ = start_ms();
}

void RouteReplay::Seek(int64_t time_ms) {
    time_ms_ = std::clamp(time_ms, start_ms(), end_ms());
}

void RouteReplay::SetSpeed(int speed) {
    speed_ = std::clamp(speed, kMinSpeed, kMaxSpeed);
}

bool RouteReplay::Advance(int64_t elapsed_ms) {
    Seek(time_ms_ + std::max<int64_t>(0, elapsed_ms) * speed_);
    return time_ms_ < end_ms();
}

RouteReplay::Place RouteReplay::PlaceNow() const {
    if (track_.isEmpty()) return {};
    // The first point later than the clock; the one before it is where the vehicle last reported.
    const auto later =
        std::upper_bound(track_.cbegin(), track_.cend(), time_ms_,
                         [](int64_t t_ms, const PositionFix& fix) { return t_ms < fix.time_s * 1000; });
    const PositionFix& from = later == track_.cbegin() ? *later : *(later - 1);
    Place place{from.lat_deg(), from.lon_deg(), double(from.course_deg), from.speed_kmh()};
    // Across a gap in the history the vehicle's way is unknown: it stays where it last reported.
    if (later == track_.cend() || later == track_.cbegin() || later->time_s - from.time_s > kGapS)
        return place;
    const double span_ms = double(later->time_s - from.time_s) * 1000.0;
    const double share = span_ms > 0 ? double(time_ms_ - from.time_s * 1000) / span_ms : 0.0;
    place.lat_deg += (later->lat_deg() - from.lat_deg()) * share;
    place.lon_deg += (later->lon_deg() - from.lon_deg()) * share;
    return place;
}

QByteArray RouteReplay::PageData(const std::function<QString(const PositionStop&)>& stop_label,
                                 std::optional<Offset> offset) const {
    QJsonArray points;
    const int64_t start_s = track_.isEmpty() ? 0 : track_.first().time_s;
    for (const PositionFix& fix : track_)
        points.append(
            QJsonArray{fix.lat_deg(), fix.lon_deg(), fix.speed_kmh(), qint64(fix.time_s - start_s)});
    QJsonArray stops;
    for (const PositionStop& stop : stops_)
        stops.append(QJsonArray{stop.lat_udeg / 1e6, stop.lon_udeg / 1e6, stop_label(stop)});
    QJsonObject data{{QStringLiteral("points"), points}, {QStringLiteral("stops"), stops}};
    if (offset) {
        if (!std::isfinite(offset->lat_deg) || !std::isfinite(offset->lng_deg)) offset = Offset{};
        data.insert(QStringLiteral("offset"), QJsonArray{offset->lat_deg, offset->lng_deg});
    }
    return QJsonDocument(data).toJson(QJsonDocument::Compact);
}

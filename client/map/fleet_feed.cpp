// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/fleet_feed.h"

#include <cmath>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

FleetFeed::Vehicle* FleetFeed::At(int row) {
    if (row < 0 || row >= kMaxRows) return nullptr;
    if (row >= int(vehicles_.size())) vehicles_.resize(size_t(row) + 1);
    return &vehicles_[size_t(row)];
}

void FleetFeed::Queue(int row) {
    Vehicle& vehicle = vehicles_[size_t(row)];
    // A vehicle never positioned has nothing to draw; it is sent with its first position.
    if (vehicle.queued || !vehicle.positioned) return;
    vehicle.queued = true;
    queue_.push_back(row);
}

void FleetFeed::SetPosition(int row, const QString& vehicle_id, double lat, double lng, double course_deg,
                            double speed_kmh, double offset_lat, double offset_lng) {
    if (!(std::fabs(lat) <= 90.0 && std::fabs(lng) <= 180.0) || !std::isfinite(course_deg)) return;
    if (!std::isfinite(offset_lat) || !std::isfinite(offset_lng)) offset_lat = offset_lng = 0;
    Vehicle* vehicle = At(row);
    if (!vehicle) return;
    if (vehicle->positioned && vehicle->id == vehicle_id && vehicle->lat == lat && vehicle->lng == lng &&
        vehicle->course_deg == course_deg && vehicle->offset_lat == offset_lat &&
        vehicle->offset_lng == offset_lng)
        return;
    vehicle->id = vehicle_id;
    vehicle->lat = lat;
    vehicle->lng = lng;
    vehicle->course_deg = course_deg;
    vehicle->offset_lat = offset_lat;
    vehicle->offset_lng = offset_lng;
    vehicle->speed_kmh = std::isfinite(speed_kmh) ? speed_kmh : 0.0;
    vehicle->positioned = true;
    Queue(row);
}

void FleetFeed::SetOnline(int row, bool online) {
    Vehicle* vehicle = At(row);
    if (!vehicle || vehicle->online == online) return;
    vehicle->online = online;
    Queue(row);
}

void FleetFeed::SetAlarm(int row, bool alarm) {
    Vehicle* vehicle = At(row);
    if (!vehicle || vehicle->alarm == alarm) return;
    vehicle->alarm = alarm;
    Queue(row);
}

void FleetFeed::SetShowOffline(bool show) {
    if (show == show_offline_) return;
    show_offline_ = show;
    for (size_t row = 0; row < vehicles_.size(); ++row)
        if (!vehicles_[row].online) Queue(int(row));
}

void FleetFeed::Clear() {
    vehicles_.clear();
    queue_.clear();
    reset_ = true;
}

void FleetFeed::ResendAll() {
    reset_ = true;
    for (size_t row = 0; row < vehicles_.size(); ++row) Queue(int(row));
}

QString FleetFeed::StateText(const Vehicle& vehicle) const {
    if (!vehicle.online && !show_offline_) return QStringLiteral("hidden");
    if (vehicle.alarm) return QStringLiteral("alarm");
    return vehicle.online ? QStringLiteral("online") : QStringLiteral("offline");
}

QByteArray FleetFeed::TakeBatch(int max, int* count) {
    if (count) *count = 0;
    if (!HasChanges()) return {};
    QJsonArray list;
    while (!queue_.empty() && list.size() < max) {
        const int row = queue_.front();
        queue_.pop_front();
        Vehicle& vehicle = vehicles_[size_t(row)];
        vehicle.queued = false;
        list.append(QJsonArray{row, vehicle.id, vehicle.lat, vehicle.lng, vehicle.course_deg,
                               vehicle.speed_kmh, StateText(vehicle), vehicle.offset_lat,
                               vehicle.offset_lng});
    }
    const QJsonObject batch{{QStringLiteral("reset"), reset_}, {QStringLiteral("vehicles"), list}};
    reset_ = false;
    if (count) *count = int(list.size());
    return QJsonDocument(batch).toJson(QJsonDocument::Compact);
}

std::optional<int> FleetFeed::Validate(const QJsonValue& row, const QJsonValue& id) const {
    if (!row.isDouble() || !id.isString()) return std::nullopt;
    const double number = row.toDouble();
    if (!(number >= 0 && number < double(vehicles_.size())) || number != std::floor(number))
        return std::nullopt;
    const QString text = id.toString();
    if (text.size() > kMaxIdChars) return std::nullopt;
    const Vehicle& vehicle = vehicles_[size_t(number)];
    if (!vehicle.positioned || vehicle.id != text) return std::nullopt;
    return int(number);
}

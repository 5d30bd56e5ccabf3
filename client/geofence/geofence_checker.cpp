// SPDX-License-Identifier: GPL-3.0-or-later
#include "geofence/geofence_checker.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/Gnomonic.hpp>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace {

const GeographicLib::Geodesic& Wgs84() {
    return GeographicLib::Geodesic::WGS84();
}

// Metres in a degree of latitude are at least this anywhere on the ellipsoid (110.57 km at the equator);
// a degree of longitude is that times cos(latitude) or more.
constexpr double kMinMetresPerDegree = 110000;

struct Plane {
    double x = 0, y = 0;
};

// Metres per degree of latitude and of longitude at `lat_deg` on WGS84.
void MetresPerDegree(double lat_deg, double* per_lat, double* per_lng) {
    const double a = Wgs84().EquatorialRadius(), f = Wgs84().Flattening(), e2 = f * (2 - f);
    const double phi = lat_deg * M_PI / 180, s = std::sin(phi);
    const double w = std::sqrt(1 - e2 * s * s);
    *per_lat = a * (1 - e2) / (w * w * w) * M_PI / 180;
    *per_lng = a / w * std::cos(phi) * M_PI / 180;
}

double SegmentDistance(const Plane& p, const Plane& a, const Plane& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

}  // namespace

struct GeofenceChecker::Prepared {
    bool usable = false;
    // The local flat frame (metres east and north of `centre`, scaled by the ellipsoid's radii of
    // curvature there) in which far points are decided cheaply; `flat_error_m` bounds its error
    // against the exact geometry anywhere in the box.
    double m_per_lat_deg = 0, m_per_lng_deg = 0, flat_error_m = 0;
    std::vector<Plane> flat_ring;
    // The box (degrees) outside which a point is more than kHysteresisM away from the zone.
    double lat_min = 0, lat_max = 0, lng_min = 0, lng_max = 0;
    GeoPoint centre;          // circle centre or projection centre
    std::vector<Plane> ring;  // polygon projected around `centre`
    std::unique_ptr<GeographicLib::Gnomonic> gnomonic;
};

GeofenceChecker::GeofenceChecker() = default;
GeofenceChecker::~GeofenceChecker() = default;

void GeofenceChecker::SetZones(const QList<GeoZone>& zones) {
    zones_ = zones;
    prepared_.clear();
    prepared_.resize(size_t(zones.size()));
    boxes_.assign(size_t(zones.size()), Box{});
    for (int i = 0; i < zones.size(); ++i) {
        const GeoZone& zone = zones[i];
        Prepared& p = prepared_[size_t(i)];
        if (!ZoneProblem(zone).isEmpty()) continue;
        double lat_min, lat_max, lng_min, lng_max, reach_m;
        if (zone.shape == GeoZone::Shape::kCircle) {
            p.centre = zone.centre;
            lat_min = lat_max = zone.centre.lat_deg;
            lng_min = lng_max = zone.centre.lng_deg;
            reach_m = zone.radius_m + kHysteresisM;
        } else {
            lat_min = lng_min = std::numeric_limits<double>::max();
            lat_max = lng_max = std::numeric_limits<double>::lowest();
            for (const GeoPoint& v : zone.ring) {
                lat_min = std::min(lat_min, v.lat_deg);
                lat_max = std::max(lat_max, v.lat_deg);
                lng_min = std::min(lng_min, v.lng_deg);
                lng_max = std::max(lng_max, v.lng_deg);
            }
            p.centre = {(lat_min + lat_max) / 2, (lng_min + lng_max) / 2};
            p.gnomonic = std::make_unique<GeographicLib::Gnomonic>(Wgs84());
            for (const GeoPoint& v : zone.ring) {
                Plane plane;
                p.gnomonic->Forward(p.centre.lat_deg, p.centre.lng_deg, v.lat_deg, v.lng_deg, plane.x,
                                    plane.y);
                p.ring.push_back(plane);
            }
            // A geodesic edge bulges past its end points' box by far less than this for city-sized zones.
            reach_m = kHysteresisM + 50;
        }
        // Widened generously: the box only has to never cut off a point that matters.
        const double reach_lat_deg = 1.01 * reach_m / kMinMetresPerDegree;
        const double widest_lat =
            std::min(89.0, std::max(std::abs(lat_min), std::abs(lat_max)) + reach_lat_deg);
        const double reach_lng_deg = reach_lat_deg / std::cos(widest_lat * M_PI / 180);
        p.lat_min = lat_min - reach_lat_deg;
        p.lat_max = lat_max + reach_lat_deg;
        p.lng_min = lng_min - reach_lng_deg;
        p.lng_max = lng_max + reach_lng_deg;
        MetresPerDegree(p.centre.lat_deg, &p.m_per_lat_deg, &p.m_per_lng_deg);
        for (const GeoPoint& v : zone.ring)
            p.flat_ring.push_back({(v.lng_deg - p.centre.lng_deg) * p.m_per_lng_deg,
                                   (v.lat_deg - p.centre.lat_deg) * p.m_per_lat_deg});
        // The flat frame's error grows with the square of the distance from its centre: about d^2 tan(lat)
        // / R for positions and the bulge of a geodesic edge; taken four times over, plus a metre, so a
        // decision made in it is one the exact geometry would make too.
        const double extent_m =
            std::hypot((p.lat_max - p.lat_min) * p.m_per_lat_deg, (p.lng_max - p.lng_min) * p.m_per_lng_deg);
        p.flat_error_m =
            1 + 4 * extent_m * extent_m * (1 + std::abs(std::tan(p.centre.lat_deg * M_PI / 180))) / 6.3e6;
        p.usable = true;
        boxes_[size_t(i)] = {p.lat_min, p.lat_max, p.lng_min, p.lng_max};
    }
    ForgetAll();
}

double GeofenceChecker::SignedDistance_m(int zone, double lat_deg, double lng_deg) const {
    if (zone < 0 || zone >= zones_.size() || !prepared_[size_t(zone)].usable)
        return std::numeric_limits<double>::infinity();
    const Prepared& p = prepared_[size_t(zone)];
    const GeoZone& z = zones_[zone];
    if (z.shape == GeoZone::Shape::kCircle) {
        double distance_m = 0;
        Wgs84().Inverse(p.centre.lat_deg, p.centre.lng_deg, lat_deg, lng_deg, distance_m);
        return distance_m - z.radius_m;
    }
    Plane point;
    p.gnomonic->Forward(p.centre.lat_deg, p.centre.lng_deg, lat_deg, lng_deg, point.x, point.y);
    // Beyond the projection's hemisphere the result is NaN: that is far outside any zone.
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return std::numeric_limits<double>::infinity();
    bool inside = false;
    double nearest_m = std::numeric_limits<double>::infinity();
    const size_t n = p.ring.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const Plane& a = p.ring[i];
        const Plane& b = p.ring[j];
        if ((a.y > point.y) != (b.y > point.y) && point.x < (b.x - a.x) * (point.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
        nearest_m = std::min(nearest_m, SegmentDistance(point, a, b));
    }
    return inside ? -nearest_m : nearest_m;
}

double GeofenceChecker::DecidingDistance_m(int zone, double lat_deg, double lng_deg) const {
    const Prepared& p = prepared_[size_t(zone)];
    const GeoZone& z = zones_[zone];
    const Plane point{(lng_deg - p.centre.lng_deg) * p.m_per_lng_deg,
                      (lat_deg - p.centre.lat_deg) * p.m_per_lat_deg};
    double flat_m;
    if (z.shape == GeoZone::Shape::kCircle) {
        flat_m = std::hypot(point.x, point.y) - z.radius_m;
    } else {
        bool inside = false;
        double nearest_m = std::numeric_limits<double>::infinity();
        const size_t n = p.flat_ring.size();
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const Plane& a = p.flat_ring[i];
            const Plane& b = p.flat_ring[j];
            if ((a.y > point.y) != (b.y > point.y) &&
                point.x < (b.x - a.x) * (point.y - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
            nearest_m = std::min(nearest_m, SegmentDistance(point, a, b));
        }
        flat_m = inside ? -nearest_m : nearest_m;
    }
    // Only near the thresholds (0 and +-kHysteresisM) does the exact answer matter.
    if (std::abs(flat_m) > kHysteresisM + p.flat_error_m) return flat_m;
    return SignedDistance_m(zone, lat_deg, lng_deg);
}

std::vector<GeofenceEvent> GeofenceChecker::Check(int vehicle, double lat_deg, double lng_deg,
                                                  double speed_kmh) {
    std::vector<GeofenceEvent> events;
    if (vehicle < 0 || vehicle >= kMaxVehicles || !std::isfinite(lat_deg) || !std::isfinite(lng_deg))
        return events;
    if (size_t(vehicle) >= vehicles_.size()) vehicles_.resize(size_t(vehicle) + 1);
    VehicleState& state = vehicles_[size_t(vehicle)];
    const bool first = !state.seen;
    state.seen = true;
    // The zones to look at: those whose box holds the point, and those the vehicle was in (a vehicle
    // that jumped far away still has to leave them). Both ascending, so events come in zone order.
    candidates_.clear();
    for (int zone = 0; zone < int(boxes_.size()); ++zone) {
        const Box& box = boxes_[size_t(zone)];
        if (lat_deg >= box.lat_min && lat_deg <= box.lat_max && lng_deg >= box.lng_min &&
            lng_deg <= box.lng_max)
            candidates_.push_back(zone);
    }
    if (candidates_.empty() && state.inside.empty()) return events;
    merged_.clear();
    std::set_union(candidates_.begin(), candidates_.end(), state.inside.begin(), state.inside.end(),
                   std::back_inserter(merged_));
    std::vector<int>& inside = inside_;
    inside.clear();
    for (const int zone : merged_) {
        const Box& box = boxes_[size_t(zone)];
        const bool was_inside = std::binary_search(state.inside.begin(), state.inside.end(), zone);
        bool now_inside = false;
        if (lat_deg >= box.lat_min && lat_deg <= box.lat_max && lng_deg >= box.lng_min &&
            lng_deg <= box.lng_max) {
            const double signed_m = DecidingDistance_m(zone, lat_deg, lng_deg);
            now_inside = first        ? signed_m <= 0
                         : was_inside ? signed_m <= kHysteresisM
                                      : signed_m < -kHysteresisM;
        }
        const auto speeding = std::lower_bound(state.speeding.begin(), state.speeding.end(), zone);
        const bool was_speeding = speeding != state.speeding.end() && *speeding == zone;
        const std::optional<double>& limit = std::as_const(zones_)[zone].limit_kmh;
        const bool now_speeding =
            now_inside && limit && std::isfinite(speed_kmh) &&
            (was_speeding ? speed_kmh > *limit - kSpeedHysteresisKmh : speed_kmh > *limit);
        if (now_inside && !was_inside && !first)
            events.push_back({GeofenceEvent::Kind::kEntered, zone, speed_kmh});
        if (now_speeding && !was_speeding) {
            state.speeding.insert(speeding, zone);
            events.push_back({GeofenceEvent::Kind::kSpeeding, zone, speed_kmh});
        } else if (!now_speeding && was_speeding) {
            state.speeding.erase(speeding);
            events.push_back({GeofenceEvent::Kind::kSpeedingEnded, zone, speed_kmh});
        }
        if (!now_inside && was_inside) events.push_back({GeofenceEvent::Kind::kLeft, zone, speed_kmh});
        if (now_inside) inside.push_back(zone);
    }
    // Copied rather than moved: the vehicle's vector keeps its capacity and nothing is allocated.
    state.inside.assign(inside.begin(), inside.end());
    return events;
}

bool GeofenceChecker::Inside(int vehicle, int zone) const {
    if (vehicle < 0 || size_t(vehicle) >= vehicles_.size()) return false;
    const std::vector<int>& inside = vehicles_[size_t(vehicle)].inside;
    return std::binary_search(inside.begin(), inside.end(), zone);
}

void GeofenceChecker::Forget(int vehicle) {
    if (vehicle >= 0 && size_t(vehicle) < vehicles_.size()) vehicles_[size_t(vehicle)] = VehicleState();
}

void GeofenceChecker::ForgetAll() {
    vehicles_.clear();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which zones each vehicle is in, report by report, and what changed: entering, leaving, and speeding
// inside a zone with a speed limit. Positions and zones are compared in the raw GPS frame the vehicles
// report in (GeoZone says why); distances are geodesics on the WGS84 ellipsoid (GeographicLib).
//
// Containment:
// - a circle: the geodesic distance from its centre against its radius;
// - a polygon: the point and the ring projected with the ellipsoidal gnomonic projection centred in the
//   polygon, then an even-odd edge-crossing test in the plane. The gnomonic projection maps geodesics
//   through its centre to straight lines exactly and every other geodesic to a line within millimetres
//   for zones of a few kilometres (GeographicLib documents the error growing with the fourth power of
//   the size), so the straight projected edges are the geodesic edges; the distance to the border
//   measured in that plane is off by its scale, under 0.1 % within 30 km of the centre.
// A latitude/longitude box around each zone, widened by the hysteresis, rejects the far zones with four
// comparisons; inside the box a flat local frame decides the points far from the border, and only those
// near it pay for the exact geodesic (about a microsecond each). So 10,000 vehicles against 200 zones
// take a few milliseconds.
//
// Hysteresis: a vehicle outside a zone enters it only once it is kHysteresisM inside the border, and
// leaves only once it is kHysteresisM outside, so GPS noise at the border raises no stream of
// enter/leave pairs. Speeding starts when the speed exceeds the zone's limit and ends when it falls
// kSpeedHysteresisKmh below it or the vehicle leaves: one speeding event per stay above the limit.
// The first report of a vehicle (and the first after the zones change) only takes its state: a vehicle
// already inside did not enter; a speeding one inside a limited zone is speeding at once.
//
// Plain class, one thread (the UI thread in the client, the benchmark's in the bench).
#include <QList>
#include <memory>
#include <vector>

#include "geofence/geo_zone.h"

struct GeofenceEvent {
    enum class Kind { kEntered, kLeft, kSpeeding, kSpeedingEnded };
    Kind kind = Kind::kEntered;
    int zone = 0;  // index into the checker's zones
    double speed_kmh = 0;
};

class GeofenceChecker {
  public:
    static constexpr double kHysteresisM = 10;
    static constexpr double kSpeedHysteresisKmh = 3;
    // Vehicle rows beyond this are ignored rather than allocated.
    static constexpr int kMaxVehicles = 1 << 20;

    GeofenceChecker();
    ~GeofenceChecker();

    // Zones that ZoneProblem refuses are kept in the list (so indexes match) but never contain anything.
    // Every vehicle's state is forgotten: its next report only takes the new state.
    void SetZones(const QList<GeoZone>& zones);
    const QList<GeoZone>& zones() const { return zones_; }

    // A valid position of vehicle `vehicle` (its row); returns what changed, in zone order, a speeding
    // end before the leaving of the same zone.
    std::vector<GeofenceEvent> Check(int vehicle, double lat_deg, double lng_deg, double speed_kmh);
    // The vehicle's states are dropped (logout, vehicle gone); nothing is raised.
    void Forget(int vehicle);
    void ForgetAll();

    // Metres from the zone's border, negative inside: the geometry the checks rest on.
    double SignedDistance_m(int zone, double lat_deg, double lng_deg) const;
    bool Inside(int vehicle, int zone) const;

  private:
    struct Prepared;
    // SignedDistance_m where it decides anything: far from the border (beyond the hysteresis by more than
    // the flat frame's error) from the zone's local flat frame, near it exactly.
    double DecidingDistance_m(int zone, double lat_deg, double lng_deg) const;
    struct VehicleState {
        bool seen = false;
        std::vector<int> inside;    // zone indexes, ascending
        std::vector<int> speeding;  // zone indexes, ascending
    };

    // A zone's box, apart from the rest so that the scan over all zones stays in few cache lines; an
    // unusable zone's box holds nothing (min above max).
    struct Box {
        double lat_min = 1, lat_max = 0, lng_min = 1, lng_max = 0;
    };

    QList<GeoZone> zones_;
    std::vector<Prepared> prepared_;
    std::vector<Box> boxes_;
    std::vector<int> candidates_, merged_, inside_;  // scratch of Check, kept for their capacity
    std::vector<VehicleState> vehicles_;
};

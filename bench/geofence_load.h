// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Geofence checks at fleet scale, shared by geofence_checks and position_history: vehicles driving through
// a city 40 km across that holds the zones (half circles of 150 m to 2.5 km radius, half polygons of 5 to
// 12 corners and 0.5 to 4 km across), every vehicle reporting once per cycle (the fleet's 5 s status
// cycle), checked by the checker the client uses. Header only: each benchmark is one program.
#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "geofence/geofence_checker.h"

namespace geofence_load {

inline constexpr double kCityLat = 48.20, kCityLng = 16.37;
inline constexpr double kCityHalfSizeM = 20000;
inline constexpr double kReportS = 5;
// The figure's target: all checks of one report cycle.
inline constexpr double kTargetCycleMs = 20;

struct Car {
    double lat, lng, heading_deg, speed_kmh;
};

inline double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

inline GeoPoint Offset(const GeoPoint& from, double azimuth_deg, double distance_m) {
    GeoPoint to;
    GeographicLib::Geodesic::WGS84().Direct(from.lat_deg, from.lng_deg, azimuth_deg, distance_m, to.lat_deg,
                                            to.lng_deg);
    return to;
}

inline GeoPoint RandomPlace(std::mt19937& random) {
    std::uniform_real_distribution<double> metres(-kCityHalfSizeM, kCityHalfSizeM);
    const GeoPoint centre{kCityLat, kCityLng};
    return Offset(Offset(centre, 0, metres(random)), 90, metres(random));
}

inline QList<GeoZone> MakeZones(int count, std::mt19937& random) {
    QList<GeoZone> zones;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < count; ++i) {
        GeoZone zone;
        zone.name = QStringLiteral("zone %1").arg(i);
        if (i % 3 == 0) zone.limit_kmh = 50;
        if (i % 2 == 0) {
            zone.shape = GeoZone::Shape::kCircle;
            zone.centre = RandomPlace(random);
            zone.radius_m = 150 + unit(random) * 2350;
        } else {
            zone.shape = GeoZone::Shape::kPolygon;
            const GeoPoint middle = RandomPlace(random);
            const int corners = 5 + int(unit(random) * 8);
            const double size_m = 250 + unit(random) * 1750;
            for (int c = 0; c < corners; ++c)
                zone.ring.push_back(Offset(middle, 360.0 * c / corners, size_m * (0.6 + 0.4 * unit(random))));
        }
        zones.append(zone);
    }
    return zones;
}

struct Figures {
    int vehicles = 0, zones = 0, cycles = 0;
    double first_cpu_ms = 0;  // the first cycle, which only takes every vehicle's state
    // The timed cycles after it. Both clocks: the wall time is what the UI thread spends; on a shared
    // machine it also counts the time other processes held the core, which the thread's CPU time does not.
    double mean_cpu_ms = 0, median_cpu_ms = 0, max_cpu_ms = 0;
    double median_wall_ms = 0, max_wall_ms = 0;
    size_t events = 0;
    bool met() const { return max_cpu_ms <= kTargetCycleMs; }
};

// Runs `cycles` report cycles (at least 1) after the first and measures each.
inline Figures Run(int cycles, int vehicles, int zone_count) {
    Figures figures{vehicles, zone_count, std::max(1, cycles)};
    std::mt19937 random(39);
    GeofenceChecker checker;
    checker.SetZones(MakeZones(zone_count, random));
    std::vector<Car> cars;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int v = 0; v < vehicles; ++v) {
        const GeoPoint place = RandomPlace(random);
        cars.push_back({place.lat_deg, place.lng_deg, unit(random) * 360, 20 + unit(random) * 60});
    }
    std::vector<double> wall_ms;
    const auto cycle = [&](size_t* events) {
        const double cpu_start_ms = ThreadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        for (int v = 0; v < vehicles; ++v) {
            const Car& car = cars[size_t(v)];
            *events += checker.Check(v, car.lat, car.lng, car.speed_kmh).size();
        }
        wall_ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        return ThreadCpuMs() - cpu_start_ms;
    };
    size_t events = 0;
    figures.first_cpu_ms = cycle(&events);
    wall_ms.clear();
    events = 0;
    std::vector<double> times_ms;
    for (int c = 0; c < figures.cycles; ++c) {
        // Moving the cars is not part of the checks: done before the clock starts.
        for (Car& car : cars) {
            const GeoPoint next = Offset({car.lat, car.lng}, car.heading_deg, car.speed_kmh / 3.6 * kReportS);
            car.lat = next.lat_deg;
            car.lng = next.lng_deg;
            car.heading_deg += (unit(random) - 0.5) * 30;
            car.speed_kmh = std::clamp(car.speed_kmh + (unit(random) - 0.5) * 10, 5.0, 90.0);
        }
        times_ms.push_back(cycle(&events));
    }
    std::sort(times_ms.begin(), times_ms.end());
    std::sort(wall_ms.begin(), wall_ms.end());
    double sum_ms = 0;
    for (double t : times_ms) sum_ms += t;
    figures.mean_cpu_ms = sum_ms / double(times_ms.size());
    figures.median_cpu_ms = times_ms[times_ms.size() / 2];
    figures.max_cpu_ms = times_ms.back();
    figures.median_wall_ms = wall_ms[wall_ms.size() / 2];
    figures.max_wall_ms = wall_ms.back();
    figures.events = events;
    return figures;
}

inline void Print(const Figures& f) {
    std::printf(
        "geofence checks: %d vehicles x %d zones (circles and polygons of city size), %d report cycles\n",
        f.vehicles, f.zones, f.cycles);
    std::printf("first cycle (states taken) %.2f ms of CPU\n", f.first_cpu_ms);
    std::printf("one report cycle, CPU: mean %.2f ms, median %.2f ms, max %.2f ms; %zu events raised\n",
                f.mean_cpu_ms, f.median_cpu_ms, f.max_cpu_ms, f.events);
    std::printf("one report cycle, wall: median %.2f ms, max %.2f ms\n", f.median_wall_ms, f.max_wall_ms);
}

}  // namespace geofence_load

// SPDX-License-Identifier: GPL-3.0-or-later
// The geofence checker's geometry against GeographicLib's own geodesics (a circle's border, a polygon of
// known shape), and its events: entering and leaving once per crossing however the position jitters at
// the border, speeding once per stay above the limit.
#include <GeographicLib/Geodesic.hpp>
#include <QTest>

#include "geofence/geofence_checker.h"

namespace {

using Kind = GeofenceEvent::Kind;

GeoPoint Offset(const GeoPoint& from, double azimuth_deg, double distance_m) {
    GeoPoint to;
    GeographicLib::Geodesic::WGS84().Direct(from.lat_deg, from.lng_deg, azimuth_deg, distance_m, to.lat_deg,
                                            to.lng_deg);
    return to;
}

const GeoPoint kCentre{48.2082, 16.3738};

GeoZone Circle(double radius_m, std::optional<double> limit_kmh = std::nullopt) {
    GeoZone zone;
    zone.name = QStringLiteral("Depot");
    zone.centre = kCentre;
    zone.radius_m = radius_m;
    zone.limit_kmh = limit_kmh;
    return zone;
}

// An L of two 1 km squares side by side plus one on top of the left one: the notch is outside.
GeoZone LShape() {
    GeoZone zone;
    zone.shape = GeoZone::Shape::kPolygon;
    zone.name = QStringLiteral("Yard");
    const GeoPoint a = kCentre;
    const GeoPoint b = Offset(a, 90, 2000);
    const GeoPoint c = Offset(b, 0, 1000);
    const GeoPoint e = Offset(a, 0, 2000);
    const GeoPoint d = Offset(e, 90, 1000);
    const GeoPoint mid = Offset(a, 0, 1000);
    zone.ring = {a, b, c, Offset(mid, 90, 1000), d, e};
    return zone;
}

QList<Kind> Kinds(const std::vector<GeofenceEvent>& events) {
    QList<Kind> kinds;
    for (const GeofenceEvent& e : events) kinds.append(e.kind);
    return kinds;
}

}  // namespace

class GeofenceCheckerTest : public QObject {
    Q_OBJECT
  private slots:
    // Points half a metre either side of a 750 m circle's border, in eight directions, measured along the
    // ellipsoid's geodesics: the checker's distance agrees to a centimetre, where a sphere would be off
    // by metres.
    void circleBorderFollowsTheGeodesic() {
        GeofenceChecker checker;
        checker.SetZones({Circle(750)});
        for (double azimuth = 0; azimuth < 360; azimuth += 45) {
            const GeoPoint in = Offset(kCentre, azimuth, 749.5);
            const GeoPoint out = Offset(kCentre, azimuth, 750.5);
            QVERIFY(std::abs(checker.SignedDistance_m(0, in.lat_deg, in.lng_deg) + 0.5) < 0.01);
            QVERIFY(std::abs(checker.SignedDistance_m(0, out.lat_deg, out.lng_deg) - 0.5) < 0.01);
        }
    }

    // An L-shaped polygon: points 2 m inside and outside the middle of each of its edges, the notch's
    // corner region outside, and the distance to the border in metres.
    void polygonOfKnownShapeHoldsWhatItShould() {
        GeofenceChecker checker;
        const GeoZone l = LShape();
        checker.SetZones({l});
        const GeoPoint bottom_mid = Offset(kCentre, 90, 1000);
        QVERIFY(checker.SignedDistance_m(0, Offset(bottom_mid, 0, 2).lat_deg,
                                         Offset(bottom_mid, 0, 2).lng_deg) < 0);
        QVERIFY(checker.SignedDistance_m(0, Offset(bottom_mid, 180, 2).lat_deg,
                                         Offset(bottom_mid, 180, 2).lng_deg) > 0);
        const GeoPoint inside = Offset(Offset(kCentre, 0, 500), 90, 500);
        QVERIFY(std::abs(checker.SignedDistance_m(0, inside.lat_deg, inside.lng_deg) + 500) < 1);
        // The notch (upper right square) is outside; its middle is 500 m from the border.
        const GeoPoint notch = Offset(Offset(kCentre, 0, 1500), 90, 1500);
        QVERIFY(std::abs(checker.SignedDistance_m(0, notch.lat_deg, notch.lng_deg) - 500) < 1);
        // Just across the notch's inner vertical edge.
        const GeoPoint edge = Offset(Offset(kCentre, 0, 1500), 90, 1000);
        QVERIFY(checker.SignedDistance_m(0, Offset(edge, 270, 2).lat_deg, Offset(edge, 270, 2).lng_deg) < 0);
        QVERIFY(checker.SignedDistance_m(0, Offset(edge, 90, 2).lat_deg, Offset(edge, 90, 2).lng_deg) > 0);
    }

    // A vehicle crossing a circle with its position jittering around the border on the way in and out:
    // one enter and one leave; the first report only takes its state.
    void crossingsAreRaisedOncePerCrossing() {
        GeofenceChecker checker;
        checker.SetZones({Circle(500)});
        const auto at = [&](double from_centre_m) {
            const GeoPoint p = Offset(kCentre, 30, from_centre_m);
            return Kinds(checker.Check(7, p.lat_deg, p.lng_deg, 40));
        };
        QVERIFY(at(900).isEmpty());
        QList<Kind> all;
        for (double d : {520.0, 503.0, 497.0, 505.0, 495.0, 499.0, 488.0, 470.0, 300.0, 0.0, 300.0, 493.0,
                         505.0, 496.0, 508.0, 512.0, 503.0, 700.0})
            all += at(d);
        QCOMPARE(all, QList<Kind>({Kind::kEntered, Kind::kLeft}));
        QVERIFY(!checker.Inside(7, 0));
        // A vehicle first seen inside is inside without having entered.
        const GeoPoint p = Offset(kCentre, 0, 100);
        QVERIFY(checker.Check(8, p.lat_deg, p.lng_deg, 40).empty());
        QVERIFY(checker.Inside(8, 0));
    }

    // Speeding inside a limited zone: once when the limit is passed, ended once the speed is a few km/h
    // below it, again on the next stay above it, and ended before the vehicle leaves.
    void speedingOncePerStayAboveTheLimit() {
        GeofenceChecker checker;
        checker.SetZones({Circle(500, 50)});
        const GeoPoint out = Offset(kCentre, 0, 800), in = Offset(kCentre, 0, 100);
        QVERIFY(checker.Check(1, out.lat_deg, out.lng_deg, 90).empty());  // above the limit, but outside
        QCOMPARE(Kinds(checker.Check(1, in.lat_deg, in.lng_deg, 45)), QList<Kind>({Kind::kEntered}));
        QList<Kind> all;
        for (double speed : {60.0, 58.0, 49.0, 51.0, 46.0, 44.0, 55.0, 70.0})
            all += Kinds(checker.Check(1, in.lat_deg, in.lng_deg, speed));
        QCOMPARE(all, QList<Kind>({Kind::kSpeeding, Kind::kSpeedingEnded, Kind::kSpeeding}));
        QCOMPARE(Kinds(checker.Check(1, out.lat_deg, out.lng_deg, 70)),
                 QList<Kind>({Kind::kSpeedingEnded, Kind::kLeft}));
    }

    // A zone the checker cannot use (here a radius of 0) contains nothing, and the others keep their
    // indexes.
    void unusableZonesContainNothing() {
        GeofenceChecker checker;
        checker.SetZones({Circle(0), Circle(500)});
        const GeoPoint out = Offset(kCentre, 0, 800), in = Offset(kCentre, 0, 10);
        checker.Check(2, out.lat_deg, out.lng_deg, 10);
        const std::vector<GeofenceEvent> events = checker.Check(2, in.lat_deg, in.lng_deg, 10);
        QCOMPARE(events.size(), size_t(1));
        QCOMPARE(events[0].zone, 1);
        QVERIFY(std::isinf(checker.SignedDistance_m(0, in.lat_deg, in.lng_deg)));
    }
};

QTEST_GUILESS_MAIN(GeofenceCheckerTest)
#include "geofence_checker_test.moc"

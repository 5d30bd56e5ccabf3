// SPDX-License-Identifier: GPL-3.0-or-later
// The geofence layer of the built-in map page in Qt WebEngine: the client's zones drawn with the street
// map's correction and their names as text, a circle drawn with real clicks on the page's tool coming
// back to the client in the raw GPS frame, and malformed shapes from the page refused.
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include "../client_fixture.h"
#include "map/map_dlg.h"
#include "map_test_support.h"

namespace {

constexpr double kLat = 48.1370, kLng = 11.5750;
constexpr double kOffsetLat = 0.002, kOffsetLng = 0.003;

void ClickPage(QWebEngineView* view, const QPoint& at) {
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    static quint64 stamp_ms = 1000000;
    stamp_ms += 10000;
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
        event.setTimestamp(stamp_ms += 40);
        QCoreApplication::sendEvent(target, &event);
    }
    QTest::qWait(100);
}

}  // namespace

class MapGeofenceTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void cleanup() { map_.reset(); }

    void zonesAreDrawnWithTheStreetCorrection() {
        Open();
        MapZone circle;
        circle.name = QStringLiteral("<b>Depot</b>");
        circle.radius_m = 300;
        circle.points = {{kLat, kLng}};
        MapZone polygon;
        polygon.name = QStringLiteral("Yard");
        polygon.points = {{kLat, kLng}, {kLat + 0.01, kLng}, {kLat, kLng + 0.01}};
        map_->ShowZones({circle, polygon});
        QTRY_COMPARE_WITH_TIMEOUT(Eval("geofenceLayer.getLayers().length").toInt(), 2, 5000);
        QCOMPARE(Eval("geofenceLayer.getLayers()[0].getLatLng().lat").toDouble(), kLat + kOffsetLat);
        QCOMPARE(Eval("geofenceLayer.getLayers()[0].getLatLng().lng").toDouble(), kLng + kOffsetLng);
        QCOMPARE(Eval("geofenceLayer.getLayers()[0].getRadius()").toDouble(), 300.0);
        // The name is text: no element made of it.
        QTRY_COMPARE_WITH_TIMEOUT(Eval("document.querySelectorAll('.geofence-label').length").toInt(), 2,
                                  5000);
        QCOMPARE(Eval("document.querySelectorAll('.geofence-label b').length").toInt(), 0);
        QCOMPARE(Eval("document.querySelector('.geofence-label').textContent").toString(), circle.name);
        // On the photo map no correction applies.
        Eval("map.removeLayer(roadLayer); map.addLayer(photoLayer); map.fire('baselayerchange'); true");
        QTRY_COMPARE_WITH_TIMEOUT(Eval("geofenceLayer.getLayers()[0].getLatLng().lat").toDouble(), kLat,
                                  5000);
        // A reload draws them again.
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        map_->view()->page()->triggerAction(QWebEnginePage::Reload);
        QVERIFY(loaded.wait(20000));
        QTRY_COMPARE_WITH_TIMEOUT(Eval("geofenceLayer.getLayers().length").toInt(), 2, 5000);
    }

    // The circle tool, a click on the centre and one on the edge: the client gets the circle back without
    // the street map's correction.
    void aCircleDrawnWithClicksReachesTheClientUncorrected() {
        Open();
        QSignalSpy drawn(map_.get(), &CMapDlg::zoneDrawn);
        QTRY_VERIFY_WITH_TIMEOUT(Eval("fleetBridge !== null").toBool(), 5000);
        Eval(QStringLiteral("map.setView([%1, %2], 16, {animate: false}); true")
                 .arg(kLat + kOffsetLat)
                 .arg(kLng + kOffsetLng));
        const QVariantList tool = Eval(
                                      "(function () { var r = document.querySelector("
                                      "'.geofence-tool[data-tool=circle]').getBoundingClientRect();"
                                      " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                                      .toList();
        QCOMPARE(tool.size(), 2);
        ClickPage(map_->view(), QPoint(tool[0].toInt(), tool[1].toInt()));
        const QVariantList centre =
            Eval(QStringLiteral("(function () { var p = map.latLngToContainerPoint([%1, %2]);"
                                " return [p.x, p.y]; })()")
                     .arg(kLat + kOffsetLat)
                     .arg(kLng + kOffsetLng))
                .toList();
        ClickPage(map_->view(), QPoint(centre[0].toInt(), centre[1].toInt()));
        ClickPage(map_->view(), QPoint(centre[0].toInt() + 100, centre[1].toInt()));
        QTRY_COMPARE_WITH_TIMEOUT(drawn.size(), 1, 5000);
        const MapZone zone = drawn[0][0].value<MapZone>();
        QCOMPARE(zone.points.size(), 1);
        QVERIFY(std::abs(zone.points[0].lat_deg - kLat) < 2e-5);
        QVERIFY(std::abs(zone.points[0].lng_deg - kLng) < 2e-5);
        // 100 pixels at zoom 16 near 48 degrees north are about 160 m.
        QVERIFY2(zone.radius_m > 120 && zone.radius_m < 200, qPrintable(QString::number(zone.radius_m)));
    }

    void malformedShapesFromThePageAreRefused() {
        Open();
        QSignalSpy drawn(map_.get(), &CMapDlg::zoneDrawn);
        QTRY_VERIFY_WITH_TIMEOUT(Eval("fleetBridge !== null").toBool(), 5000);
        Eval(
            "fleetBridge.drawZone({circle: {lat: 'x', lng: 1, radius_m: 5}, photo: false});"
            "fleetBridge.drawZone({polygon: [[1, 2], [3, 4]], photo: false}); true");
        QTest::qWait(1200);
        Eval("fleetBridge.drawZone({circle: {lat: 48, lng: 11, radius_m: 1e9}, photo: true}); true");
        QTest::qWait(1200);
        Eval("fleetBridge.drawZone({polygon: [[48, 11], [48.01, 11], [95, 11]], photo: true}); true");
        QTest::qWait(2200);
        Eval("fleetBridge.drawZone({polygon: [[48, 11], [48.01, 11], [48, 11.01]], photo: true}); true");
        QTRY_COMPARE_WITH_TIMEOUT(drawn.size(), 1, 5000);
        QTest::qWait(300);
        QCOMPARE(drawn.size(), 1);
        // On the photo map the points are taken as they are.
        QCOMPARE(drawn[0][0].value<MapZone>().points[2].lng_deg, 11.01);
    }

    // The drawing tools' tips and the replay legend's unit are the client's texts (in the user's
    // language), shown as text.
    void pageTextsComeFromTheClient() {
        Open([](MapViewSettings& settings) {
            settings.zone_circle_tip = QStringLiteral("Kreisförmige Zone zeichnen");
            settings.zone_polygon_tip = QStringLiteral("Vieleckige Zone zeichnen");
            settings.zone_finish_tip = QStringLiteral("<b>Zone</b> abschließen");
            settings.speed_unit = QStringLiteral("km/t");
        });
        QCOMPARE(
            Eval("Array.prototype.map.call(document.querySelectorAll('.geofence-tool'),"
                 " function (b) { return b.title; }).join('|')")
                .toString(),
            QStringLiteral("Kreisförmige Zone zeichnen|Vieleckige Zone zeichnen|<b>Zone</b> abschließen"));
        Eval("showReplay({points: [[48.1, 11.5, 20, 0], [48.2, 11.5, 30, 60]], stops: []}); true");
        QTRY_VERIFY_WITH_TIMEOUT(Eval("!!document.querySelector('.replay-legend')").toBool(), 5000);
        QVERIFY(
            Eval("document.querySelector('.replay-legend').textContent").toString().contains("30-50 km/t"));
    }

  private:
    void Open(const std::function<void(MapViewSettings&)>& adjust = {}) {
        MapViewSettings settings;
        settings.road_tiles = settings.photo_tiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
        settings.gps_offset_auto = false;
        settings.gps_offset_x = QString::number(kOffsetLat);
        settings.gps_offset_y = QString::number(kOffsetLng);
        if (adjust) adjust(settings);
        map_ = std::make_unique<CMapDlg>(host_, settings);
        host_.dock_parent.show();
        map_->SetDockedRect(QRect(0, 0, 640, 480));
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        QVERIFY(loaded.wait(20000));
    }
    QVariant Eval(const QString& script) { return RunScript(map_->view()->page(), script); }
    QVariant Eval(const char* script) { return Eval(QString::fromUtf8(script)); }

    TestMapHost host_;
    std::unique_ptr<CMapDlg> map_;
};

QTEST_MAIN(MapGeofenceTest)
#include "map_geofence_display_test.moc"

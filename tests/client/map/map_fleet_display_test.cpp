// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet layer of the built-in map page in Qt WebEngine: batches of positions, clicks back to the client
// (checked before they are believed), follow, and a replacement page that knows nothing of the fleet.
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWebEngineView>

#include "../client_fixture.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "map/map_dlg.h"
#include "map_test_support.h"
#include "shell/app_main_dlg.h"

namespace {

constexpr double kLat = 48.1370, kLng = 11.5750;

// A real click inside the web view at page point `at`.
void ClickPage(QWebEngineView* view, const QPoint& at, bool twice = false) {
    // Two clicks in quick succession at one place are the browser's double-click: it counts clicks by the
    // events' time stamps (which QTest's own clicks keep apart on purpose).
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    static quint64 stamp_ms = 1000000;
    stamp_ms += 10000;
    for (int click = 0; click < (twice ? 2 : 1); ++click) {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
            event.setTimestamp(stamp_ms += 40);
            QCoreApplication::sendEvent(target, &event);
        }
        QTest::qWait(40);
    }
}

// The centre of vehicle `row`'s marker in the page, after the map was brought to it; null when it is not
// drawn.
QPoint MarkerPoint(QWebEnginePage* page, int row) {
    RunScript(
        page,
        QStringLiteral("map.setView(fleetMarkers[%1].getLatLng(), 17, {animate: false}); true").arg(row));
    const QVariantList at = RunScript(page, QStringLiteral("(function () {"
                                                           " var e = fleetMarkers[%1].getElement();"
                                                           " if (!e) return null;"
                                                           " var r = e.getBoundingClientRect();"
                                                           " return [r.left + 16, r.top + 16]; })()")
                                                .arg(row))
                                .toList();
    return at.size() == 2 ? QPoint(at[0].toInt(), at[1].toInt()) : QPoint();
}

}  // namespace

class MapFleetTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void init() {
        host_ = std::make_unique<TestMapHost>();
        host_->vehicle_ids.clear();
        for (int i = 0; i < 40; ++i)
            host_->vehicle_ids << QStringLiteral("BUS-%1").arg(i, 3, 10, QLatin1Char('0'));
    }
    void cleanup() {
        map_.reset();
        host_.reset();
    }

    void positionsReachThePageInBatches() {
        Open();
        QVERIFY(map_->fleetLayerShown());
        QSignalSpy batches(map_.get(), &CMapDlg::fleetBatchSent);
        QElapsedTimer clock;
        clock.start();
        QList<qint64> sent_ms;
        connect(map_.get(), &CMapDlg::fleetBatchSent, this, [&] { sent_ms << clock.elapsed(); });
        // Three rounds of the whole fleet, as fast as positions come: the page gets at most one call a
        // second, each holding what changed, never one call per position.
        for (int round = 0; round < 3; ++round) {
            for (int row = 0; row < 40; ++row)
                QCOMPARE(
                    map_->Position(Gprmc(kLat + 0.001 * row, kLng + 0.0001 * round, 20.0, 10.0 * row), row),
                    1);
            QTest::qWait(400);
        }
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 40, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(map_->fleet().pending(), 0, 5000);
        QVERIFY2(batches.size() >= 1 && batches.size() <= 3, qPrintable(QString::number(batches.size())));
        for (int i = 1; i < sent_ms.size(); ++i) QVERIFY(sent_ms[i] - sent_ms[i - 1] >= 900);
        // The page holds the latest position, with its id and heading.
        QCOMPARE(Eval("fleetMarkers[7].getLatLng().lng").toDouble(), kLng + 0.0002);
        QCOMPARE(Eval("fleetMarkers[7].fleetId").toString(), QStringLiteral("BUS-007"));
        QCOMPARE(Eval("fleetMarkers[7].fleetHeading").toDouble(), 67.5);
        QCOMPARE(Eval("fleetMarkers[7].fleetState").toString(), QStringLiteral("online"));

        // States: an alarm outranks online; offline vehicles leave while the switch is off.
        map_->SetVehicleAlarm(3, true);
        map_->SetVehicleOnline(4, false);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetMarkers[3].fleetState").toString(), QStringLiteral("alarm"),
                                  5000);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetMarkers[4].fleetState").toString(), QStringLiteral("offline"),
                                  5000);
        map_->SetShowOffline(false);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 39, 5000);
        QCOMPARE(Eval("fleetMarkers[4] === undefined").toBool(), true);
        // The label is the id as text: markup in an id stays letters.
        host_->vehicle_ids[5] = QStringLiteral("<img src=x onerror=window.hacked=1>");
        map_->Position(Gprmc(kLat + 0.01, kLng), 5);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetMarkers[5].fleetId").toString(), host_->vehicle_ids[5], 5000);
        RunScript(map_->view()->page(),
                  "map.setView(fleetMarkers[5].getLatLng(), 18, {animate: false}); true");
        QTRY_COMPARE_WITH_TIMEOUT(Eval("(function () { var e = fleetMarkers[5].getElement();"
                                       " return e ? e.querySelector('.fleet-label').textContent : ''; })()")
                                      .toString(),
                                  host_->vehicle_ids[5], 5000);
        QCOMPARE(Eval("document.querySelectorAll('.fleet-label img').length").toInt(), 0);
        // Logout: the page forgets the fleet.
        map_->Clear();
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 0, 5000);
    }

    void zoomedOutTheFleetClusters() {
        Open();
        for (int row = 0; row < 40; ++row) map_->Position(Gprmc(kLat + 0.0005 * row, kLng), row);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 40, 5000);
        RunScript(map_->view()->page(),
                  QStringLiteral("map.setView([%1, %2], 9, {animate: false}); true").arg(kLat).arg(kLng));
        QTRY_VERIFY_WITH_TIMEOUT(Eval("document.querySelectorAll('.marker-cluster').length").toInt() >= 1,
                                 5000);
        QCOMPARE(Eval("document.querySelectorAll('.fleet-vehicle').length").toInt(), 0);
        RunScript(map_->view()->page(), QStringLiteral("map.setView([%1, %2], 17, {animate: false}); true")
                                            .arg(kLat + 0.0005 * 20)
                                            .arg(kLng));
        QTRY_VERIFY_WITH_TIMEOUT(Eval("document.querySelectorAll('.fleet-vehicle').length").toInt() >= 1,
                                 5000);
    }

    // The first batch brings the fleet into view from wherever the page started; later batches leave the
    // map alone, and so does the first one when the operator has touched the map before it came.
    void firstBatchBringsTheFleetIntoView() {
        Open();
        QCOMPARE(VehiclesInView(), 0);
        for (int row = 0; row < 40; ++row)
            map_->Position(Gprmc(kLat - 0.1 + 0.03 * (row % 8), kLng - 0.2 + 0.1 * (row / 8)), row);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 40, 5000);
        QCOMPARE(VehiclesInView(), 40);
        QVERIFY(Eval("map.getZoom()").toInt() < 16);
        const double center_lat = Eval("map.getCenter().lat").toDouble();
        map_->Position(Gprmc(kLat + 1.0, kLng + 1.0), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::abs(Eval("fleetMarkers[0].getLatLng().lat").toDouble() - (kLat + 1.0)) < 1e-6, 5000);
        QCOMPARE(Eval("map.getCenter().lat").toDouble(), center_lat);

        Open();
        QTest::mouseClick(map_->view()->focusProxy(), Qt::LeftButton, {}, QPoint(300, 300));
        QTRY_VERIFY_WITH_TIMEOUT(Eval("userMovedMap").toBool(), 5000);
        for (int row = 0; row < 40; ++row) map_->Position(Gprmc(kLat + 0.001 * row, kLng), row);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 40, 5000);
        QCOMPARE(VehiclesInView(), 0);
    }

    // Choosing a vehicle hidden in a cluster brings the map close enough for it to stand alone, and the
    // vehicle is drawn once, by its track's car marker: its fleet marker is left out until another vehicle
    // is chosen.
    void chosenVehicleStandsOutOfItsClusterAndIsDrawnOnce() {
        Open();
        for (int row = 0; row < 40; ++row) map_->Position(Gprmc(kLat + 0.0005 * row, kLng), row);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 40, 5000);
        RunScript(map_->view()->page(),
                  QStringLiteral("map.setView([%1, %2], 9, {animate: false}); true").arg(kLat).arg(kLng));
        QTRY_VERIFY_WITH_TIMEOUT(
            Eval("fleetLayer.getVisibleParent(fleetMarkers[20]) !== fleetMarkers[20]").toBool(), 5000);

        map_->SelectVehicle(20);
        map_->Position(Gprmc(kLat + 0.0005 * 20, kLng), 20);
        QTRY_COMPARE_WITH_TIMEOUT(DrawnIcons("Car Point - BUS-020"), 1, 5000);
        QVERIFY(Eval("map.getZoom()").toInt() > 9);
        QVERIFY(Eval("map.getBounds().contains(markers[1].getLatLng())").toBool());
        // Its neighbours stand alone too, and no cluster covers the car marker.
        QVERIFY(Eval("fleetLayer.getVisibleParent(fleetMarkers[19]) === fleetMarkers[19]").toBool());
        QVERIFY(Eval("fleetLayer.getVisibleParent(fleetMarkers[21]) === fleetMarkers[21]").toBool());
        // (The clusters of the far view fade out for a moment.)
        QTRY_COMPARE_WITH_TIMEOUT(
            Eval("(function () { var car = markers[1].getElement().getBoundingClientRect(), hit = 0;"
                 " document.querySelectorAll('.marker-cluster').forEach(function (c) {"
                 "  var r = c.getBoundingClientRect();"
                 "  if (r.left < car.right && r.right > car.left && r.top < car.bottom && r.bottom > car.top)"
                 "   hit++; });"
                 " return hit; })()")
                .toInt(),
            0, 5000);
        QCOMPARE(DrawnIcons("BUS-020"), 0);
        // It moves: still once, the fleet marker following out of sight.
        map_->Position(Gprmc(kLat + 0.0005 * 20 + 0.0002, kLng), 20);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::abs(Eval("fleetMarkers[20].getLatLng().lat").toDouble() - (kLat + 0.0102)) < 1e-6, 5000);
        QCOMPARE(DrawnIcons("BUS-020"), 0);
        QCOMPARE(DrawnIcons("Car Point - BUS-020"), 1);
        QCOMPARE(Eval("fleetLayer.hasLayer(fleetMarkers[20])").toBool(), false);
        // Another vehicle: the first one's fleet marker is back, the new one's is left out.
        map_->SelectVehicle(21);
        map_->Position(Gprmc(kLat + 0.0005 * 21, kLng), 21);
        QTRY_COMPARE_WITH_TIMEOUT(DrawnIcons("Car Point - BUS-021"), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(DrawnIcons("BUS-020"), 1, 5000);
        QCOMPARE(DrawnIcons("BUS-021"), 0);
        QCOMPARE(DrawnIcons("Car Point - BUS-020"), 0);
    }

    void clicksFromThePageAreChecked() {
        Open();
        map_->Position(Gprmc(kLat, kLng), 2);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("fleetSize()").toInt(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Eval("fleetBridge !== null").toBool(), 5000);
        QSignalSpy clicked(map_.get(), &CMapDlg::vehicleClicked);
        QSignalSpy activated(map_.get(), &CMapDlg::vehicleActivated);
        // Whatever the page makes up names no vehicle: wrong id, unknown row, fractions, texts, huge ids.
        Eval(
            "fleetBridge.select(2, 'BUS-003'); fleetBridge.select(9, 'BUS-009'); fleetBridge.select(2.5, "
            "'BUS-002');"
            "fleetBridge.select('2', 'BUS-002'); fleetBridge.open(-1, 'BUS-002');"
            "fleetBridge.select(2, 'BUS-002'.repeat(1000)); fleetBridge.open(1e300, {}); true");
        QTest::qWait(300);
        QCOMPARE(clicked.size(), 0);
        QCOMPARE(activated.size(), 0);
        // A real click and a double-click on the marker.
        const QPoint at = MarkerPoint(map_->view()->page(), 2);
        QVERIFY(!at.isNull());
        ClickPage(map_->view(), at);
        QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, 5000);
        QCOMPARE(clicked.first().first().toInt(), 2);
        ClickPage(map_->view(), at, true);
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 1, 5000);
        QCOMPARE(activated.first().first().toInt(), 2);
    }

    void followKeepsTheVehicleCentredUntilTheMapIsDragged() {
        Open();
        map_->SelectVehicle(0);
        map_->Position(Gprmc(kLat, kLng), 0);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("markers.length").toInt(), 2, 5000);
        QCOMPARE(Eval("following").toBool(), true);
        map_->Position(Gprmc(kLat + 0.002, kLng), 0);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(Eval("map.getCenter().lat").toDouble() - (kLat + 0.002)) < 1e-5,
                                 5000);
        // A drag by hand: the map stays where the operator put it.
        QWidget* target = map_->view()->focusProxy();
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(300, 250));
        for (int step = 1; step <= 10; ++step) {
            QMouseEvent move(QEvent::MouseMove, QPointF(300 + 15 * step, 250 + 10 * step),
                             target->mapToGlobal(QPointF(300 + 15 * step, 250 + 10 * step)), Qt::LeftButton,
                             Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &move);
            QTest::qWait(20);
        }
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(450, 350));
        QTRY_COMPARE_WITH_TIMEOUT(Eval("following").toBool(), false, 5000);
        QTest::qWait(1000);  // the drag's inertia runs out
        const double dragged_lat = Eval("map.getCenter().lat").toDouble();
        map_->Position(Gprmc(kLat + 0.004, kLng), 0);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("track.getLatLngs().length").toInt(), 3, 5000);
        QCOMPARE(Eval("map.getCenter().lat").toDouble(), dragged_lat);
        QVERIFY(std::abs(dragged_lat - (kLat + 0.004)) > 1e-4);
        QCOMPARE(Eval("followControl.button.getAttribute('aria-pressed')").toString(),
                 QStringLiteral("false"));
        // The toggle brings the vehicle back to the centre.
        Eval("followControl.button.click(); true");
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(Eval("map.getCenter().lat").toDouble() - (kLat + 0.004)) < 1e-5,
                                 5000);
        QCOMPARE(Eval("following").toBool(), true);
    }

    void replacementPageWithoutFleetFunctionKeepsWorking() {
        QTemporaryDir folder;
        QFile page(folder.filePath("mapdlg.htm"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(
            "<html><body><input type=hidden id=map_status value=stopped><input type=hidden id=map_lat>"
            "<input type=hidden id=map_lng><input type=hidden id=VehicleId><input type=hidden id=Index>"
            "<script>var refreshed = 0; var seen = '';"
            "function refreshMap() { refreshed++; seen = document.getElementById('map_status').value + ' ' +"
            " document.getElementById('map_lat').value; }</script></body></html>");
        page.close();
        Open({folder.filePath("mapdlg.htm")});
        QCOMPARE(map_->view()->url(), QUrl::fromLocalFile(folder.filePath("mapdlg.htm")));
        QSignalSpy batches(map_.get(), &CMapDlg::fleetBatchSent);
        map_->SelectVehicle(1);
        for (int row = 0; row < 10; ++row) QCOMPARE(map_->Position(Gprmc(kLat, kLng + 0.001 * row), row), 1);
        QTRY_COMPARE_WITH_TIMEOUT(Eval("seen").toString(), QStringLiteral("running %1").arg(kLat, 0, 'g', 15),
                                  5000);
        QTest::qWait(2500);
        QCOMPARE(batches.size(), 0);
        QVERIFY(!map_->fleetLayerShown());
        QCOMPARE(Eval("typeof updateFleet").toString(), QStringLiteral("undefined"));
        QVERIFY(Eval("refreshed").toInt() >= 2);
    }

    void mapButtonAndGridLabelsStayClearOfWhatTheyCovered() {
        Open();
        QCOMPARE(map_->map_button()->geometry(), QRect(QPoint(65, 5), QPoint(95, 29)));
        // The scale bar in the bottom left corner is never under a latitude label of the grid.
        Eval("gridLayer.addTo(map); true");
        // A line of latitude is brought to a few heights over the bottom edge, where the scale bar stands.
        for (int above_bottom_px : {12, 20, 28, 36}) {
            RunScript(
                map_->view()->page(),
                QStringLiteral("(function () {"
                               " var zoom = 13, height = map.getSize().y;"
                               " var step = gridLayer._stepFor(zoom).step;"
                               " var line = map.project([Math.round(48.137 / step) * step, 11.575], zoom);"
                               " map.setView(map.unproject([line.x, line.y - height / 2 + %1], zoom), zoom,"
                               "  {animate: false});"
                               " return true; })()")
                    .arg(above_bottom_px));
            QTRY_VERIFY_WITH_TIMEOUT(
                Eval("document.querySelectorAll('.coordinate-grid-label').length").toInt() > 0, 5000);
            QCOMPARE(Eval("(function () {"
                          " var s = document.querySelector('.leaflet-control-scale').getBoundingClientRect();"
                          " var hit = 0;"
                          " document.querySelectorAll('.coordinate-grid-label').forEach(function (l) {"
                          "  var r = l.getBoundingClientRect();"
                          "  if (r.left < s.right && r.right > s.left && r.top < s.bottom && r.bottom > "
                          "s.top) hit++;"
                          " });"
                          " return hit; })()")
                         .toInt(),
                     0);
        }
        // The playback page's heading stands top left: the button moves to the top right while it shows.
        QTemporaryDir folder;
        QFile playback(folder.filePath("playback.htm"));
        QVERIFY(playback.open(QIODevice::WriteOnly));
        playback.write("<html><body><h1 id=device>MDVR-10001</h1></body></html>");
        playback.close();
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        map_->ShowPlaybackPage(QUrl::fromLocalFile(folder.filePath("playback.htm")));
        QVERIFY(loaded.wait(20000));
        const QVariantList box = Eval(
                                     "(function () { var r = document.getElementById('device').firstChild;"
                                     " var range = document.createRange(); range.selectNodeContents(r);"
                                     " var b = range.getBoundingClientRect();"
                                     " return [b.left, b.top, b.right, b.bottom]; })()")
                                     .toList();
        QCOMPARE(box.size(), 4);
        const QRect text(QPoint(box[0].toInt(), box[1].toInt()), QPoint(box[2].toInt(), box[3].toInt()));
        QVERIFY(!map_->map_button()->geometry().intersects(text));
        QCOMPARE(map_->map_button()->geometry().right(), map_->width() - 1 - CMapDlg::kButtonMarginPx);
        map_->BackToMap();
        QVERIFY(loaded.wait(20000));
        QCOMPARE(map_->map_button()->geometry(), QRect(QPoint(65, 5), QPoint(95, 29)));
    }

    // Logged in to the simulator: the map opens with the fleet in view.
    void mainWindowOpensWithTheFleetInView() {
        MapWindowSession session;
        QVERIFY(session.Start(home_, 3));
        CMapDlg* map = MapViewOf(session.window());
        QTRY_VERIFY_WITH_TIMEOUT(map->fleetLayerShown(), 20000);
        const int vehicles = TreeOf(session.window())->EntryCount();
        QWebEnginePage* page = map->view()->page();
        QTRY_VERIFY_WITH_TIMEOUT(RunScript(page, "fleetSize()").toInt() >= vehicles, 15000);
        QCOMPARE(
            RunScript(page,
                      "(function () { var b = map.getBounds(), n = 0;"
                      " for (var row in fleetMarkers) if (b.contains(fleetMarkers[row].getLatLng())) n++;"
                      " return n; })()")
                .toInt(),
            RunScript(page, "fleetSize()").toInt());
    }

    // The whole way in the main window: a click on a vehicle of the map selects it in the tree and the list.
    void clickOnMarkerSelectsTheVehicleInTheTree() {
        MapWindowSession session;
        QVERIFY(session.Start(home_, 3));
        CAppMainDlg& window = session.window();
        DevTree* tree = TreeOf(window);
        CMapDlg* map = MapViewOf(window);
        QTRY_VERIFY_WITH_TIMEOUT(map->fleetLayerShown(), 20000);
        QWebEnginePage* page = map->view()->page();
        QTRY_VERIFY_WITH_TIMEOUT(
            RunScript(page, "fleetMarkers[2] !== undefined && fleetBridge !== null").toBool(), 15000);
        QCOMPARE(RunScript(page, "fleetMarkers[2].fleetId").toString(), VehicleListOf(window)->Cell(2, 0));
        const QPoint at = MarkerPoint(page, 2);
        QVERIFY(!at.isNull());
        ClickPage(map->view(), at);
        QTRY_COMPARE_WITH_TIMEOUT(tree->currentItem(), tree->Entry(2)->item, 5000);
        QCOMPARE(map->Index, 2);
        QCOMPARE(VehicleListOf(window)->currentIndex().row(), 2);
    }

  private:
    // How many of the page's fleet vehicles lie inside the map's view.
    int VehiclesInView() {
        return Eval(
                   "(function () { var b = map.getBounds(), n = 0;"
                   " for (var row in fleetMarkers) if (b.contains(fleetMarkers[row].getLatLng())) n++;"
                   " return n; })()")
            .toInt();
    }
    // How many marker icons on the page carry `title`.
    int DrawnIcons(const QString& title) {
        return Eval(QStringLiteral(
                        "Array.prototype.filter.call(document.querySelectorAll('.leaflet-marker-icon'),"
                        " function (e) { return e.title === '%1'; }).length")
                        .arg(title))
            .toInt();
    }
    void Open(const QStringList& page_files = {}) {
        MapViewSettings settings;
        settings.road_tiles = settings.photo_tiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
        settings.gps_offset_auto = false;
        settings.page_files = page_files;
        map_ = std::make_unique<CMapDlg>(*host_, settings);
        host_->dock_parent.show();
        map_->SetDockedRect(QRect(0, 0, 640, 480));
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        QVERIFY(loaded.wait(20000));
        if (page_files.isEmpty()) QTRY_VERIFY_WITH_TIMEOUT(map_->fleetLayerShown(), 5000);
    }
    QVariant Eval(const QString& script) { return RunScript(map_->view()->page(), script); }

    std::unique_ptr<TestMapHost> host_;
    std::unique_ptr<CMapDlg> map_;
};

QTEST_MAIN(MapFleetTest)
#include "map_fleet_display_test.moc"

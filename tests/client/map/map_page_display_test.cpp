// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in map page in Qt WebEngine, driven as the client drives it: positions through CMapDlg (the
// page elements and refreshMap), and the page's state read back with scripts.
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "map_test_support.h"

namespace {

// Positions near the simulator's first vehicle; each one step apart.
constexpr double kLat = 31.2300, kLng = 121.4700;

// A tile server on 127.0.0.1 that answers every request with one plain PNG tile and keeps the paths asked
// for.
class TileServer : public QObject {
  public:
    TileServer() {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(0xcc, 0xdd, 0xee));
        QBuffer buffer(&png_);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const QList<QByteArray> words = request.split(' ');
                    if (words.size() > 1) paths.append(QString::fromLatin1(words[1]));
                    if (!request.contains(" Tavrin/")) anonymous_requests++;
                    socket->write(
                        "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n"
                        "Access-Control-Allow-Origin: *\r\nContent-Length: " +
                        QByteArray::number(png_.size()) + "\r\n\r\n" + png_);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString Template(const QString& layer) const {
        return QStringLiteral("http://127.0.0.1:%1/%2/{z}/{x}/{y}.png").arg(server_.serverPort()).arg(layer);
    }
    QStringList paths;
    int anonymous_requests = 0;

  private:
    QTcpServer server_;
    QByteArray png_;
};

}  // namespace

class MapPageTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        host_ = std::make_unique<TestMapHost>();
        MapViewSettings settings;
        // An address nothing answers: no test reaches the internet, and the grid layer must take over.
        settings.road_tiles = settings.photo_tiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
        if (tiles_) {
            settings.road_tiles = tiles_->Template("road");
            settings.photo_tiles = tiles_->Template("photo");
        }
        settings.gps_offset_auto = false;
        settings.gps_offset_x = offset_x_;
        settings.gps_offset_y = offset_y_;
        map_ = std::make_unique<CMapDlg>(*host_, settings);
        host_->dock_parent.show();
        map_->SetDockedRect(QRect(0, 0, 600, 400));
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        QVERIFY(loaded.wait(20000));
        QCOMPARE(loaded.first().first().toBool(), true);
    }

    void cleanup() {
        map_.reset();
        host_.reset();
        offset_x_.clear();
        offset_y_.clear();
        tiles_.reset();
    }

    void PageStartsAsSpecified() {
        QCOMPARE(Eval("map.getZoom()").toInt(), 16);
        QCOMPARE(Eval("track.options.color").toString(), QStringLiteral("#FF0000"));
        QCOMPARE(Eval("track.options.opacity").toDouble(), 0.5);
        QCOMPARE(Eval("track.options.weight").toInt(), 5);
        QCOMPARE(Eval("document.getElementById('map_status').value").toString(), QStringLiteral("stopped"));
        for (const char* id : {"map_lng", "map_lat", "offset_lng", "offset_lat", "SpeedBar", "AngleBar",
                               "Index", "VehicleId"}) {
            QVERIFY2(
                Eval(QStringLiteral("document.getElementById('%1').type").arg(id)).toString() == "hidden",
                id);
        }
        QCOMPARE(Eval("document.getElementById('status_box').textContent").toString(), QString());
        // Every heading icon is in the resource and is a 32 x 32 image.
        Eval(
            "window.iconsLoaded = 0;"
            "HEADINGS.forEach(function (h) { var img = new Image();"
            " img.onload = function () { if (img.naturalWidth === 32 && img.naturalHeight === 32) "
            "iconsLoaded++; };"
            " img.src = 'icons/' + h[1] + '.svg'; })");
        QTRY_COMPARE(Eval("iconsLoaded").toInt(), 16);
    }

    // A jump (a restarted center, a vehicle off the air for minutes) starts a new segment of the track
    // instead of a straight line across; ordinary steps, even several arriving at once, stay one line.
    void JumpsStartNewTrackSegments() {
        map_->SelectVehicle(0);
        for (int step = 0; step < 3; ++step) QCOMPARE(map_->Position(Gprmc(kLat + 0.001 * step, kLng), 0), 1);
        QTRY_COMPARE(TrackLength(), 3);
        QCOMPARE(Eval("trackSegments.length").toInt(), 0);
        // 11 km at once.
        QCOMPARE(map_->Position(Gprmc(kLat + 0.1, kLng), 0), 1);
        QTRY_COMPARE(Eval("trackSegments.length").toInt(), 1);
        QCOMPARE(Eval("trackSegments[0].getLatLngs().length").toInt(), 3);
        QCOMPARE(TrackLength(), 1);
        QVERIFY(Eval("map.hasLayer(trackSegments[0])").toBool());
        QCOMPARE(Eval("trackSegments[0].options.color").toString(), QStringLiteral("#FF0000"));
        QCOMPARE(MarkerTitles(), QStringList({"Start Point - AB-3127", "Car Point - AB-3127"}));
        // Four minutes without a position (the page's clock set back): 330 m further is a new segment, 110 m
        // after another such pause is not.
        Eval("lastPointMs -= 4 * 60 * 1000; true");
        map_->Position(Gprmc(kLat + 0.103, kLng), 0);
        QTRY_COMPARE(Eval("trackSegments.length").toInt(), 2);
        Eval("lastPointMs -= 4 * 60 * 1000; true");
        map_->Position(Gprmc(kLat + 0.104, kLng), 0);
        QTRY_COMPARE(TrackLength(), 2);
        QCOMPARE(Eval("trackSegments.length").toInt(), 2);
        // Another vehicle: every segment goes.
        map_->SelectVehicle(1);
        QTRY_COMPARE(Eval("trackSegments.length").toInt(), 0);
        QCOMPARE(TrackLength(), 0);
        QCOMPARE(
            Eval("(function () { var n = 0; map.eachLayer(function (l) {"
                 " if (l instanceof L.Polyline && l.options.color === '#FF0000') n++; }); return n; })()")
                .toInt(),
            1);
    }

    void TrackGrowsFromStartMarker() {
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        QCOMPARE(MarkerTitles(), QStringList({"Start Point - AB-3127", "Car Point - AB-3127"}));
        QCOMPARE(TrackLength(), 1);

        QCOMPARE(map_->Position(Gprmc(kLat + 0.001, kLng), 0), 1);
        QCOMPARE(map_->Position(Gprmc(kLat + 0.002, kLng + 0.001), 0), 1);
        QCOMPARE(MarkerTitles(), QStringList({"Start Point - AB-3127", "Car Point - AB-3127"}));
        QCOMPARE(TrackLength(), 3);
        QVERIFY(qAbs(Eval("markers[1].getLatLng().lat").toDouble() - (kLat + 0.002)) < 1e-6);
        QVERIFY(qAbs(Eval("markers[1].getLatLng().lng").toDouble() - (kLng + 0.001)) < 1e-6);
        QVERIFY(qAbs(Eval("markers[0].getLatLng().lat").toDouble() - kLat) < 1e-6);
        // The speed is kept in km/h for the vehicle list.
        QCOMPARE(map_->SpeedBar, 10.0 * 1.852);

        // The same position again adds nothing; neither do other vehicles' positions.
        QCOMPARE(map_->Position(Gprmc(kLat + 0.002, kLng + 0.001), 0), 1);
        QCOMPARE(map_->Position(Gprmc(kLat + 0.01, kLng + 0.01), 1), 1);
        QCOMPARE(TrackLength(), 3);

        // Selecting the selected vehicle again keeps its track; another vehicle starts afresh.
        map_->SelectVehicle(0);
        QCOMPARE(TrackLength(), 3);
        map_->SelectVehicle(1);
        QCOMPARE(TrackLength(), 0);
        QCOMPARE(MarkerTitles(), QStringList());
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 1), 1);
        QCOMPARE(MarkerTitles(), QStringList({"Start Point - CD-0042", "Car Point - CD-0042"}));
    }

    void NothingDrawnWithoutAValidFix() {
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        // 0, 0 while running.
        SetElements("{map_lng: '0', map_lat: '0', map_status: 'running'}");
        Eval("refreshMap()");
        QCOMPARE(TrackLength(), 1);
        // An invalid sentence and positions outside the earth's coordinates.
        QCOMPARE(map_->Position("$GPRMC,120000,V,3113.8000,N,12128.2000,E,0.0,0.0,081226,,,N*00", 0), 0);
        QCOMPARE(map_->Position(Gprmc(95.5, kLng), 0), 0);
        QCOMPARE(map_->Position(Gprmc(kLat, 185.25), 0), 0);
        SetElements("{map_lng: '121.47', map_lat: '95.5', map_status: 'running'}");
        Eval("refreshMap()");
        QCOMPARE(TrackLength(), 1);
    }

    void ClearAndEndPoint() {
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        QCOMPARE(map_->Position(Gprmc(kLat + 0.001, kLng), 0), 1);
        // A status other than "running" after a track marks its end and the next point starts a new one.
        SetElements("{map_status: 'stopped'}");
        Eval("refreshMap()");
        QCOMPARE(MarkerTitles(),
                 QStringList({"Start Point - AB-3127", "Car Point - AB-3127", "End Point - AB-3127"}));
        QCOMPARE(Eval("firstPoint").toInt(), 1);
        Eval("refreshMap()");
        QCOMPARE(MarkerTitles().size(), 3);

        // "clear" wipes markers and track (the client's logout).
        QCOMPARE(map_->Position(Gprmc(kLat + 0.002, kLng), 0), 1);
        QCOMPARE(TrackLength(), 1);
        map_->Clear();
        QCOMPARE(map_->Index, CMapDlg::kNoVehicle);
        QCOMPARE(MarkerTitles(), QStringList());
        QCOMPARE(TrackLength(), 0);
        QCOMPARE(Eval("lastLng + lastLat").toDouble(), 0.0);
    }

    void HeadingIcons_data() {
        QTest::addColumn<double>("course");
        QTest::addColumn<QString>("icon");
        QTest::newRow("350") << 350.0 << "n";
        QTest::newRow("12") << 12.0 << "nne";
        QTest::newRow("11") << 11.0 << "n";
        QTest::newRow("90") << 90.0 << "e";
        QTest::newRow("200") << 200.0 << "ssw";
        QTest::newRow("327") << 327.0 << "nnw";
    }

    void HeadingIcons() {
        QFETCH(double, course);
        QFETCH(QString, icon);
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng, 5.0, course), 0), 1);
        QCOMPARE(Eval("markers[markers.length - 1].options.icon.options.iconUrl").toString(),
                 QStringLiteral("icons/%1.svg").arg(icon));
        QCOMPARE(Eval("markers[markers.length - 1].options.icon.options.iconAnchor.join(',')").toString(),
                 QStringLiteral("16,16"));
    }

    void OffsetsOnRoadMapOnly() {
        // GPS_Offset_X is the latitude offset, GPS_Offset_Y the longitude offset.
        offset_x_ = QStringLiteral("0.001");
        offset_y_ = QStringLiteral("-0.002xyz");
        cleanup_and_init_keeping_offsets();
        QCOMPARE(map_->offset_lat, 0.001);
        QCOMPARE(map_->offset_lng, -0.002);

        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        QCOMPARE(map_->Position(Gprmc(kLat + 0.001, kLng), 0), 1);
        QCOMPARE(TrackLength(), 2);
        QVERIFY(qAbs(Eval("markers[1].getLatLng().lat").toDouble() - (kLat + 0.002)) < 1e-6);
        QVERIFY(qAbs(Eval("markers[1].getLatLng().lng").toDouble() - (kLng - 0.002)) < 1e-6);

        // The user picks the satellite layer: with a non-zero offset the track starts again, unshifted.
        Eval("document.querySelectorAll('.leaflet-control-layers-base input')[1].click()");
        QCOMPARE(Eval("map.hasLayer(photoLayer)").toBool(), true);
        QCOMPARE(map_->Position(Gprmc(kLat + 0.002, kLng), 0), 1);
        QCOMPARE(TrackLength(), 1);
        QCOMPARE(MarkerTitles(), QStringList({"Start Point - AB-3127", "Car Point - AB-3127"}));
        QVERIFY(qAbs(Eval("markers[1].getLatLng().lat").toDouble() - (kLat + 0.002)) < 1e-6);
        QVERIFY(qAbs(Eval("markers[1].getLatLng().lng").toDouble() - kLng) < 1e-6);
    }

    void ServerTextsStayText() {
        host_->vehicle_ids[0] = QStringLiteral("<img src=x onerror=\"window.injected=1\">'\");injected=2;//");
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        QCOMPARE(MarkerTitles().value(0), "Start Point - " + host_->vehicle_ids[0]);
        QCOMPARE(Eval("document.querySelectorAll('img[src=\"x\"]').length").toInt(), 0);
        QCOMPARE(Eval("typeof window.injected").toString(), QStringLiteral("undefined"));
        QCOMPARE(Eval("document.querySelector('.leaflet-marker-icon').title").toString(),
                 "Start Point - " + host_->vehicle_ids[0]);
    }

    void GridLayerWhenTilesFail() {
        QTRY_VERIFY_WITH_TIMEOUT(Eval("map.hasLayer(gridLayer)").toBool(), 10000);
        QVERIFY(Eval("document.querySelectorAll('canvas.leaflet-tile').length").toInt() > 0);
        // Degree labels along the edges, e.g. "121.470°E" and "31.230°N" at zoom 16.
        const QStringList labels =
            Eval(
                "Array.from(document.querySelectorAll('.coordinate-grid-label')).map(function (l) {"
                " return l.textContent; })")
                .toStringList();
        QVERIFY(labels.contains(QString::fromUtf8("121.470\u00b0E")));
        QVERIFY(!labels.filter(QRegularExpression(QString::fromUtf8("^31\\.2\\d\\d\u00b0N$"))).isEmpty());
    }

    void TilesFromTheConfiguredServers() {
        tiles_ = std::make_unique<TileServer>();
        map_.reset();
        init();
        QTRY_VERIFY_WITH_TIMEOUT(Eval("roadLayer.tilesLoaded").toInt() > 0, 10000);
        QVERIFY(tiles_->paths.first().startsWith("/road/16/"));
        QCOMPARE(tiles_->anonymous_requests, 0);
        QTest::qWait(4500);  // past the page's wait for a first tile
        QCOMPARE(Eval("map.hasLayer(gridLayer)").toBool(), false);
        // The satellite-style layer takes its tiles from its own template.
        Eval("document.querySelectorAll('.leaflet-control-layers-base input')[1].click()");
        QTRY_VERIFY_WITH_TIMEOUT(Eval("photoLayer.tilesLoaded").toInt() > 0, 10000);
        QVERIFY(!tiles_->paths.filter(QRegularExpression("^/photo/16/\\d+/\\d+\\.png$")).isEmpty());
    }

  private:
    QVariant Eval(const QString& script) { return RunScript(map_->view()->page(), script); }
    void SetElements(const QString& values) {
        Eval(QStringLiteral(
                 "(function (v) { for (var id in v) document.getElementById(id).value = v[id]; })(%1)")
                 .arg(values));
    }
    QStringList MarkerTitles() {
        return Eval("markers.map(function (m) { return m.options.title; })").toStringList();
    }
    int TrackLength() { return Eval("track.getLatLngs().length").toInt(); }
    void cleanup_and_init_keeping_offsets() {
        map_.reset();
        init();
    }

    std::unique_ptr<TestMapHost> host_;
    std::unique_ptr<CMapDlg> map_;
    QString offset_x_, offset_y_;
    std::unique_ptr<TileServer> tiles_;
};

QTEST_MAIN(MapPageTest)
#include "map_page_display_test.moc"

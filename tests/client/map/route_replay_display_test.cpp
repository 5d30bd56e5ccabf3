// SPDX-License-Identifier: GPL-3.0-or-later
// The route replay in the real client against velq-sim: every listed vehicle's positions reach the
// history (not only the selected one's), the replay button opens the window, and the built-in page draws
// the track by speed, the stop with its duration and a marker that follows the slider, all shifted by the
// vehicle's street correction as the live map draws it. A replacement page without the replay functions
// leaves the replay unavailable, said in the window, with no error.
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "map/replay_panel.h"
#include "map_test_support.h"
#include "positions/position_store.h"
#include "positions/position_track.h"

class RouteReplayDisplayTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void everyVehicleIsKeptAndItsRouteReplaysOnTheMap() {
        // An hour ago the vehicle drove north for 10 minutes, stood 4 minutes, and drove on.
        const int64_t start_s = QDateTime::currentSecsSinceEpoch() - 3600;
        {
            PositionStoreOptions options;
            options.path = home_.path() + "positions.db";
            PositionStore earlier(options);
            for (int64_t t = 0; t <= 1200; t += 5) {
                const bool standing = t >= 600 && t < 840;
                const double north = std::min<int64_t>(t, 600) + std::max<int64_t>(0, t - 840);
                earlier.Add(*MakeFix("MDVR-10008", start_s + t, 48.10 + north * 1e-5, 11.55,
                                     standing ? 0 : 20 + (t % 300) / 5, 0));
            }
            QVERIFY(earlier.Flush(5000));
        }
        MapWindowSession session;
        QVERIFY(session.Start(home_, 2));
        CAppMainDlg& window = session.window();
        CMapDlg* map = MapViewOf(window);
        QTRY_VERIFY_WITH_TIMEOUT(map->page_loaded(), 20000);
        // Six of the eight vehicles report; none was selected.
        QTRY_VERIFY_WITH_TIMEOUT(TrackedVehicles(home_.path() + "positions.db").size() >= 6, 10000);
        QCOMPARE(map->Index, CMapDlg::kNoVehicle);

        auto* button = map->findChild<QToolButton*>("replay_button");
        QVERIFY(button && button->isVisible());
        QVERIFY(!button->geometry().intersects(map->map_button()->geometry()));
        button->click();
        auto* panel = window.findChild<ReplayPanel*>("route_replay");
        QVERIFY(panel && panel->isVisible());
        const int row = panel->vehicleBox()->findData("MDVR-10008");
        QVERIFY(row >= 0);
        QVERIFY(panel->vehicleBox()->itemText(row).contains("SE-5309"));  // the label from the vehicle list
        panel->vehicleBox()->setCurrentIndex(row);
        panel->fromEdit()->setDateTime(QDateTime::fromSecsSinceEpoch(start_s - 60));
        panel->toEdit()->setDateTime(QDateTime::fromSecsSinceEpoch(start_s + 1260));
        panel->ShowTrack();
        QCOMPARE(panel->replay().stops().size(), 1);
        QWebEnginePage* page = map->view()->page();
        QTRY_VERIFY_WITH_TIMEOUT(RunScript(page, "replayLayer.getLayers().length").toInt() >= 4, 5000);
        // Speeds from 20 to 79 km/h and the stop: lines of several colours.
        QVERIFY(RunScript(page,
                          "(function () { var c = {}; replayLayer.eachLayer(function (l) {"
                          " if (l instanceof L.Polyline) c[l.options.color] = 1; });"
                          " return Object.keys(c).length; })()")
                    .toInt() >= 3);
        QCOMPARE(RunScript(page, "document.querySelector('.replay-stop').textContent").toString(),
                 panel->StopLabel(panel->replay().stops()[0]));
        QVERIFY(panel->StopLabel(panel->replay().stops()[0]).startsWith("4 min"));
        panel->slider()->setValue(panel->slider()->maximum());
        QTRY_COMPARE_WITH_TIMEOUT(qRound(RunScript(page, "replayMarker.getLatLng().lat").toDouble() * 1e5),
                                  4810000 + 600 + 360, 5000);
        panel->hide();
        QTRY_COMPARE_WITH_TIMEOUT(RunScript(page, "map.hasLayer(replayLayer)").toBool(), false, 5000);
    }

    void replacementPageLeavesReplayUnavailable() {
        QTemporaryDir folder;
        QFile file(folder.filePath("mapdlg.htm"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "<html><body><input type=hidden id=map_status value=stopped>"
            "<script>function refreshMap() {}</script></body></html>");
        file.close();
        TestMapHost host;
        MapViewSettings settings;
        settings.gps_offset_auto = false;
        settings.page_files = {folder.filePath("mapdlg.htm")};
        CMapDlg map(host, settings);
        host.dock_parent.show();
        QSignalSpy loaded(&map, &CMapDlg::PageLoaded);
        QVERIFY(loaded.wait(20000));
        ReplayPanel panel(
            {[] {
                 return QList<QPair<QString, QString>>{{"V1", ""}};
             },
             [](const QString&, int64_t from_s, int64_t) {
                 return QList<PositionFix>{*MakeFix("V1", from_s + 1, 1, 1, 10, 0),
                                           *MakeFix("V1", from_s + 6, 1, 1.001, 10, 0)};
             },
             [&map](const QString& name, const QByteArray& json, std::function<void(bool)> done) {
                 map.CallPageFunction(name, json, std::move(done));
             },
             {}});
        panel.show();
        panel.ShowTrack();
        QTRY_COMPARE_WITH_TIMEOUT(panel.statusLabel()->text(),
                                  QStringLiteral("Route replay is not available on this map page."), 5000);
        panel.slider()->setValue(3);
        QCOMPARE(RunScript(map.view()->page(), "typeof showReplay").toString(), QStringLiteral("undefined"));
    }

    // The replayed track, its stop and its marker lie where the live map draws the vehicle: shifted by
    // the vehicle's street correction on the road map, as reported on the photo map, placed again when
    // the base layer changes.
    void theReplayLiesWhereTheLiveMapDrawsTheVehicle() {
        constexpr double kOffsetLat = 0.002, kOffsetLng = 0.003;
        TestMapHost host;
        MapViewSettings settings;
        settings.road_tiles = settings.photo_tiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
        settings.gps_offset_auto = false;
        settings.gps_offset_x = QString::number(kOffsetLat);
        settings.gps_offset_y = QString::number(kOffsetLng);
        CMapDlg map(host, settings);
        host.dock_parent.show();
        map.SetDockedRect(QRect(0, 0, 640, 480));
        QSignalSpy loaded(&map, &CMapDlg::PageLoaded);
        QVERIFY(loaded.wait(20000));
        // East for a minute, three minutes standing, on again.
        QList<PositionFix> track;
        for (int t = 0; t < 60; t += 5)
            track.append(*MakeFix("V1", 1000 + t, 48.137, 11.575 + t * 1e-5, 30, 90));
        for (int t = 60; t <= 240; t += 60) track.append(*MakeFix("V1", 1000 + t, 48.137, 11.5756, 0, 90));
        track.append(*MakeFix("V1", 1245, 48.137, 11.5757, 30, 90));
        ReplayPanel panel(
            {[] {
                 return QList<QPair<QString, QString>>{{"V1", ""}};
             },
             [&track](const QString&, int64_t, int64_t) { return track; },
             [&map](const QString& name, const QByteArray& json, std::function<void(bool)> done) {
                 map.CallPageFunction(name, json, std::move(done));
             },
             [&map](double lat_deg, double lng_deg) {
                 const MapZone::Point offset = map.OffsetAt(lat_deg, lng_deg);
                 return RouteReplay::Offset{offset.lat_deg, offset.lng_deg};
             }});
        panel.show();
        panel.ShowTrack();
        QCOMPARE(panel.replay().stops().size(), 1);
        QWebEnginePage* page = map.view()->page();
        const auto shown = [page](const char* layer) {
            const QVariantList at =
                RunScript(page, QStringLiteral("(function () { var at = null;"
                                               " replayLayer.eachLayer(function (l) {"
                                               " if (!at && %1) at = l; });"
                                               " if (!at) return [];"
                                               " var p = at.getLatLngs ? at.getLatLngs()[0]"
                                               " : at.getLatLng(); return [p.lat, p.lng]; })()")
                                    .arg(QString::fromUtf8(layer)))
                    .toList();
            return at.size() == 2 ? QPair<qint64, qint64>(qRound64(at[0].toDouble() * 1e7),
                                                          qRound64(at[1].toDouble() * 1e7))
                                  : QPair<qint64, qint64>(0, 0);
        };
        const auto place = [](double lat_deg, double lng_deg) {
            return QPair<qint64, qint64>(qRound64(lat_deg * 1e7), qRound64(lng_deg * 1e7));
        };
        const char* line = "l instanceof L.Polyline";
        const char* stop = "l instanceof L.CircleMarker";
        const char* marker = "l === replayMarker";
        QTRY_COMPARE_WITH_TIMEOUT(shown(line), place(48.137 + kOffsetLat, 11.575 + kOffsetLng), 5000);
        QCOMPARE(shown(stop), place(48.137 + kOffsetLat, 11.5756 + kOffsetLng));
        QCOMPARE(shown(marker), place(48.137 + kOffsetLat, 11.575 + kOffsetLng));

        RunScript(page,
                  "map.removeLayer(roadLayer); map.addLayer(photoLayer); map.fire('baselayerchange'); true");
        QTRY_COMPARE_WITH_TIMEOUT(shown(line), place(48.137, 11.575), 5000);
        QCOMPARE(shown(stop), place(48.137, 11.5756));
        panel.slider()->setValue(30);
        QTRY_COMPARE_WITH_TIMEOUT(shown(marker), place(48.137, 11.5753), 5000);

        // A corrected place off the world is drawn where it was reported; a client that sends no
        // correction gets the track as reported.
        RunScript(page,
                  "showReplay({points: [[89.999, 179.999, 20, 0], [89.999, 179.998, 20, 5]],"
                  " stops: [], offset: [0.002, 0.003]}); true");
        QTRY_COMPARE_WITH_TIMEOUT(shown(line), place(89.999, 179.999), 5000);
        RunScript(page, "showReplay({points: [[48.1, 11.5, 20, 0], [48.1, 11.6, 20, 60]], stops: []}); true");
        QTRY_COMPARE_WITH_TIMEOUT(shown(line), place(48.1, 11.5), 5000);
    }
};

QTEST_MAIN(RouteReplayDisplayTest)
#include "route_replay_display_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The map view inside the main window, logged in to velq-sim: the selected vehicle's track, the speed
// cells, the Playback panel's swap and playback page, the Map toggle and logout.
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <QWindow>

#include "../client_fixture.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "map/map_dlg.h"
#include "map_test_support.h"
#include "shell/app_main_dlg.h"

class MapMainWindowTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void followsTheSelectedVehicle() {
        MapWindowSession session;
        QVERIFY(session.Start(home_, 2));
        CAppMainDlg& window = session.window();
        DevTree* tree = TreeOf(window);
        CMapDlg* map = MapViewOf(window);
        QTRY_VERIFY_WITH_TIMEOUT(map->page_loaded(), 20000);
        QWidget* central = window.centralWidget();
        QCOMPARE(map->geometry(),
                 MainLayout(230).Place(MainLayout::kMapView, central->width(), central->height()));
        QCOMPARE(map->parentWidget(), window.centralWidget());
        // The browser draws into the window's backing store: a web view drawing through OpenGL would make
        // every video tile's repaint re-compose the whole main window.
        QCOMPARE(window.windowHandle()->surfaceType(), QSurface::RasterSurface);

        // Selecting a vehicle draws its track from a start marker, named after its vehicle-list row.
        const DevTreeEntry* first = tree->Entry(0);
        window.SelectDeviceNode(first->item);
        QCOMPARE(map->Index, 0);
        const QString vehicle = VehicleListOf(window)->Cell(0, 0);
        QVERIFY(!vehicle.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(Eval(map, "markers.length").toInt(), 2, 5000);
        QCOMPARE(Eval(map, "markers[0].options.title").toString(), "Start Point - " + vehicle);
        QVERIFY(
            QRegularExpression(R"(^\d+\.\d\d km/h$)").match(VehicleListOf(window)->Cell(0, 2)).hasMatch());
        // The simulated vehicle drives on: its track grows.
        QTRY_VERIFY_WITH_TIMEOUT(Eval(map, "track.getLatLngs().length").toInt() >= 2, 30000);

        // Playback: the map takes the grid's place and shows the playback page; selections wait.
        const QRect map_slot = map->geometry();
        const QRect grid_slot = GridOf(window)->geometry();
        window.ShowPanel(CAppMainDlg::kPlayback);
        QCOMPARE(GridOf(window)->geometry(), map_slot);
        QCOMPARE(map->geometry(), grid_slot);
        home_.WriteFile("playback.htm", "<html><body>playback</body></html>");
        QSignalSpy loaded(map, &CMapDlg::PageLoaded);
        map->ShowPlaybackPage(QUrl::fromLocalFile(home_.path() + "playback.htm"));
        QVERIFY(loaded.wait(20000));
        window.SelectDeviceNode(tree->Entry(1)->item);
        QCOMPARE(map->Index, CMapDlg::kPlaybackPage);
        // Back to the device list: the live map again, nothing selected.
        window.ShowPanel(CAppMainDlg::kDeviceList);
        QCOMPARE(map->Index, CMapDlg::kNoVehicle);
        QCOMPARE(map->geometry(), map_slot);
        QVERIFY(loaded.wait(20000));
        QCOMPARE(map->view()->url(), CMapDlg::BuiltInPageUrl());

        // The Map command floats the view and puts it back in its slot.
        window.SelectDeviceNode(tree->Entry(1)->item);
        QCOMPARE(map->Index, 1);
        QTRY_COMPARE_WITH_TIMEOUT(Eval(map, "markers.length").toInt(), 2, 5000);
        window.ToggleMapView();
        QVERIFY(map->isWindow());
        window.ToggleMapView();
        QCOMPARE(map->parentWidget(), window.centralWidget());
        QCOMPARE(map->geometry(), map_slot);
        QCOMPARE(window.windowHandle()->surfaceType(), QSurface::RasterSurface);

        // Logout forgets the vehicle and wipes the track.
        window.LogoutCleanup();
        QCOMPARE(map->Index, CMapDlg::kNoVehicle);
        QTRY_COMPARE_WITH_TIMEOUT(Eval(map, "markers.length").toInt(), 0, 5000);
        QCOMPARE(Eval(map, "track.getLatLngs().length").toInt(), 0);
    }

  private:
    static QVariant Eval(CMapDlg* map, const QString& script) {
        return RunScript(map->view()->page(), script);
    }
};

QTEST_MAIN(MapMainWindowTest)
#include "map_main_window_display_test.moc"

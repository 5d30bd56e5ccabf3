// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout rows, and the grid and map view trading places while "Playback" is shown.
#include <QTest>

#include "../client_fixture.h"
#include "fleet/device_status_list.h"
#include "grid/page_tab.h"
#include "main_window_fixture.h"
#include "map/map_dlg.h"
#include "shell/app_main_dlg.h"
#include "shell/main_layout.h"
#include "shell/panel_selector.h"
#include "shell/panel_splitter.h"
#include "shell/status_line.h"

namespace {

// (left, top) to (right, bottom) edges of a placed rectangle.
QRect Edges(int l, int t, int r, int b) {
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

}  // namespace

class MainLayoutTest : public QObject {
    Q_OBJECT
  private slots:
    void everyRowAt1024x768() {
        const MainLayout layout(230);
        QCOMPARE(layout.Place(MainLayout::kStatusLine, 1024, 768), Edges(361, 7, 1017, 44));
        for (auto row : {MainLayout::kTree, MainLayout::kLog, MainLayout::kSearch})
            QCOMPARE(layout.Place(row, 1024, 768), Edges(7, 44, 237, 507));
        QCOMPARE(layout.Place(MainLayout::kVehicleList, 1024, 768), Edges(7, 514, 505, 761));
        QCOMPARE(layout.Place(MainLayout::kMapView, 1024, 768), Edges(512, 514, 1017, 761));
        QCOMPARE(layout.Place(MainLayout::kGrid, 1024, 768), Edges(244, 45, 1017, 507));
        QCOMPARE(MainLayout::SelectorRect(2), QRect(243, 7, 118, 37));
    }

    void panelWidthMovesTheLeftColumn() {
        const MainLayout layout(300);
        QCOMPARE(layout.Place(MainLayout::kTree, 1280, 900), Edges(7, 44, 307, 596));
        QCOMPARE(layout.Place(MainLayout::kGrid, 1280, 900), Edges(314, 45, 1273, 596));
    }

    void playbackSwapsGridAndMapAndBack() {
        ScratchHome home;
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        const MainLayout rows(230);
        const auto place = [&](MainLayout::Row row) {
            return rows.Place(row, window.centralWidget()->width(), window.centralWidget()->height());
        };
        QTRY_COMPARE(GridOf(window)->geometry(), place(MainLayout::kGrid));
        QCOMPARE(MapViewOf(window)->geometry(), place(MainLayout::kMapView));
        window.ShowPanel(CAppMainDlg::kPlayback);
        QCOMPARE(GridOf(window)->geometry(), place(MainLayout::kMapView));
        QCOMPARE(MapViewOf(window)->geometry(), place(MainLayout::kGrid));
        QVERIFY(window.findChild<LeftPanels*>()->panel(CAppMainDlg::kPlayback)->isVisible());
        QVERIFY(!window.findChild<LeftPanels*>()->panel(CAppMainDlg::kDeviceList)->isVisible());
        // A resize while Playback is shown keeps the swap.
        window.resize(1100, 850);
        QTRY_COMPARE(MapViewOf(window)->geometry(), place(MainLayout::kGrid));
        QCOMPARE(GridOf(window)->geometry(), place(MainLayout::kMapView));
        window.ShowPanel(CAppMainDlg::kLogInfo);
        QCOMPARE(GridOf(window)->geometry(), place(MainLayout::kGrid));
        QCOMPARE(MapViewOf(window)->geometry(), place(MainLayout::kMapView));
        QVERIFY(SelectorOf(window, CAppMainDlg::kLogInfo)->isOn());
        QVERIFY(!SelectorOf(window, CAppMainDlg::kPlayback)->isOn());
        // The same panel again changes nothing.
        window.ShowPanel(CAppMainDlg::kLogInfo);
        QCOMPARE(window.findChild<LeftPanels*>()->current(), int(CAppMainDlg::kLogInfo));
    }

    // The handle in the gap beside the left column widens it (the grid, and the map view standing in for
    // it during Playback, give way); the width is remembered in Tavrin.ini, never in Config.ini, and the
    // next window opens with it. Untouched, every rectangle is the default one.
    void draggingTheGapWidensTheLeftColumn() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\n");
        auto client = home.StartClient();
        {
            MainWindowFixture window_fixture(*client);
            CAppMainDlg& window = window_fixture.window();
            window.show();
            QWidget* central = window.centralWidget();
            const auto place = [&](int panel_width, MainLayout::Row row) {
                return MainLayout(panel_width).Place(row, central->width(), central->height());
            };
            QTRY_COMPARE(TreeOf(window)->geometry(), place(230, MainLayout::kTree));
            QCOMPARE(GridOf(window)->geometry(), place(230, MainLayout::kGrid));
            PanelSplitter* handle = window.findChild<PanelSplitter*>();
            QCOMPARE(handle->geometry(), QRect(237, 44, 7, place(230, MainLayout::kTree).height()));
            QCOMPARE(handle->cursor().shape(), Qt::SplitHCursor);

            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 100));
            QTest::mouseMove(handle, QPoint(63, 100));
            // The handle has followed the mouse by 60 pixels: 100 pixels right of the press.
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(43, 100));
            QCOMPARE(TreeOf(window)->geometry().width(), 330);  // the column's width
            for (auto row : {MainLayout::kTree, MainLayout::kGrid})
                QCOMPARE(row == MainLayout::kTree ? TreeOf(window)->geometry() : GridOf(window)->geometry(),
                         place(330, row));
            QCOMPARE(window.findChild<LeftPanels*>()->panel(CAppMainDlg::kAlarmList)->geometry(),
                     place(330, MainLayout::kTree));
            QCOMPARE(VehicleListOf(window)->geometry(), place(230, MainLayout::kVehicleList));
            QCOMPARE(MapViewOf(window)->geometry(), place(230, MainLayout::kMapView));
            QCOMPARE(handle->geometry().left(), 337);
            QVERIFY(home.ReadFile("Tavrin.ini").contains("LeftPanelWidth=330"));
            QVERIFY(!home.ReadFile("Config.ini").contains("330"));

            // During Playback the map view stands in the grid's place and moves with the column.
            window.ShowPanel(CAppMainDlg::kPlayback);
            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 100));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(-47, 100));
            QCOMPARE(MapViewOf(window)->geometry(), place(280, MainLayout::kGrid));
            QCOMPARE(GridOf(window)->geometry(), place(280, MainLayout::kMapView));
            window.ShowPanel(CAppMainDlg::kDeviceList);
            QCOMPARE(GridOf(window)->geometry(), place(280, MainLayout::kGrid));

            // The grid keeps its room however far the handle goes; the column keeps its minimum.
            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 100));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(3000, 100));
            QCOMPARE(GridOf(window)->geometry().width(), PanelSplitter::kMinGridWidthPx);
            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 100));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(-3000, 100));
            QCOMPARE(TreeOf(window)->geometry().width(), int(AppSettings::kMinPanelWidth));
            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 100));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(183, 100));
            window.close();
        }
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        QTRY_COMPARE(TreeOf(window)->geometry(),
                     MainLayout(300).Place(MainLayout::kTree, window.centralWidget()->width(),
                                           window.centralWidget()->height()));
        // A width that is no width falls back to the setting's.
        home.WriteFile("Tavrin.ini", "[MainWindow]\nLeftPanelWidth=-5\n");
        MainWindowFixture again_fixture(*client);
        CAppMainDlg& again = again_fixture.window();
        again.show();
        QTRY_COMPARE(TreeOf(again)->geometry().width(), 230);
    }

    // Right to left every rectangle is mirrored about the client area's centre line.
    void rightToLeftMirrorsEveryRow() {
        const MainLayout layout(230, Qt::RightToLeft);
        QCOMPARE(layout.Place(MainLayout::kStatusLine, 1024, 768), Edges(7, 7, 663, 44));
        QCOMPARE(layout.Place(MainLayout::kTree, 1024, 768), Edges(787, 44, 1017, 507));
        QCOMPARE(layout.Place(MainLayout::kVehicleList, 1024, 768), Edges(519, 514, 1017, 761));
        QCOMPARE(layout.Place(MainLayout::kMapView, 1024, 768), Edges(7, 514, 512, 761));
        QCOMPARE(layout.Place(MainLayout::kGrid, 1024, 768), Edges(7, 45, 780, 507));
        QCOMPARE(layout.PlaceSelector(0, 1024), QRect(899, 7, 118, 37));
        QCOMPARE(MainLayout(230).PlaceSelector(0, 1024), MainLayout::SelectorRect(0));
    }

    // A Hebrew window: panels on the right, grid on the left, and what shows the world (the video tiles,
    // the map) still left to right inside; a resize keeps the mirror.
    void hebrewWindowIsMirroredButNotItsVideoOrMap() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=he_IL\n");
        home.CopyLanguage("he_IL");
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        QCOMPARE(window.layoutDirection(), Qt::RightToLeft);
        const MainLayout rows(230, Qt::RightToLeft);
        const auto place = [&](MainLayout::Row row) {
            return rows.Place(row, window.centralWidget()->width(), window.centralWidget()->height());
        };
        QTRY_COMPARE(TreeOf(window)->geometry(), place(MainLayout::kTree));
        QCOMPARE(TreeOf(window)->geometry().right(), window.centralWidget()->width() - 8);
        QCOMPARE(GridOf(window)->geometry(), place(MainLayout::kGrid));
        QCOMPARE(SelectorOf(window, 0)->geometry(), rows.PlaceSelector(0, window.centralWidget()->width()));
        QCOMPARE(GridOf(window)->layoutDirection(), Qt::LeftToRight);
        QCOMPARE(MapViewOf(window)->layoutDirection(), Qt::LeftToRight);
        window.resize(1100, 850);
        QTRY_COMPARE(SelectorOf(window, 2)->geometry(),
                     rows.PlaceSelector(2, window.centralWidget()->width()));
        QCOMPARE(MapViewOf(window)->geometry(), place(MainLayout::kMapView));
        // The column's handle stands left of it and widens it to the left.
        PanelSplitter* handle = window.findChild<PanelSplitter*>();
        QCOMPARE(handle->geometry().right() + 1, TreeOf(window)->geometry().left());
        QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 100));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(-47, 100));
        QCOMPARE(TreeOf(window)->geometry(), MainLayout(280, Qt::RightToLeft)
                                                 .Place(MainLayout::kTree, window.centralWidget()->width(),
                                                        window.centralWidget()->height()));
        QCOMPARE(TreeOf(window)->geometry().right(), window.centralWidget()->width() - 8);
    }
};

QTEST_MAIN(MainLayoutTest)
#include "main_layout_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a vehicle's video in the whole client (velq-sim's center on 127.0.0.1, the session the map tests
// use): a vehicle already shown together shows that page again instead of adding one.
#include <QTest>
#include <algorithm>

#include "../map/map_test_support.h"
#include "fleet/dev_tree.h"
#include "grid/grid_model.h"
#include "grid/page_tab.h"
#include "shell/app_main_dlg.h"

class VehicleSelectionTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void openingAShownVehicleAgainAddsNoPage() {
        MapWindowSession session;
        QVERIFY(session.Start(home_, 2));
        CAppMainDlg& window = session.window();
        DevTree* tree = TreeOf(window);
        // Two vehicles with channels, each on a page of its own.
        std::vector<int> rows;
        for (int row = 0; row < tree->EntryCount() && rows.size() < 2; ++row) {
            if (tree->Entry(row) && tree->Entry(row)->item && tree->Entry(row)->item->childCount() > 0)
                rows.push_back(row);
        }
        QCOMPARE(rows.size(), size_t(2));
        GridModel& grid = GridOf(window)->Model();
        emit tree->vehicleActivated(rows[0]);
        const int first_page = grid.CurrentPage();
        const std::vector<GridSlot*> first_windows = grid.Windows();
        emit tree->vehicleActivated(rows[1]);
        const int second_page = grid.CurrentPage();
        QVERIFY(second_page > first_page);
        const int pages = grid.Pages();
        const int bound = grid.BoundCount();

        // Asked again and again, as a map page or alarms could: the same pages, shown in turn, nothing moves.
        for (int round = 0; round < 10; ++round) {
            for (const int row : rows) {
                emit tree->vehicleActivated(row);
                QCOMPARE(grid.Pages(), pages);
                QCOMPARE(grid.BoundCount(), bound);
                QCOMPARE(grid.CurrentPage(), row == rows[0] ? first_page : second_page);
                QVERIFY(grid.ActiveWindow() && grid.ActiveWindow()->channel_item);
                QCOMPARE(grid.ActiveWindow()->channel_item, tree->Entry(row)->item->child(0));
            }
        }
        const size_t first_cell = size_t(first_page * grid.Cells());
        for (size_t i = first_cell; i < first_cell + size_t(grid.Cells()); ++i)
            QCOMPARE(grid.Windows()[i], first_windows[i]);

        // One of its channels closed: the vehicle is no longer whole there, so its channels open together
        // again at the end of the packed grid, after the other vehicle's, and their first page is shown.
        QTreeWidgetItem* vehicle = tree->Entry(rows[0])->item;
        grid.CloseWindow(grid.FindWindowOfNode(vehicle->child(0)));
        emit tree->vehicleActivated(rows[0]);
        QCOMPARE(grid.BoundCount(), bound);
        const std::vector<GridSlot*>& windows = grid.Windows();
        const auto at = [&](const QTreeWidgetItem* node) {
            return int(std::find(windows.begin(), windows.end(), grid.FindWindowOfNode(node)) -
                       windows.begin());
        };
        const int first = at(vehicle->child(0));
        for (int i = 0; i < vehicle->childCount(); ++i) QCOMPARE(at(vehicle->child(i)), first + i);
        QCOMPARE(first + vehicle->childCount(), bound);
        QCOMPARE(grid.CurrentPage(), first / grid.Cells());
        QCOMPARE(grid.ActiveWindow()->channel_item, vehicle->child(0));
    }
};

QTEST_MAIN(VehicleSelectionTest)
#include "vehicle_selection_test.moc"

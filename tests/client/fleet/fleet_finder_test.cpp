// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and sorting vehicles: the filter's matching rules, the vehicle list's sort orders (by clicking
// its headings), and the filter box and the "show offline vehicles" switch in the logged-in main window
// (offline vehicles shown by default; the switch kept in Tavrin.ini, never in Config.ini).
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "../client_fixture.h"
#include "app/app_profile.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_filter.h"
#include "fleet/fleet_finder.h"
#include "fleet/fleet_presenter.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"

namespace {

// The model's rows in the order the list shows them, without the hidden ones.
QList<int> ShownOrder(const DeviceStatusList& list) {
    QList<int> rows;
    for (int place = 0; place < list.rowCount(); ++place) {
        const int row = list.RowAt(place);
        if (list.RowShown(row)) rows << row;
    }
    return rows;
}

void ClickHeading(DeviceStatusList& list, int column) {
    QHeaderView* header = list.header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class FleetFinderTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void filterMatchesAnyOfTheThreeTextsIgnoringCase() {
        FleetFilter filter;
        filter.SetVehicle(0, "AB-3127", "MDVR-10001", "Ilona Varga", true);
        filter.SetVehicle(1, "München-7", "MDVR-10002", "Jörg Weiß", true);
        filter.SetVehicle(2, "KT-0098", "MDVR-10003", "Ann", false);
        const auto shown = [&] {
            QList<int> rows;
            for (int row = 0; row < filter.size(); ++row)
                if (filter.Shown(row)) rows << row;
            return rows;
        };
        QCOMPARE(filter.SetText("ab-31"), std::vector<int>({1, 2}));  // only the rows that changed
        QCOMPARE(shown(), QList<int>({0}));
        filter.SetText("10003");  // device id
        QCOMPARE(shown(), QList<int>({2}));
        filter.SetText("VARGA");  // driver
        QCOMPARE(shown(), QList<int>({0}));
        filter.SetText("MÜNCHEN");  // beyond ASCII
        QCOMPARE(shown(), QList<int>({1}));
        filter.SetText("jÖRG wEI");  // mixed case beyond ASCII
        QCOMPARE(shown(), QList<int>({1}));
        // Never across two texts: "0098" + "Ann" is no text of the vehicle.
        filter.SetText("0098Ann");
        QCOMPARE(shown(), QList<int>());
        filter.SetText(QStringLiteral("0098") + QChar(0x1f) + "Ann");
        QCOMPARE(shown(), QList<int>());
        filter.SetText("  kt-  ");
        QCOMPARE(shown(), QList<int>({2}));
        // Offline vehicles go while the switch is off, whatever the text.
        QCOMPARE(filter.SetShowOffline(false), std::vector<int>({2}));
        QCOMPARE(shown(), QList<int>());
        filter.SetText("");
        QCOMPARE(shown(), QList<int>({0, 1}));
        // A vehicle coming online is shown by itself; a vehicle renamed is matched by its new name.
        QVERIFY(filter.SetVehicle(2, "KT-0098", "MDVR-10003", "Ann", true));
        filter.SetText("zz");
        QVERIFY(filter.SetVehicle(0, "ZZ-1", "MDVR-10001", "Ilona Varga", true));
        QCOMPARE(shown(), QList<int>({0}));
        // Rows no fleet has are refused, not allocated.
        QVERIFY(!filter.SetVehicle(FleetFilter::kMaxRows, "X", "Y", "Z", true));
        QVERIFY(!filter.SetVehicle(-1, "X", "Y", "Z", true));
        QCOMPARE(filter.size(), 3);
    }

    void speedsAndTimesSortByValue() {
        QCOMPARE(VehicleListProxy::SpeedOf("9.50 km/h"), std::optional<double>(9.5));
        QCOMPARE(VehicleListProxy::SpeedOf("GPS not valid"), std::nullopt);
        QCOMPARE(VehicleListProxy::SpeedOf(""), std::nullopt);
        QVERIFY(VehicleListProxy::TimeBefore("2026-12-09 09:59:59", "2026-12-09 10:00:00"));
        QVERIFY(VehicleListProxy::TimeBefore("", "2020-01-01 00:00:00"));
        QVERIFY(!VehicleListProxy::TimeBefore("2020-01-01 00:00:00", "garbage"));

        auto client = home_.StartClient();
        DeviceStatusList list;
        list.InsertColumns();
        list.resize(500, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const char* const rows[][4] = {{"bus-b", "Ann", "10.00 km/h", "2026-12-09 10:00:00"},
                                       {"Bus-a", "Olaf", "9.50 km/h", "2026-12-09 09:59:59"},
                                       {"bus-c", "Zoe", "GPS not valid", ""},
                                       {"BUS-D", "Bea", "100.25 km/h", "2026-12-08 23:00:00"}};
        for (int row = 0; row < 4; ++row) {
            list.SetRowName(row, rows[row][0]);
            for (int column = 1; column < 4; ++column) list.SetCell(row, column, rows[row][column]);
        }
        QCOMPARE(ShownOrder(list), QList<int>({0, 1, 2, 3}));  // arrival order until a heading is clicked
        ClickHeading(list, 2);
        QCOMPARE(list.header()->sortIndicatorSection(), 2);
        QCOMPARE(ShownOrder(list), QList<int>({2, 1, 0, 3}));  // no speed, 9.5, 10, 100.25: not as text
        ClickHeading(list, 2);
        QCOMPARE(ShownOrder(list), QList<int>({3, 0, 1, 2}));
        ClickHeading(list, 3);
        QCOMPARE(ShownOrder(list), QList<int>({2, 3, 1, 0}));
        ClickHeading(list, 0);
        QCOMPARE(ShownOrder(list), QList<int>({1, 0, 2, 3}));  // case-insensitive

        // Sorted, the list still speaks of model rows: clicks, selection, hiding.
        QSignalSpy clicked(&list, &DeviceStatusList::rowClicked);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualRect(list.model()->index(0, 0)).center());
        QCOMPARE(clicked.takeFirst().first().toInt(), 1);
        list.SelectRow(3);
        QCOMPARE(list.RowAt(list.currentIndex().row()), 3);
        list.SetRowShown(0, false);
        QCOMPARE(ShownOrder(list), QList<int>({1, 2, 3}));
        list.SelectRow(0);
        QVERIFY(list.selectionModel()->selectedRows().isEmpty());

        // A changed cell of the sorting column re-sorts the list within a second, hidden rows staying hidden.
        ClickHeading(list, 2);
        QCOMPARE(ShownOrder(list), QList<int>({2, 1, 3}));
        list.SetCell(2, 2, "500.00 km/h");
        QTRY_COMPARE_WITH_TIMEOUT(ShownOrder(list), QList<int>({1, 3, 2}), 2000);
        QVERIFY(!list.RowShown(0));
    }

    void findAndShowOfflineInTheMainWindow() {
        SimCenter center;
        QVERIFY(center.started());
        home_.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines() + "ShowAllDevice=0\n");
        auto client = home_.StartClient();
        auto window_fixture = std::make_unique<MainWindowFixture>(*client);
        CAppMainDlg* window = &window_fixture->window();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        FleetFinder* finder = window->findChild<FleetFinder*>();
        // Offline vehicles are shown unless the operator hides them, whatever ShowAllDevice says.
        QVERIFY(finder->showOfflineBox()->isChecked());
        // The box stands above the nodes inside the tree's own rectangle.
        QVERIFY(finder->isVisible());
        QVERIFY(
            TreeOf(*window)->rect().contains(finder->mapTo(TreeOf(*window), finder->rect().bottomRight())));
        window->PressLogin();
        DevTree* tree = TreeOf(*window);
        DeviceStatusList* list = VehicleListOf(*window);
        QTRY_COMPARE_WITH_TIMEOUT(tree->EntryCount(), 6, 10000);  // the online ones
        const auto row_of = [&](const QString& name) {
            for (int row = 0; row < list->rowCount(); ++row)
                if (list->Cell(row, 0) == name) return row;
            return -1;
        };
        const auto shown_names = [&] {
            QStringList names;
            for (int row = 0; row < tree->EntryCount(); ++row) {
                const bool in_tree = !tree->Entry(row)->item->isHidden();
                if (in_tree != list->RowShown(row)) return QStringList{"tree and list differ"};
                if (in_tree) names << list->Cell(row, 0);
            }
            names.sort();
            return names;
        };
        QTest::keyClicks(finder->edit(), "ilona");  // a driver, typed
        QCOMPARE(shown_names(), QStringList({"AB-3127"}));
        finder->edit()->clear();
        QTest::keyClicks(finder->edit(), "mdvr-1000");  // device ids
        QCOMPARE(shown_names().size(), 6);
        QTest::keyClicks(finder->edit(), "8");
        QCOMPARE(shown_names(), QStringList({"SE-5309"}));
        finder->edit()->clear();

        // A vehicle going offline stays in the tree and the list, with the offline icon.
        const int gone = row_of("AB-3127");
        QVERIFY(gone >= 0);
        FleetOf(*window)->SetDeviceState(0, tree->Entry(gone)->device);
        QCOMPARE(tree->Entry(gone)->online, 0);
        QCOMPARE(tree->Entry(gone)->item->icon(0).cacheKey(),
                 tree->ImageIcon(DevTree::kDeviceOff).cacheKey());
        QVERIFY(!tree->Entry(gone)->item->isHidden());
        QVERIFY(list->RowShown(gone));
        // So does a device just added (Add Device), which the tree shows offline until it reports.
        AppDevice* added = VelqApp_CreateDevice(window_fixture->session().session(), "ADDED-0001");
        QVERIFY(added);
        FleetOf(*window)->AddDevice(added, 0);
        const int added_row = VelqDev_GetUserData(added);
        QCOMPARE(tree->Entry(added_row)->online, 0);
        QVERIFY(!tree->Entry(added_row)->item->isHidden());
        QVERIFY(list->RowShown(added_row));

        // The switch is a view filter kept in Tavrin.ini: Config.ini stays byte for byte as it was.
        const QByteArray config = home_.ReadFile("Config.ini");
        finder->showOfflineBox()->click();
        QVERIFY(home_.ReadFile("Tavrin.ini").contains("HideOfflineVehicles=1"));
        QVERIFY(tree->Entry(gone)->item->isHidden());
        QVERIFY(!list->RowShown(gone));
        QVERIFY(!list->RowShown(added_row));
        QCOMPARE(shown_names().size(), 5);
        // On again: stored, and the offline vehicles the login did not ask for come now.
        finder->showOfflineBox()->click();
        QVERIFY(home_.ReadFile("Tavrin.ini").contains("HideOfflineVehicles=0"));
        QTRY_VERIFY_WITH_TIMEOUT(row_of("ZN-2050") >= 0, 10000);
        const int offline = row_of("ZN-2050");
        QCOMPARE(tree->Entry(offline)->online, 0);
        QVERIFY(!tree->Entry(offline)->item->isHidden());
        QVERIFY(!tree->Entry(gone)->item->isHidden());
        finder->showOfflineBox()->click();
        QCOMPARE(home_.ReadFile("Config.ini"), config);
        window->LogoutCleanup();
        QCOMPARE(finder->filter().size(), 0);

        // The choice comes back with the next window.
        window_fixture.reset();
        MainWindowFixture next_fixture(*client);
        CAppMainDlg& next = next_fixture.window();
        QVERIFY(!next.findChild<FleetFinder*>()->showOfflineBox()->isChecked());
        QVERIFY(!next.findChild<FleetFinder*>()->filter().showOffline());
    }
};

QTEST_MAIN(FleetFinderTest)
#include "fleet_finder_test.moc"

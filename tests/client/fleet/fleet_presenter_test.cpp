// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet presenter between a real session (velq-sim's center) and the tree and vehicle list, without a
// main window: what the list shows follows the tree, and the list's view is told once per slice.
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>

#include "../client_fixture.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_presenter.h"

class FleetPresenterTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;

  private slots:
    void initTestCase() { client_ = home_.StartClient(); }

    void refreshesReachTheListAsOneRangePerSlice() {
        constexpr int kDevices = 400;
        SimCenter center(velq_sim::Fleet::Generated(kDevices), 200);
        QVERIFY(center.started());
        SessionController session;
        DevTree tree;
        tree.Setup(nullptr, home_.path(), client_->settings);
        DeviceStatusList list;
        QStringList log;
        FleetPresenter fleet(tree, list, [&](const QString*, const QString& line) { log << line; });
        fleet.Follow(session);
        QList<int> positions;
        connect(&fleet, &FleetPresenter::positionReported, this,
                [&](int row, const QByteArray&) { positions << row; });

        // dataChanged signals between two slice ends: never more than one.
        int in_slice = 0, most_in_slice = 0, ranges = 0;
        connect(list.model(), &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex& first, const QModelIndex& last) {
                    ++in_slice;
                    ++ranges;
                    QVERIFY(first.row() <= last.row());
                    QCOMPARE(first.column(), 0);
                    QCOMPARE(last.column(), DeviceStatusModel::kColumns - 1);
                });
        connect(&session, &SessionController::sliceHandled, this, [&] {
            most_in_slice = std::max(most_in_slice, in_slice);
            in_slice = 0;
        });

        QVERIFY(VelqApp_SetCenterServer(session.session(), "127.0.0.1", center.server().tcp_port(),
                                        center.server().udp_port()));
        QVERIFY(VelqApp_Login(session.session(), "orvi", "480913"));
        QTRY_COMPARE_WITH_TIMEOUT(list.rowCount(), kDevices, 20000);
        QCOMPARE(tree.EntryCount(), kDevices);
        // Let a few refreshes of the whole fleet come in (each one a change of every device).
        const int ranges_at_fill = ranges;
        QTRY_VERIFY_WITH_TIMEOUT(ranges > ranges_at_fill + 3, 20000);
        QCOMPARE(most_in_slice, 1);

        // Each row shows its tree node's label, a speed and an update time; online devices were logged.
        for (int row = 0; row < kDevices; row += 37) {
            const DevTreeEntry* record = tree.Entry(row);
            QVERIFY(record && record->item);
            QCOMPARE(VelqDev_GetUserData(record->device), row);
            QCOMPARE(list.Cell(row, 0), record->item->text(0));
            if (record->online == 1) {
                QVERIFY2(list.Cell(row, 2).endsWith(" km/h") || list.Cell(row, 2).startsWith("GPS"),
                         qPrintable(list.Cell(row, 2)));
                QVERIFY(!list.Cell(row, 3).isEmpty());
                QVERIFY(positions.contains(row));
            }
        }
        QVERIFY(log.filter("] Online").size() > 0);

        // The logout: the tree and the list forget the fleet at once.
        session.Logout();
        fleet.Reset();
        QCOMPARE(tree.EntryCount(), 0);
        QCOMPARE(list.rowCount(), 0);
    }

    // The speed cell says why there is no speed; a position outside the globe is no position.
    void speedCellAndPositionRules() {
        QCOMPARE(FleetPresenter::SpeedCell(true, 37.036, "$GPRMC,..."), QString("37.04 km/h"));
        QCOMPARE(FleetPresenter::SpeedCell(false, 0, "$GPRMC,120000,V,,,,,,,,,,N*00"),
                 QString("GPS invalid"));
        QCOMPARE(FleetPresenter::SpeedCell(false, 0, "garbage"), QString("GPS not valid"));
        double speed_kmh = -1;
        QVERIFY(!FleetPresenter::ValidPosition("garbage", &speed_kmh));
        QVERIFY(!FleetPresenter::ValidPosition("", &speed_kmh));
        QCOMPARE(speed_kmh, -1.0);
    }
};

QTEST_MAIN(FleetPresenterTest)
#include "fleet_presenter_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// A center outage is visible: stopping velq-sim's center greys the tree and the vehicle list and the
// status line says since when the center is unreachable; a new center brings the states back.
#include <QTest>

#include "../client_fixture.h"
#include "fleet/center_link.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/log_list.h"
#include "shell/app_main_dlg.h"
#include "shell/status_line.h"

class CenterOutageTest : public QObject {
    Q_OBJECT
  private slots:
    void linkFollowsTheConnectionWords() {
        CenterLink link;
        const QDateTime t0(QDate(2026, 12, 9), QTime(12, 4, 31));
        QVERIFY(!link.OnConnectionState(2, t0));  // connecting is no news
        QVERIFY(link.OnConnectionState(1, t0));
        QVERIFY(!link.OnConnectionState(2, t0.addSecs(5)));
        QVERIFY(!link.OnConnectionState(1, t0.addSecs(5)));  // still down since the first loss
        QCOMPARE(link.StatusText(), QString("Center server unreachable since 12:04:31"));
        QVERIFY(link.OnConnectionState(5, t0.addSecs(9)));
        QVERIFY(!link.down());
        QVERIFY(link.StatusText().isEmpty());
        QVERIFY(link.OnConnectionState(3, t0));
        link.Reset();
        QVERIFY(!link.down());
    }

    void stoppingTheCenterGreysTheFleet() {
        ScratchHome home;
        auto center = std::make_unique<SimCenter>(velq_sim::Fleet::Default(), 0);
        QVERIFY(center->started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center->ConfigLines());
        auto client = home.StartClient();
        CAppMainDlg window(client->settings);
        window.show();
        window.PressLogin();
        DevTree* tree = window.tree();
        QTRY_VERIFY_WITH_TIMEOUT(tree->EntryCount() >= 6, 10000);
        QTreeWidgetItem* node = tree->Entry(0)->item;
        const QModelIndex cell = window.vehicleList()->model()->index(0, 3);
        QVERIFY(!cell.data(Qt::ForegroundRole).isValid());

        center.reset();  // the center goes away
        QTRY_VERIFY_WITH_TIMEOUT(tree->statesUnknown(), 10000);
        const QColor grey = UnknownColor(tree->palette());
        QCOMPARE(node->foreground(0).color(), grey);
        QCOMPARE(node->child(0)->foreground(0).color(), grey);
        QVERIFY(grey != tree->palette().color(QPalette::Text));
        QCOMPARE(cell.data(Qt::ForegroundRole).value<QColor>(),
                 UnknownColor(window.vehicleList()->palette()));
        QVERIFY2(window.statusLine()->text().startsWith("Center server unreachable since "),
                 qPrintable(window.statusLine()->text()));
        // Reconnection attempts do not hide it.
        QTest::qWait(6000);
        QVERIFY(window.statusLine()->text().startsWith("Center server unreachable since "));

        // A logout forgets the outage; nothing stays greyed for the next login.
        window.LogoutCleanup();
        QVERIFY(!tree->statesUnknown());
        QCOMPARE(window.vehicleList()->rowCount(), 0);
    }
};

QTEST_MAIN(CenterOutageTest)
#include "center_outage_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// A center outage is visible: stopping velq-sim's center greys the tree and the vehicle list and the
// status line says since when the center is unreachable; a new center brings the states back.
#include <QElapsedTimer>
#include <QTest>

#include "../client_fixture.h"
#include "app/session_controller.h"
#include "fleet/center_link.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/log_list.h"
#include "main_window_fixture.h"
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
        QCOMPARE(link.StatusText(), QString("Center server unreachable since \u206612:04:31\u2069"));
        QVERIFY(link.OnConnectionState(5, t0.addSecs(9)));
        QVERIFY(!link.down());
        QVERIFY(link.StatusText().isEmpty());
        QVERIFY(link.OnConnectionState(3, t0));
        link.Reset();
        QVERIFY(!link.down());
    }

    // Silence counts from the last answer: ten seconds without one takes the center down since then, a
    // connection loss afterwards keeps that time, and an answer brings it back.
    void linkCountsSilenceFromTheLastAnswer() {
        CenterLink link;
        const QDateTime t0(QDate(2026, 12, 9), QTime(17, 33, 28));
        QVERIFY(!link.OnSilenceCheck(t0.addSecs(60)));  // nothing heard yet: a login still under way
        QVERIFY(!link.OnAnswer(t0));
        QVERIFY(!link.OnSilenceCheck(t0.addMSecs(CenterLink::kSilence_ms - 1)));
        QVERIFY(link.OnSilenceCheck(t0.addMSecs(CenterLink::kSilence_ms)));
        QCOMPARE(link.downSince(), t0);
        QVERIFY(!link.OnSilenceCheck(t0.addSecs(20)));
        QVERIFY(!link.OnConnectionState(1, t0.addSecs(35)));
        QCOMPARE(link.downSince(), t0);
        QVERIFY(link.OnAnswer(t0.addSecs(40)));
        QVERIFY(!link.down());
        // A connection lost between answers is down since the last one.
        QVERIFY(link.OnConnectionState(1, t0.addSecs(43)));
        QCOMPARE(link.downSince(), t0.addSecs(40));
    }

    void stoppingTheCenterGreysTheFleet() {
        ScratchHome home;
        auto center = std::make_unique<SimCenter>(velq_sim::Fleet::Default(), 0);
        QVERIFY(center->started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center->ConfigLines());
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        window.PressLogin();
        DevTree* tree = TreeOf(window);
        QTRY_VERIFY_WITH_TIMEOUT(tree->EntryCount() >= 6, 10000);
        QTreeWidgetItem* node = tree->Entry(0)->item;
        const QModelIndex cell = VehicleListOf(window)->model()->index(0, 3);
        QVERIFY(!cell.data(Qt::ForegroundRole).isValid());

        center.reset();  // the center goes away
        QTRY_VERIFY_WITH_TIMEOUT(tree->statesUnknown(), 10000);
        const QColor grey = UnknownColor(tree->palette());
        QCOMPARE(node->foreground(0).color(), grey);
        QCOMPARE(node->child(0)->foreground(0).color(), grey);
        QVERIFY(grey != tree->palette().color(QPalette::Text));
        QCOMPARE(cell.data(Qt::ForegroundRole).value<QColor>(),
                 UnknownColor(VehicleListOf(window)->palette()));
        QVERIFY2(StatusLineOf(window)->text().startsWith("Center server unreachable since "),
                 qPrintable(StatusLineOf(window)->text()));
        // Reconnection attempts do not hide it.
        QTest::qWait(6000);
        QVERIFY(StatusLineOf(window)->text().startsWith("Center server unreachable since "));

        // A logout forgets the outage; nothing stays greyed for the next login.
        window.LogoutCleanup();
        QVERIFY(!tree->statesUnknown());
        QCOMPARE(VehicleListOf(window)->rowCount(), 0);
    }

    // A center that keeps the connection open but stops answering (velq-sim's stall): within 10 to 12 s of
    // its last answer the status line says it is unreachable since that answer, long before the socket's
    // own time-out would end the connection.
    void silentCenterIsShownWithinSeconds() {
        ScratchHome home;
        SimCenter center(velq_sim::Fleet::Default(), 0);
        QVERIFY(center.started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines());
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        window.PressLogin();
        QTRY_VERIFY_WITH_TIMEOUT(TreeOf(window)->EntryCount() >= 6, 10000);
        QDateTime last_answer;
        QElapsedTimer since_answer;
        connect(&window_fixture.session().events(), &EventDispatch::listBegins, this, [&](int) {
            last_answer = QDateTime::currentDateTime();
            since_answer.start();
        });
        QTRY_VERIFY_WITH_TIMEOUT(last_answer.isValid(), 7000);

        velq_sim::CenterFaults stall;
        stall.stall_after_replies = 1;
        center.server().set_faults(stall);
        const auto unreachable = [&] {
            return StatusLineOf(window)->text().startsWith("Center server unreachable since ");
        };
        QTRY_VERIFY_WITH_TIMEOUT(unreachable(), 20000);
        const qint64 waited_ms = since_answer.elapsed();
        QVERIFY2(waited_ms >= 10000 && waited_ms <= 12000, qPrintable(QString::number(waited_ms)));
        QVERIFY(TreeOf(window)->statesUnknown());
        // The time of the last answer (the presenter and this test note it a moment apart).
        const QString text = StatusLineOf(window)->text();
        QVERIFY2(text.contains(last_answer.toString("HH:mm:ss")) ||
                     text.contains(last_answer.addSecs(-1).toString("HH:mm:ss")),
                 qPrintable(text + " / " + last_answer.toString("HH:mm:ss")));
        QVERIFY(LogOf(window)->line(LogOf(window)->count() - 1).endsWith(text.trimmed()));

        window.LogoutCleanup();
    }
};

QTEST_MAIN(CenterOutageTest)
#include "center_outage_test.moc"

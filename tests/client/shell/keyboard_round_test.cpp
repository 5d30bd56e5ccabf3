// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's shift from the keyboard alone, against the simulated platform: find the vehicle, open a
// channel, record it, take a snapshot, acknowledge an alarm, steer the camera while a key is held, turn
// pages and pick tiles; and the one table of keys behind it, as the Shortcuts window and the manual page
// list it. Only key events: no mouse event is sent.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeView>
#include <QtTest>

#include "../client_fixture.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_panel.h"
#include "fleet/dev_tree.h"
#include "fleet/fleet_finder.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"
#include "shell/shortcut_table.h"
#include "shell/shortcuts_dlg.h"

namespace {

std::vector<std::string> CameraLogSince(velq_sim::CenterServer& center, size_t start) {
    const auto log = center.camera_log();
    return {log.begin() + std::min(start, log.size()), log.end()};
}

}  // namespace

class KeyboardRoundTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    LiveClient live_;

  private slots:
    void initTestCase() {
        QVERIFY2(
            live_.Start(home_,
                        QStringLiteral("SnapshotOpenPath=0\nUIWindowRow=1\nUIWindowCol=2\nExpandDevice=1\n")),
            "velq-sim did not start");
    }
    void cleanupTestCase() { live_.Stop(); }

    void aShiftsRoundByKeysAlone() {
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        DevTree* tree = TreeOf(window);

        // Find the vehicle: Ctrl+F puts the focus in the finder.
        QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(window.findChild<FleetFinder*>()->edit()->hasFocus());
        // Tab on to the tree, then its first vehicle's first channel.
        for (int i = 0; i < 10 && !tree->hasFocus(); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(tree->hasFocus());
        QTest::keyClick(tree, Qt::Key_Home);
        QTest::keyClick(tree, Qt::Key_Right);
        QTest::keyClick(tree, Qt::Key_Down);
        QTreeWidgetItem* node = tree->currentItem();
        QVERIFY(node && node->parent());

        // Ctrl+P: it plays in the active tile.
        QTest::keyClick(tree, Qt::Key_P, Qt::ControlModifier);
        CDevShowDlg* tile = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (tile = GridOf(window)->FindWindowOfNode(node)) && tile->channel && tile->Stats().presented >= 3,
            20000);

        // Ctrl+R records the active tile, Ctrl+R again stops (the stop runs on the stopper's worker).
        QTest::keyClick(tree, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(VelqChn_IsRecording(tile->channel));
        QTest::keyClick(tree, Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!VelqChn_IsRecording(tile->channel), 5000);

        // Ctrl+S: a snapshot of the active tile is written.
        const QDir snapshots(live_.client().settings.SnapshotPath);
        const int before = int(snapshots.entryList(QDir::Files).size());
        QTest::keyClick(tree, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(int(QDir(snapshots).entryList(QDir::Files).size()) == before + 1, 10000);

        // The camera moves while Ctrl+Left is held and stops at its release; repeats send nothing.
        velq_sim::CenterServer& center = live_.platform().center();
        const size_t start = center.camera_log().size();
        QTest::keyPress(tree, Qt::Key_Left, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(center, start).size(), size_t(1), 5000);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Left, Qt::ControlModifier, QString(), true);
        QApplication::sendEvent(tree, &repeat);
        QTest::qWait(300);
        QCOMPARE(CameraLogSince(center, start).size(), size_t(1));
        // The modifier let go first: the arrow's release still stops the camera.
        QTest::keyRelease(tree, Qt::Key_Left, Qt::NoModifier);
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(center, start).size(), size_t(2), 5000);
        const auto log = CameraLogSince(center, start);
        QVERIFY2(log[0].find("command 3 ") != std::string::npos, log[0].c_str());
        QVERIFY2(log[1].find("command 0 ") != std::string::npos, log[1].c_str());
        // The tree's current item did not move with the arrow: the camera had it.
        QCOMPARE(tree->currentItem(), node);

        // An alarm comes in; Down selects it in the alarm list, Ctrl+K acknowledges it.
        AlarmDesk* alarms = window.alarms();
        alarms->OnStatusWord(0, QStringLiteral("MDVR-10001"), node->parent()->text(0), 13, true,
                             QDateTime::currentSecsSinceEpoch());
        QTRY_COMPARE(alarms->unacknowledged(), 1);
        window.ShowPanel(CAppMainDlg::kAlarmList);
        QTreeView* list = alarms->Panel(nullptr)->view();
        QTRY_VERIFY(list->isVisible());
        list->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(list->model()->rowCount(), 1);
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_COMPARE(alarms->Panel(nullptr)->SelectedIds().size(), 1);
        QTest::keyClick(list, Qt::Key_K, Qt::ControlModifier);
        QTRY_COMPARE(alarms->unacknowledged(), 0);

        // 2 makes the empty second tile active, Ctrl+P plays the next channel there; a third channel on a
        // page of its own, then PgDown and PgUp turn the pages (round), 1 and 2 pick the tiles.
        window.ShowPanel(CAppMainDlg::kDeviceList);
        tree->setFocus(Qt::TabFocusReason);
        GridModel& model = GridOf(window)->Model();
        QTest::keyClick(tree, Qt::Key_2);
        QCOMPARE(model.ActiveWindow(), model.Windows()[1]);
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::keyClick(tree, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(model.BoundCount(), 2);
        QTest::keyClick(tree, Qt::Key_Down);
        QVERIFY(model.DropChannel(tree->currentItem(), 0, 0, true));
        QCOMPARE(model.Pages(), 2);
        QCOMPARE(model.CurrentPage(), 1);
        QTest::keyClick(tree, Qt::Key_PageUp);
        QCOMPARE(model.CurrentPage(), 0);
        QTest::keyClick(tree, Qt::Key_PageUp);
        QCOMPARE(model.CurrentPage(), 1);
        QTest::keyClick(tree, Qt::Key_PageDown);
        QCOMPARE(model.CurrentPage(), 0);
        QTest::keyClick(tree, Qt::Key_2);
        QCOMPARE(model.ActiveWindow(), model.Windows()[1]);
        QTest::keyClick(tree, Qt::Key_1);
        QCOMPARE(model.ActiveWindow(), model.Windows()[0]);

        // F1: the Shortcuts window, one row per entry of the table.
        QTest::keyClick(tree, Qt::Key_F1);
        auto* shortcuts = window.findChild<ShortcutsDlg*>();
        QVERIFY(shortcuts && shortcuts->isVisible());
        QCOMPARE(shortcuts->table()->rowCount(), int(ShortcutTable().size()));
        QVERIFY(window.menuBar()->findChild<QAction*>(QStringLiteral("showShortcuts")));
    }

    // Every key of the table is in the manual page, with what it does.
    void theManualPageListsTheTable() {
        QFile page(QStringLiteral(CORVEL_SOURCE_DIR "/packaging/man/tavrin.1.scd"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        for (const ShortcutEntry& entry : ShortcutTable()) {
            const QString line = QStringLiteral("*%1*\n\t%2")
                                     .arg(QString::fromLatin1(entry.keys), QString::fromLatin1(entry.text));
            QVERIFY2(text.contains(line), qPrintable(line));
        }
    }
};

QTEST_MAIN(KeyboardRoundTest)
#include "keyboard_round_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's evidence wiring against velq-sim: a recording whose stream stalls says on its tile and
// its tree node that it waits for video, and the log says when and after how long it resumed; the Option
// menu opens the page of our own settings.
#include <QAction>
#include <QTest>

#include "../client_fixture.h"
#include "dialogs/own_prefs_dlg.h"
#include "fleet/dev_tree.h"
#include "fleet/log_list.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"
#include "shell/evidence_wiring.h"
#include "shell/main_menu_bar.h"
#include "transfer_server.h"

namespace {

bool LogHas(const LogList* log, const QString& part) {
    for (int row = 0; row < log->count(); ++row)
        if (log->line(row).contains(part)) return true;
    return false;
}

}  // namespace

class EvidenceWiringTest : public QObject {
    Q_OBJECT

  private slots:
    void aStalledRecordingSaysItWaitsForVideo() {
        ScratchHome home;
        LiveClient live;
        QVERIFY(live.Start(home, "SnapshotOpenPath=0\nUIWindowRow=2\nUIWindowCol=2\nRecordDuration=0\n"));
        MainWindowFixture window_fixture(live.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY(ShowAndLogIn(window));
        GridModel& model = GridOf(window)->Model();
        model.ActivateWindow(model.Windows()[0]);
        QTreeWidgetItem* node = TreeOf(window)->FindChannelNode(QByteArray("MDVR-10001"), 1);
        window.SelectDeviceNode(node);
        ActionsOf(window).Run(kCommandPlay);
        CDevShowDlg* tile = GridOf(window)->Windows()[0];
        QTRY_VERIFY_WITH_TIMEOUT(tile->Stats().presented >= 10, 20000);
        window.SelectDeviceNode(node);
        ActionsOf(window).Run(kCommandRecord);
        QVERIFY(VelqChn_IsRecording(tile->channel));
        QTest::qWait(1500);
        QVERIFY(tile->RecordingNote().isEmpty());

        velq_sim::TransferFaults stall;
        stall.stall_after_packets = 1;
        live.platform().transfer().set_faults(stall);
        QTRY_COMPARE_WITH_TIMEOUT(tile->RecordingNote(), QString("REC - waiting for video"), 6000);
        QVERIFY(tile->StallText().startsWith("REC - waiting for video"));
        QCOMPARE(node->toolTip(0), QString("REC - waiting for video"));
        QVERIFY(LogHas(LogOf(window), "REC - waiting for video: AB-3127"));
        QTest::qWait(1500);

        live.platform().transfer().set_faults({});
        QTRY_VERIFY_WITH_TIMEOUT(tile->RecordingNote().isEmpty(), 15000);
        QVERIFY(LogHas(LogOf(window), "Recording resumed after"));
        QVERIFY(node->toolTip(0).isEmpty());
        QCOMPARE(node->icon(0).cacheKey(), TreeOf(window)->ImageIcon(DevTree::kChannelRecording).cacheKey());
        ActionsOf(window).Run(kCommandRecord);

        // Option -> our page.
        QAction* entry = window.findChild<MainMenuBar*>()->commandAction(EvidenceWiring::kMenuCommand);
        QVERIFY(entry);
        entry->trigger();
        QVERIFY(window.findChild<EvidenceWiring*>()->dialog()->isVisible());
    }
};

QTEST_MAIN(EvidenceWiringTest)
#include "evidence_wiring_test.moc"

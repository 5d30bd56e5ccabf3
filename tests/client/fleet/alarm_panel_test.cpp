// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm list in the main window against velq-sim's center: alarm words changing on the center open
// episodes in the panel, count on the selector and highlight the vehicle; acknowledging with a comment
// stamps the logged-in user and survives a restart of the window; an alarm opens the vehicle's video.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "../client_fixture.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_sound.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "grid/page_tab.h"
#include "map/map_dlg.h"
#include "shell/app_main_dlg.h"
#include "shell/panel_selector.h"
#include "shell/status_line.h"

namespace {

int RowOfDevice(CAppMainDlg& window, const char* device_id) {
    for (int i = 0; i < window.tree()->EntryCount(); ++i) {
        char id[64] = {};
        VelqDev_GetDevInfo(window.tree()->Entry(i)->device, VELQ_DEV_ID, id, sizeof(id));
        if (qstrcmp(id, device_id) == 0) return i;
    }
    return -1;
}

}  // namespace

class AlarmPanelTest : public QObject {
    Q_OBJECT
  private slots:
    // The simulator's own alarms (--alarm-percent): words turning on open episodes, at most one open per
    // vehicle and word, and words going back to 0 close them while the client watches.
    void alarmsOfTheSimulatedFleetOpenAndCloseEpisodes() {
        ScratchHome home;
        velq_sim::CenterConfig config = QuietCenterConfig(200);
        config.alarm_chance = 0.5;
        velq_sim::CenterServer center(config, velq_sim::Fleet::Default());
        std::string error;
        QVERIFY2(center.Start(&error), error.c_str());
        home.WriteFile("Config.ini", QStringLiteral("[Tavrin]\nCenterServer_Address=127.0.0.1\n"
                                                    "CenterServer_TcpPort=%1\nCenterServer_UdpPort=%2\n")
                                         .arg(center.tcp_port())
                                         .arg(center.udp_port())
                                         .toUtf8());
        auto client = home.StartClient();
        CAppMainDlg window(client->settings);
        window.PressLogin();
        AlarmDesk* alarms = window.alarms();
        QTRY_VERIFY_WITH_TIMEOUT(alarms->book().size() >= 3, 30000);
        const auto cleared_live = [&] {
            for (int i = 0; i < alarms->book().size(); ++i) {
                const AlarmEpisode& e = alarms->book().at(i);
                if (!e.active() && !e.at_login && e.cleared_s >= e.started_s) return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(cleared_live(), 30000);
        QSet<QString> open;
        for (int i = 0; i < alarms->book().size(); ++i) {
            const AlarmEpisode& e = alarms->book().at(i);
            QVERIFY(e.word >= 8 && e.word <= 15);
            QVERIFY(e.device_id.startsWith("MDVR-"));
            if (!e.active()) continue;
            QVERIFY(!open.contains(e.device_id + QString::number(e.word)));
            open.insert(e.device_id + QString::number(e.word));
        }
        QTRY_COMPARE(window.selector(CAppMainDlg::kAlarmList)->text(),
                     QString("Alarm List (%1)").arg(alarms->unacknowledged()));
        center.Stop();
    }

    // A word the vehicle had before the login opens an episode marked so, without the alert; the word
    // going back to 0 on the center closes it.
    void aWordPresentAtLoginOpensAndClosesAnEpisode() {
        ScratchHome home;
        SimCenter center(velq_sim::Fleet::Default(), 0);
        QVERIFY(center.started());
        QVERIFY(center.server().fleet().SetStatusWord("MDVR-10002", 12, 2));
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines());
        auto client = home.StartClient();
        CAppMainDlg window(client->settings);
        window.PressLogin();
        AlarmDesk* alarms = window.alarms();
        QTRY_COMPARE_WITH_TIMEOUT(alarms->book().size(), 1, 20000);
        const AlarmEpisode& episode = alarms->book().at(0);
        QCOMPARE(episode.device_id, QString("MDVR-10002"));
        QCOMPARE(AlarmWordText(episode.word), QString("Disk Error"));
        QVERIFY(episode.at_login);
        QCOMPARE(alarms->sound()->plays(), 0);
        const int64_t id = episode.id;
        QVERIFY(center.server().fleet().SetStatusWord("MDVR-10002", 12, 0));
        QTRY_VERIFY_WITH_TIMEOUT(!alarms->book().Find(id)->active(), 20000);
        QCOMPARE(alarms->book().size(), 1);
    }

    void acknowledgeSurvivesARestartAndAlarmsOpenVideo() {
        ScratchHome home;
        SimCenter center(velq_sim::Fleet::Default(), 0);
        QVERIFY(center.started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines());
        auto client = home.StartClient();
        int64_t episode_id = 0;
        {
            CAppMainDlg window(client->settings);
            window.show();
            const QString user = window.loginDialog()->userEdit()->text();
            QVERIFY(!user.isEmpty());
            window.PressLogin();
            QTRY_VERIFY_WITH_TIMEOUT(window.tree()->EntryCount() > 0, 10000);
            // The alarm list's selector stands beside what the status line draws, not over it.
            const QRect drawn = window.statusLine()->DrawnRect().translated(window.statusLine()->pos());
            QVERIFY(drawn.width() > 0);
            QVERIFY(!drawn.intersects(window.selector(CAppMainDlg::kAlarmList)->geometry()));
            const int row = RowOfDevice(window, "MDVR-10001");
            QVERIFY(row >= 0);
            // The word turns on and keeps changing between non-zero values.
            uint32_t value = 1;
            QTimer toggler;
            connect(&toggler, &QTimer::timeout, [&] {
                center.server().fleet().SetStatusWord("MDVR-10001", 13, value);
                value = value == 1 ? 2 : 1;
            });
            toggler.start(1200);
            QTRY_VERIFY_WITH_TIMEOUT(window.alarms()->book().size() == 1, 30000);
            const AlarmEpisode& episode = window.alarms()->book().at(0);
            episode_id = episode.id;
            QCOMPARE(episode.label, QString("AB-3127"));
            QCOMPARE(AlarmWordText(episode.word), QString("Over Speed"));
            QTRY_COMPARE(window.selector(CAppMainDlg::kAlarmList)->text(), QString("Alarm List (1)"));
            QVERIFY(window.alarms()->highlighted(row));
            QVERIFY(window.tree()->Entry(row)->item->background(0).style() != Qt::NoBrush);
            QVERIFY(window.vehicleList()->model()->index(row, 0).data(Qt::BackgroundRole).isValid());
            // Further changes of the same word belong to the open episode.
            QTest::qWait(3000);
            QCOMPARE(window.alarms()->book().size(), 1);
            toggler.stop();

            // The panel: select it, acknowledge with a comment.
            window.ShowPanel(CAppMainDlg::kAlarmList);
            AlarmPanel* panel = window.alarms()->Panel(nullptr);
            QVERIFY(!panel->isHidden());
            QVERIFY(window.tree()->isHidden());
            QCOMPARE(panel->geometry(), window.tree()->geometry());
            panel->commentEdit()->setText("driver called");
            panel->view()->selectAll();
            panel->acknowledgeButton()->click();
            QTRY_COMPARE(window.selector(CAppMainDlg::kAlarmList)->text(), QString("Alarm List"));
            QVERIFY(!window.alarms()->highlighted(row));
            QVERIFY(panel->commentEdit()->text().isEmpty());
            // A row's "History...": the history dialog on that vehicle, its acknowledged episode listed.
            emit panel->vehicleHistoryRequested(QStringLiteral("MDVR-10001"));
            AlarmHistoryDlg* history = window.alarms()->historyDialog();
            QVERIFY(history && history->isVisible());
            QCOMPARE(history->vehicleEdit()->text(), QStringLiteral("MDVR-10001"));
            QTRY_VERIFY(!history->shown().isEmpty());
            for (const AlarmEpisode& shown : history->shown())
                QCOMPARE(shown.device_id, QString("MDVR-10001"));
            history->hide();

            // The way to video: the vehicle's channels on a page of their own after what was shown, the
            // vehicle selected in the list and on the map.
            const GridModel& grid = window.grid()->Model();
            window.grid()->Model().PlayCommand(
                window.tree()->ChannelNode(RowOfDevice(window, "MDVR-10002"), 1));
            QCOMPARE(grid.BoundCount(), 1);
            emit panel->episodeActivated(episode_id);
            const int channels = window.tree()->Entry(row)->item->childCount();
            QVERIFY(channels > 0 && channels <= grid.Cells());
            QCOMPARE(grid.CurrentPage(), 1);
            QCOMPARE(grid.Pages(), 2);
            for (int i = 0; i < grid.Cells(); ++i) {
                const GridSlot* slot = grid.Windows()[size_t(grid.Cells() + i)];
                QCOMPARE(slot->channel_item != nullptr, i < channels);
                if (slot->channel_item)
                    QCOMPARE(slot->channel_item->parent(), window.tree()->Entry(row)->item);
            }
            QCOMPARE(window.vehicleList()->currentIndex().row(), row);
            QCOMPARE(window.mapView()->Index, row);
            // A double-click on another vehicle in the tree: its channels on a new page; the first
            // vehicle's page stays as it was.
            const int other = RowOfDevice(window, "MDVR-10002");
            QTreeWidgetItem* other_item = window.tree()->Entry(other)->item;
            window.ShowPanel(CAppMainDlg::kDeviceList);
            window.tree()->scrollToItem(other_item);
            QTest::mouseDClick(window.tree()->viewport(), Qt::LeftButton, {},
                               window.tree()->visualItemRect(other_item).center());
            QCOMPARE(grid.CurrentPage(), 2);
            QCOMPARE(grid.Windows()[size_t(2 * grid.Cells())]->channel_item->parent(), other_item);
            QCOMPARE(grid.Windows()[size_t(grid.Cells())]->channel_item->parent(),
                     window.tree()->Entry(row)->item);
            QCOMPARE(window.mapView()->Index, other);
            window.close();
        }
        CAppMainDlg window(client->settings);
        window.alarms()->WaitForHistory();
        const AlarmEpisode* episode = window.alarms()->book().Find(episode_id);
        QVERIFY(episode);
        QCOMPARE(episode->ack_user, window.loginDialog()->userEdit()->text());
        QCOMPARE(episode->ack_comment, QString("driver called"));
        QCOMPARE(window.alarms()->unacknowledged(), 0);
        QCOMPARE(window.selector(CAppMainDlg::kAlarmList)->text(), QString("Alarm List"));
    }
};

QTEST_MAIN(AlarmPanelTest)
#include "alarm_panel_test.moc"

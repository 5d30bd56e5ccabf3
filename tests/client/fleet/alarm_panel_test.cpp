// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm list in the main window against velq-sim's center: alarm words changing on the center open
// episodes in the panel, count on the selector and highlight the vehicle; acknowledging with a comment
// stamps the logged-in user and survives a restart of the window; an alarm opens the vehicle's video.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
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
#include "grid/channel_actions.h"
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

        // "Acknowledge All Shown" asks first, naming the count: No acknowledges nothing, Yes all of them.
        AlarmPanel* panel = alarms->Panel(nullptr);
        const QList<int64_t> shown = panel->ShownIds();
        QVERIFY(shown.size() >= 3);
        const auto acknowledge_all = [panel](QMessageBox::StandardButton button) {
            auto asked = std::make_shared<QString>();
            QTimer::singleShot(0, [asked, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                *asked = box->text();
                box->button(button)->click();
            });
            panel->acknowledgeAllButton()->click();
            return *asked;
        };
        const auto acknowledged = [&] {
            int count = 0;
            for (const int64_t id : shown) count += alarms->book().Find(id)->acknowledged();
            return count;
        };
        QCOMPARE(acknowledge_all(QMessageBox::No),
                 QString("Acknowledge %1 alarms?").arg(panel->ShownIds().size()));
        QCOMPARE(acknowledged(), 0);
        QCOMPARE(acknowledge_all(QMessageBox::Yes),
                 QString("Acknowledge %1 alarms?").arg(panel->ShownIds().size()));
        QCOMPARE(acknowledged(), int(shown.size()));
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

            // The way to video: the vehicle's channels right after what was shown, packed, the vehicle
            // selected in the list and on the map.
            const GridModel& grid = window.grid()->Model();
            const auto packed = [&grid] {
                for (int i = 0; i < int(grid.Windows().size()); ++i)
                    if ((grid.Windows()[size_t(i)]->channel_item != nullptr) != (i < grid.BoundCount()))
                        return false;
                return true;
            };
            window.grid()->Model().PlayCommand(
                window.tree()->ChannelNode(RowOfDevice(window, "MDVR-10002"), 1));
            QCOMPARE(grid.BoundCount(), 1);
            emit panel->episodeActivated(episode_id);
            const int channels = window.tree()->Entry(row)->item->childCount();
            QVERIFY(channels > 0 && channels <= grid.Cells());
            QCOMPARE(grid.BoundCount(), 1 + channels);
            QVERIFY(packed());
            QCOMPARE(grid.CurrentPage(), 0);
            for (int i = 1; i <= channels; ++i)
                QCOMPARE(grid.Windows()[size_t(i)]->channel_item->parent(), window.tree()->Entry(row)->item);
            QCOMPARE(window.vehicleList()->currentIndex().row(), row);
            QCOMPARE(window.mapView()->Index, row);
            // A double-click on another vehicle in the tree expands or collapses it and opens nothing.
            const int other = RowOfDevice(window, "MDVR-10002");
            QTreeWidgetItem* other_item = window.tree()->Entry(other)->item;
            window.ShowPanel(CAppMainDlg::kDeviceList);
            window.tree()->scrollToItem(other_item);
            const bool expanded = other_item->isExpanded();
            QTest::mouseDClick(window.tree()->viewport(), Qt::LeftButton, {},
                               window.tree()->visualItemRect(other_item).center());
            QCOMPARE(other_item->isExpanded(), !expanded);
            QCOMPARE(grid.BoundCount(), 1 + channels);
            // Enter on it opens its channels at the end; its channel already shown moves there.
            window.tree()->setCurrentItem(other_item);
            QTest::keyClick(window.tree(), Qt::Key_Return);
            QCOMPARE(grid.BoundCount(), 2 * channels);
            QVERIFY(packed());
            QCOMPARE(grid.Windows()[0]->channel_item->parent(), window.tree()->Entry(row)->item);
            QCOMPARE(grid.Windows()[size_t(channels)]->channel_item->parent(), other_item);
            QCOMPARE(grid.CurrentPage(), channels / grid.Cells());
            QCOMPARE(window.mapView()->Index, other);
            // So does "Open All Channels" of a vehicle node's context menu, which a channel node's lacks.
            const auto entries = [&window](QTreeWidgetItem* node) {
                auto texts = std::make_shared<QStringList>();
                QTimer::singleShot(0, [texts] {
                    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                    if (!menu) return;
                    for (QAction* action : menu->actions()) *texts << action->text();
                    menu->close();
                });
                window.ShowChannelMenu(node);
                return *texts;
            };
            QVERIFY(entries(other_item).contains("Open All Channels"));
            QVERIFY(!entries(other_item->child(0)).contains("Open All Channels"));
            for (int i = 0; i < channels; ++i)
                window.grid()->Model().CloseWindow(
                    window.grid()->Model().FindWindowOfNode(other_item->child(i)));
            QCOMPARE(grid.BoundCount(), channels);
            window.tree()->setCurrentItem(other_item);
            window.channelActions().Run(ChannelActions::kCommandOpenAllChannels);
            QCOMPARE(grid.BoundCount(), 2 * channels);
            QCOMPARE(grid.Windows()[size_t(channels)]->channel_item->parent(), other_item);
            QVERIFY(packed());
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

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
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "grid/page_tab.h"
#include "shell/app_main_dlg.h"
#include "shell/panel_selector.h"

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
    // The simulator's own alarms (--alarm-percent): every change of a word after its first value reaches
    // the list as at most one episode per vehicle and word.
    void alarmsOfTheSimulatedFleetOpenEpisodes() {
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
        QSet<QString> keys;
        for (int i = 0; i < alarms->book().size(); ++i) {
            const AlarmEpisode& e = alarms->book().at(i);
            QVERIFY(e.word >= 8 && e.word <= 15);
            QVERIFY(e.device_id.startsWith("MDVR-"));
            QVERIFY(!keys.contains(e.device_id + QString::number(e.word)));
            keys.insert(e.device_id + QString::number(e.word));
        }
        QTRY_COMPARE(window.selector(CAppMainDlg::kAlarmList)->text(),
                     QString("Alarm List (%1)").arg(alarms->unacknowledged()));
        center.Stop();
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
            const int row = RowOfDevice(window, "MDVR-10001");
            QVERIFY(row >= 0);
            // A word reaches the client once it changes from one non-zero value to another.
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

            // The way to video: the vehicle's channels fill the first page, the vehicle is selected.
            emit panel->episodeActivated(episode_id);
            const int channels = window.tree()->Entry(row)->item->childCount();
            QVERIFY(channels > 0);
            QCOMPARE(window.grid()->Model().BoundCount(), channels);
            QCOMPARE(window.grid()->Model().CurrentPage(), 0);
            QCOMPARE(window.vehicleList()->currentIndex().row(), row);
            window.close();
        }
        CAppMainDlg window(client->settings);
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

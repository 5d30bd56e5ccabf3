// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm panel inside the main window against velq-sim's center: an alarm counts on the alarm list's
// selector beside the status line, highlights the vehicle in the tree and the list, the panel takes the
// tree's place, acknowledging stamps the logged-in user, a row's "History..." opens the history on that
// vehicle, and an alarm opens the vehicle's video; the tree's double-click, Enter and menu open video the
// same way. The window's children are reached as a user reaches them, not through the window's members.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "../client_fixture.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "grid/channel_actions.h"
#include "grid/grid_model.h"
#include "grid/page_tab.h"
#include "main_window_fixture.h"
#include "map/map_dlg.h"
#include "shell/app_main_dlg.h"
#include "shell/panel_selector.h"
#include "shell/status_line.h"

namespace {

int RowOfDevice(DevTree* tree, const char* device_id) {
    for (int i = 0; i < tree->EntryCount(); ++i) {
        char id[64] = {};
        VelqDev_GetDevInfo(tree->Entry(i)->device, VELQ_DEV_ID, id, sizeof(id));
        if (qstrcmp(id, device_id) == 0) return i;
    }
    return -1;
}

// The selector of the alarm list: the one whose name starts so.
PanelSelector* AlarmSelector(QWidget& window) {
    for (PanelSelector* selector : window.findChildren<PanelSelector*>())
        if (selector->text().startsWith(QStringLiteral("Alarm List"))) return selector;
    return nullptr;
}

// The texts of the tree's context menu on `node` as the window opens it on a right click.
QStringList MenuOf(CAppMainDlg& window, QTreeWidgetItem* node) {
    auto texts = std::make_shared<QStringList>();
    QTimer::singleShot(0, [texts] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions()) *texts << action->text();
        menu->close();
    });
    window.ShowChannelMenu(node);
    return *texts;
}

}  // namespace

class AlarmPanelWiringTest : public QObject {
    Q_OBJECT
  private slots:
    void anAlarmCountsHighlightsAndOpensVideo() {
        ScratchHome home;
        SimCenter center(velq_sim::Fleet::Default(), 0);
        QVERIFY(center.started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines());
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        auto* tree = window.findChild<DevTree*>();
        auto* panel = window.findChild<AlarmPanel*>();
        auto* list = window.findChild<DeviceStatusList*>();
        auto* grid_tab = window.findChild<PageTab*>();
        auto* map = window.findChild<CMapDlg*>();
        auto* status_line = window.findChild<StatusLine*>();
        auto* login = window.findChild<CAppLoginDlg*>();
        PanelSelector* selector = AlarmSelector(window);
        QVERIFY(tree && panel && list && grid_tab && map && status_line && login && selector);
        const QString user = login->userEdit()->text();
        QVERIFY(!user.isEmpty());
        window.PressLogin();
        QTRY_VERIFY_WITH_TIMEOUT(tree->EntryCount() > 0, 10000);
        // The alarm list's selector stands beside what the status line draws, not over it.
        const QRect drawn = status_line->DrawnRect().translated(status_line->pos());
        QVERIFY(drawn.width() > 0);
        QVERIFY(!drawn.intersects(selector->geometry()));
        const int row = RowOfDevice(tree, "MDVR-10001");
        QVERIFY(row >= 0);
        // The word turns on and keeps changing between non-zero values.
        uint32_t value = 1;
        QTimer toggler;
        connect(&toggler, &QTimer::timeout, [&] {
            center.server().fleet().SetStatusWord("MDVR-10001", 13, value);
            value = value == 1 ? 2 : 1;
        });
        toggler.start(1200);
        auto* episodes = static_cast<AlarmListModel*>(panel->filter()->sourceModel());
        QTRY_VERIFY_WITH_TIMEOUT(episodes->rowCount() == 1, 30000);
        toggler.stop();
        const AlarmEpisode* episode = episodes->EpisodeAt(0);
        QVERIFY(episode);
        const int64_t episode_id = episode->id;
        QCOMPARE(episode->label, QString("AB-3127"));
        QCOMPARE(AlarmWordText(episode->word), QString("Over Speed"));
        QTRY_COMPARE(selector->text(), QString("Alarm List (1)"));
        QVERIFY(tree->Entry(row)->item->background(0).style() != Qt::NoBrush);
        QVERIFY(list->model()->index(row, 0).data(Qt::BackgroundRole).isValid());

        // The panel: select it, acknowledge with a comment.
        window.ShowPanel(CAppMainDlg::kAlarmList);
        QVERIFY(!panel->isHidden());
        QVERIFY(tree->isHidden());
        QCOMPARE(panel->geometry(), tree->geometry());
        panel->commentEdit()->setText("driver called");
        panel->view()->selectAll();
        panel->acknowledgeButton()->click();
        QTRY_COMPARE(selector->text(), QString("Alarm List"));
        QVERIFY(tree->Entry(row)->item->background(0).style() == Qt::NoBrush);
        QVERIFY(!list->model()->index(row, 0).data(Qt::BackgroundRole).isValid());
        // A row's "History...": the history dialog on that vehicle, its acknowledged episode listed with
        // the logged-in user.
        emit panel->vehicleHistoryRequested(QStringLiteral("MDVR-10001"));
        auto* history = window.findChild<AlarmHistoryDlg*>();
        QVERIFY(history && history->isVisible());
        QCOMPARE(history->vehicleEdit()->text(), QStringLiteral("MDVR-10001"));
        QTRY_VERIFY(!history->shown().isEmpty());
        bool listed = false;
        for (const AlarmEpisode& shown : history->shown()) {
            QCOMPARE(shown.device_id, QString("MDVR-10001"));
            if (shown.id != episode_id) continue;
            listed = true;
            QCOMPARE(shown.ack_user, user);
            QCOMPARE(shown.ack_comment, QString("driver called"));
        }
        QVERIFY(listed);
        history->hide();

        // The way to video: the vehicle's channels right after what was shown, packed, the vehicle
        // selected in the list and on the map.
        GridModel& grid = grid_tab->Model();
        const auto packed = [&grid] {
            for (int i = 0; i < int(grid.Windows().size()); ++i)
                if ((grid.Windows()[size_t(i)]->channel_item != nullptr) != (i < grid.BoundCount()))
                    return false;
            return true;
        };
        grid.PlayCommand(tree->ChannelNode(RowOfDevice(tree, "MDVR-10002"), 1));
        QCOMPARE(grid.BoundCount(), 1);
        emit panel->episodeActivated(episode_id);
        const int channels = tree->Entry(row)->item->childCount();
        QVERIFY(channels > 0 && channels <= grid.Cells());
        QCOMPARE(grid.BoundCount(), 1 + channels);
        QVERIFY(packed());
        QCOMPARE(grid.CurrentPage(), 0);
        for (int i = 1; i <= channels; ++i)
            QCOMPARE(grid.Windows()[size_t(i)]->channel_item->parent(), tree->Entry(row)->item);
        QCOMPARE(list->currentIndex().row(), row);
        QCOMPARE(map->Index, row);
        // A double-click on another vehicle in the tree expands or collapses it and opens nothing.
        const int other = RowOfDevice(tree, "MDVR-10002");
        QTreeWidgetItem* other_item = tree->Entry(other)->item;
        window.ShowPanel(CAppMainDlg::kDeviceList);
        tree->scrollToItem(other_item);
        const bool expanded = other_item->isExpanded();
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(other_item).center());
        QCOMPARE(other_item->isExpanded(), !expanded);
        QCOMPARE(grid.BoundCount(), 1 + channels);
        // Enter on it opens its channels at the end; its channel already shown moves there.
        tree->setCurrentItem(other_item);
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(grid.BoundCount(), 2 * channels);
        QVERIFY(packed());
        QCOMPARE(grid.Windows()[0]->channel_item->parent(), tree->Entry(row)->item);
        QCOMPARE(grid.Windows()[size_t(channels)]->channel_item->parent(), other_item);
        QCOMPARE(grid.CurrentPage(), channels / grid.Cells());
        QCOMPARE(map->Index, other);
        // So does "Open All Channels" of a vehicle node's context menu, which a channel node's lacks.
        QVERIFY(MenuOf(window, other_item).contains("Open All Channels"));
        QVERIFY(!MenuOf(window, other_item->child(0)).contains("Open All Channels"));
        for (int i = 0; i < channels; ++i) grid.CloseWindow(grid.FindWindowOfNode(other_item->child(i)));
        QCOMPARE(grid.BoundCount(), channels);
        tree->setCurrentItem(other_item);
        ActionsOf(window).Run(ChannelActions::kCommandOpenAllChannels);
        QCOMPARE(grid.BoundCount(), 2 * channels);
        QCOMPARE(grid.Windows()[size_t(channels)]->channel_item->parent(), other_item);
        QVERIFY(packed());
        window.close();
    }
};

QTEST_MAIN(AlarmPanelWiringTest)
#include "alarm_panel_wiring_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The device tree: labels with provinces, channel nodes and their cap, clicks and what they ask of the
// host, device events and alarms. The tree is built on its own with a recording host; the devices come
// from a session logged in to a velq-sim center with a fleet of our own (the library gives out device
// data only while logged in), through the fleet presenter as in the client.
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <QSignalSpy>

#include "../client_fixture.h"
#include "app/session_controller.h"
#include "app/shown_text.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_presenter.h"

namespace {

const char kFleet[] = R"({"vehicles": [
  {"device_id": "DEV-PROV", "vehicle_id": "ABC123@5", "driver": "<b>Ann</b>", "channels": 12, "last_report": 1700000000},
  {"device_id": "DEV-PLAIN", "vehicle_id": "ABC123", "driver": "<img src=x>", "channels": 1, "last_report": 1700000000},
  {"device_id": "DEV-FAR", "vehicle_id": "FAR1@9", "driver": "Cy", "channels": 4, "last_report": 1700000000},
  {"device_id": "DEV-\u202eBIDI", "vehicle_id": "R\u202eTL\u200f", "driver": "D\u2067r", "channels": 1, "last_report": 1700000000}
]})";

// Records what the tree asks of the window around it; log lines keep their time (empty: now).
class RecordingTreeHost final : public DevTreeHost {
  public:
    struct Line {
        QString time, message;
    };
    void AddLogLine(const QString* time, const QString& message) override {
        lines.push_back({time ? *time : QString(), message});
    }
    void SelectDeviceNode(QTreeWidgetItem* node) override { selected.push_back(node); }
    void ShowChannelMenu(QTreeWidgetItem* node) override { menus.push_back(node); }
    void TreeClicked() override { ++clicks; }

    int count() const { return int(lines.size()); }
    const QString& message(int i) const { return lines[i].message; }
    const QString& last() const { return lines.back().message; }

    QList<Line> lines;
    QList<QTreeWidgetItem*> selected, menus;
    int clicks = 0;
};

// The tree with its host, the vehicle list and the presenter feeding both from a session, as the main
// window puts them together; the presenter's log lines go to the same host.
struct FleetRig {
    SessionController session;
    RecordingTreeHost host;
    DevTree tree;
    DeviceStatusList list;
    FleetPresenter fleet{
        tree, list, [this](const QString* time, const QString& message) { host.AddLogLine(time, message); }};

    FleetRig(const QString& skin, const AppSettings& settings, const QStringList& provinces) {
        tree.Setup(&host, skin, settings);
        tree.SetProvinces(provinces);
        fleet.Follow(session);
    }
    // Logs in to `center`; its fleet is listed by the events that follow.
    bool LogIn(SimCenter& center) {
        return VelqApp_SetCenterServer(session.session(), "127.0.0.1", center.server().tcp_port(),
                                       center.server().udp_port()) &&
               VelqApp_Login(session.session(), "orvi", "480913");
    }
};

QTreeWidgetItem* NodeOf(DevTree* tree, const QString& device_id) {
    for (int i = 0; i < tree->EntryCount(); ++i) {
        char id[64] = {};
        VelqDev_GetDevInfo(tree->Entry(i)->device, VELQ_DEV_ID, id, sizeof(id));
        if (device_id == id) return tree->Entry(i)->item;
    }
    return nullptr;
}

}  // namespace

class DevTreeTest : public QObject {
    Q_OBJECT
  private slots:
    void labelsWithProvinces() {
        const QStringList provinces = {"A", "B", "C", "D", "E", "X"};
        QCOMPARE(DevTree::LabelFor("ABC123@5", provinces, 0), QString("XABC123"));
        QCOMPARE(DevTree::LabelFor("ABC123", provinces, 0), QString("ABC123"));
        QCOMPARE(DevTree::LabelFor("ABC123@6", provinces, 0), QString());
        QCOMPARE(DevTree::LabelFor("ABC123@7", provinces, 2), QString("XABC123"));
        // Index -1 after the offset reads as "no province"; -2 is past the list.
        QCOMPARE(DevTree::LabelFor("ABC123@1", provinces, 2), QString("ABC123"));
        QCOMPARE(DevTree::LabelFor("ABC123@0", provinces, 2), QString());
        QCOMPARE(DevTree::LabelFor("ABC123@", provinces, 0), QString("AABC123"));
        QCOMPARE(DevTree::LabelFor(QString(40, u'V'), {}, 0).size(), 32);
    }

    void channelNodesAndTheirCap() {
        QTreeWidgetItem none, twelve, huge;
        QVERIFY(!DevTree::AddChannelNodes(&none, 0, QIcon()));
        QCOMPARE(none.childCount(), 0);
        QVERIFY(!DevTree::AddChannelNodes(&twelve, 12, QIcon()));
        QCOMPARE(twelve.childCount(), 12);
        QCOMPARE(twelve.child(0)->text(0), QString("Channel-01"));
        QCOMPARE(twelve.child(11)->text(0), QString("Channel-12"));
        QCOMPARE(twelve.child(11)->data(0, Qt::UserRole).toInt(), 12);
        QVERIFY(DevTree::AddChannelNodes(&huge, 5000000, QIcon()));
        QCOMPARE(huge.childCount(), DevTree::kMaxChannelNodes);
        QTreeWidgetItem negative;
        QVERIFY(!DevTree::AddChannelNodes(&negative, -3, QIcon()));
        QCOMPARE(negative.childCount(), 0);
    }

    // A double-click on a device node opens and closes it, as in any tree; a channel node stays a leaf,
    // and a double-click on it selects it and asks for its video.
    void deviceNodeToggledByDoubleClick() {
        ScratchHome home;
        auto client = home.StartClient();
        RecordingTreeHost host;
        DevTree tree;
        tree.Setup(&host, home.path(), client->settings);
        QSignalSpy activated(&tree, &DevTree::channelActivated);
        auto* node = new QTreeWidgetItem(QStringList{"V1"});
        DevTree::AddChannelNodes(node, 2, QIcon());
        tree.addTopLevelItem(node);
        tree.resize(200, 200);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QVERIFY(!node->isExpanded());
        const auto double_click = [&](QTreeWidgetItem* target = nullptr) {
            const QPoint at = tree.visualItemRect(target ? target : node).center();
            QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, at);
            QMouseEvent event(QEvent::MouseButtonDblClick, at, tree.viewport()->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(tree.viewport(), &event);
            QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, at);
        };
        double_click();
        QVERIFY(node->isExpanded());
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        double_click();
        QVERIFY(!node->isExpanded());
        QCOMPARE(activated.count(), 0);
        QVERIFY(host.clicks > 0);
        QVERIFY(host.menus.isEmpty());

        node->setExpanded(true);
        QTreeWidgetItem* channel = node->child(1);
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        host.selected.clear();
        double_click(channel);
        QCOMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).value<QTreeWidgetItem*>(), channel);
        QVERIFY(host.selected.contains(channel));
        QVERIFY(node->isExpanded());
        QCOMPARE(channel->childCount(), 0);
    }

    void fleetFromTheCenter() {
        ScratchHome home;
        home.WriteFile("fleet.json", kFleet);
        std::string error;
        auto fleet = velq_sim::Fleet::Load((home.path() + "fleet.json").toStdString(), &error);
        QVERIFY2(fleet, error.c_str());
        SimCenter center(std::move(*fleet), 0);
        QVERIFY(center.started());
        auto client = home.StartClient();
        FleetRig rig(home.path(), client->settings, {"A", "B", "C", "D", "E", "X"});
        QVERIFY(rig.LogIn(center));
        DevTree* tree = &rig.tree;
        RecordingTreeHost& log = rig.host;
        QTRY_COMPARE_WITH_TIMEOUT(tree->EntryCount(), 4, 10000);

        QTreeWidgetItem* prov = NodeOf(tree, "DEV-PROV");
        QTreeWidgetItem* plain = NodeOf(tree, "DEV-PLAIN");
        QTreeWidgetItem* far = NodeOf(tree, "DEV-FAR");
        QVERIFY(prov && plain && far);
        QCOMPARE(prov->text(0), QString("XABC123"));
        QCOMPARE(plain->text(0), QString("ABC123"));
        // A province past the list leaves no label: the device id stands in.
        QCOMPARE(far->text(0), QString("DEV-FAR"));
        // Direction controls from the server never reach the screen.
        QTreeWidgetItem* bidi = NodeOf(tree, QString::fromUtf16(u"DEV-\u202eBIDI"));
        QVERIFY(bidi);
        QCOMPARE(bidi->text(0), QString("RTL"));
        const int bidi_row = VelqDev_GetUserData(tree->EntryOf(bidi)->device);
        QCOMPARE(rig.list.Cell(bidi_row, 1), QString("Dr"));
        for (int i = 0; i < log.count(); ++i) {
            for (QChar c : log.message(i)) QVERIFY(!IsDirectionControl(c.unicode()));
        }
        QCOMPARE(prov->childCount(), 12);
        QCOMPARE(prov->child(11)->text(0), QString("Channel-12"));
        // Rows follow the user data; driver names stay as typed (the views show plain text).
        const int row = VelqDev_GetUserData(tree->Entry(prov->data(0, Qt::UserRole).toInt())->device);
        QCOMPARE(rig.list.Cell(row, 0), QString("XABC123"));
        QCOMPARE(rig.list.Cell(row, 1), QString("<b>Ann</b>"));
        QVERIFY(!rig.list.Cell(row, 3).isEmpty());
        QVERIFY(rig.list.Cell(row, 2).endsWith(" km/h"));
        QVERIFY(log.last().contains("] Online"));

        // Event 130 for a device already online changes only its label.
        DevTreeEntry* entry = tree->Entry(prov->data(0, Qt::UserRole).toInt());
        QCOMPARE(entry->online, 1);
        const QIcon before = prov->icon(0);
        const int log_lines = log.count();
        QVERIFY(VelqDev_SetDevInfo(entry->device, VELQ_DEV_TEXT1, "NEW9", 32) > 0);
        rig.fleet.SetDeviceState(1, entry->device);
        QCOMPARE(prov->text(0), QString("NEW9"));
        QCOMPARE(entry->online, 1);
        QCOMPARE(prov->icon(0).cacheKey(), before.cacheKey());
        QCOMPARE(log.count(), log_lines);
        // Going offline logs it and changes the icon.
        rig.fleet.SetDeviceState(0, entry->device);
        QCOMPARE(entry->online, 0);
        QVERIFY(log.last().endsWith("[DEV-PROV - NEW9] Offline"));

        // Alarms: 13 is "Over Speed" stamped with the device's report time; 0..7 write nothing.
        const int alarms_before = log.count();
        for (int code = 0; code < 8; ++code) tree->ReportAlarm(entry->device, code);
        QCOMPARE(log.count(), alarms_before);
        tree->ReportAlarm(entry->device, 13);
        QCOMPARE(log.count(), alarms_before + 1);
        const QString line = log.last();
        QVERIFY2(line.endsWith("[DEV-PROV - NEW9] Over Speed"), qPrintable(line));
        QCOMPARE(log.lines.back().time,
                 QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyy-MM-dd HH:mm:ss"));
    }

    // The whole road of an alarm: the center changes a status word, the library posts event 160 + 13, the
    // tree asks its host to log "Over Speed".
    void alarmFromTheCenterReachesTheLog() {
        ScratchHome home;
        SimCenter center(velq_sim::Fleet::Default(), 0);
        QVERIFY(center.started());
        auto client = home.StartClient();
        FleetRig rig(home.path(), client->settings, {});
        QVERIFY(rig.LogIn(center));
        QTRY_VERIFY_WITH_TIMEOUT(rig.tree.EntryCount() > 0, 10000);
        // Only a change from one non-zero value to another is an alarm: keep changing the word until the
        // client has seen a non-zero value and then another.
        uint32_t value = 1;
        QTimer toggler;
        connect(&toggler, &QTimer::timeout, [&] {
            center.server().fleet().SetStatusWord("MDVR-10001", 13, value);
            value = value == 1 ? 2 : 1;
        });
        toggler.start(1500);
        const auto has_alarm = [&] {
            for (int i = 0; i < rig.host.count(); ++i)
                if (rig.host.message(i) == "[MDVR-10001 - AB-3127] Over Speed") return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(has_alarm(), 30000);
    }

    void skinImagesSkipMissingFiles() {
        ScratchHome home;
        for (const char* name : {"camera-4.bmp", "dvr-off.bmp", "dvr-on.bmp"})
            QFile::copy(QString(CORVEL_SOURCE_DIR "/client/resources/image/") + name, home.path() + name);
        auto client = home.StartClient();
        DevTree tree;
        tree.Setup(nullptr, home.path(), client->settings);
        QCOMPARE(tree.ImageCount(), 3);
        // dvr-on moved up from entry 5 to entry 2.
        QVERIFY(!tree.ImageIcon(2).isNull());
        QVERIFY(tree.ImageIcon(5).isNull());
    }
};

QTEST_MAIN(DevTreeTest)
#include "dev_tree_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm desk and its panel without the main window: a scripted fleet's alarm words changing open
// episodes in the panel and count them, acknowledging from the panel (all shown after a question, or the
// selected ones with a comment) stamps the current user, and the history file keeps it for the next run.
// How the window shows the count, highlights rows and opens video is tests/client/shell/.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "../client_fixture.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_sound.h"

namespace {

// Vehicles named as the session would name them, whose alarm words the test writes as the center would
// send them (each write a new status record).
class ScriptedFleet final : public AlarmVehicles {
  public:
    struct Vehicle {
        QString device_id, label;
        uint32_t words[16] = {};
        uint32_t serial = 1;  // a status record without alarms came before the test's
    };
    explicit ScriptedFleet(std::vector<Vehicle> vehicles) : vehicles_(std::move(vehicles)) {}

    void Write(int row, int word, uint32_t value) {
        Vehicle& v = vehicles_[size_t(row)];
        v.words[word] = value;
        ++v.serial;
    }
    int Count() const override { return int(vehicles_.size()); }
    bool Words(int row, uint32_t* words, uint32_t* serial) const override {
        const Vehicle& v = vehicles_[size_t(row)];
        std::copy(std::begin(v.words), std::end(v.words), words);
        *serial = v.serial;
        return true;
    }
    QString DeviceId(int row) const override { return vehicles_[size_t(row)].device_id; }
    QString Label(int row) const override { return vehicles_[size_t(row)].label; }
    int64_t LastReport_s(int) const override { return 0; }

  private:
    std::vector<Vehicle> vehicles_;
};

ScriptedFleet ThreeVehicles() {
    return ScriptedFleet({{"MDVR-10001", "AB-3127"}, {"MDVR-10002", "CD-0042"}, {"MDVR-10003", "EF-7781"}});
}

QString Same(const QString& text) {
    return text;
}

// The desk as the window makes it (history in the scratch folder, silent sound), its vehicles listed and
// its panel shown; the user is whoever `user` names.
struct DeskRig {
    DeskRig(const ScratchHome& home, const AlarmVehicles& fleet,
            const QString& user = QStringLiteral("orvi")) {
        AlarmSettings settings;
        settings.sound_backend = QStringLiteral("null");
        settings.database = home.path() + QStringLiteral("alarms.db");
        desk = std::make_unique<AlarmDesk>(settings, Same, &fleet);
        desk->SetUserSource([user] { return user; });
        desk->WaitForHistory();
        for (int row = 0; row < fleet.Count(); ++row) desk->VehicleListed(row, fleet.DeviceId(row));
        panel = desk->Panel(&parent);
        parent.resize(400, 500);
        panel->resize(400, 500);
        parent.show();
    }
    // A watch step; the panel's model takes the changes in once the event loop runs.
    void Poll() {
        desk->Poll();
        QCoreApplication::processEvents();
    }

    // The panel shows the desk's model: the panel (a child of `parent`) goes first.
    std::unique_ptr<AlarmDesk> desk;
    QWidget parent;
    AlarmPanel* panel = nullptr;
};

// Clicks "Acknowledge All Shown" and answers its question with `button`; returns the question.
QString AcknowledgeAllShown(AlarmPanel* panel, QMessageBox::StandardButton button) {
    auto asked = std::make_shared<QString>();
    QTimer::singleShot(0, [asked, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        *asked = box->text();
        box->button(button)->click();
    });
    panel->acknowledgeAllButton()->click();
    return *asked;
}

}  // namespace

class AlarmPanelTest : public QObject {
    Q_OBJECT
  private slots:
    // Words turning on open episodes, at most one open per vehicle and word (a change from one non-zero
    // value to another belongs to the open one), and words going back to 0 close them; the count the
    // window shows follows. "Acknowledge All Shown" asks first, naming the count.
    void alarmWordsOpenAndCloseEpisodes() {
        ScratchHome home;
        ScriptedFleet fleet = ThreeVehicles();
        DeskRig rig(home, fleet);
        AlarmDesk* alarms = rig.desk.get();
        QSignalSpy counts(alarms, &AlarmDesk::unacknowledgedChanged);
        rig.Poll();  // the first look: nothing on
        QCOMPARE(alarms->book().size(), 0);
        fleet.Write(0, 13, 1);
        fleet.Write(1, 12, 1);
        fleet.Write(1, 8, 4);
        rig.Poll();
        fleet.Write(0, 13, 2);  // still on: the same episode
        fleet.Write(2, 15, 1);
        rig.Poll();
        fleet.Write(1, 8, 0);
        rig.Poll();
        QCOMPARE(alarms->book().size(), 4);
        const auto cleared_live = [&] {
            for (int i = 0; i < alarms->book().size(); ++i) {
                const AlarmEpisode& e = alarms->book().at(i);
                if (!e.active() && !e.at_login && e.cleared_s >= e.started_s) return true;
            }
            return false;
        };
        QVERIFY(cleared_live());
        QSet<QString> open;
        for (int i = 0; i < alarms->book().size(); ++i) {
            const AlarmEpisode& e = alarms->book().at(i);
            QVERIFY(e.word >= 8 && e.word <= 15);
            QVERIFY(e.device_id.startsWith("MDVR-"));
            if (!e.active()) continue;
            QVERIFY(!open.contains(e.device_id + QString::number(e.word)));
            open.insert(e.device_id + QString::number(e.word));
        }
        QCOMPARE(open.size(), 3);
        QTRY_VERIFY(!counts.isEmpty());
        QCOMPARE(counts.last().at(0).toInt(), alarms->unacknowledged());
        QCOMPARE(alarms->unacknowledged(), 4);

        AlarmPanel* panel = rig.panel;
        const QList<int64_t> shown = panel->ShownIds();
        QCOMPARE(shown.size(), 4);
        const auto acknowledged = [&] {
            int count = 0;
            for (const int64_t id : shown) count += alarms->book().Find(id)->acknowledged();
            return count;
        };
        QCOMPARE(AcknowledgeAllShown(panel, QMessageBox::No), QString("Acknowledge %1 alarms?").arg(4));
        QCOMPARE(acknowledged(), 0);
        QCOMPARE(AcknowledgeAllShown(panel, QMessageBox::Yes), QString("Acknowledge %1 alarms?").arg(4));
        QCOMPARE(acknowledged(), int(shown.size()));
        QTRY_COMPARE(counts.last().at(0).toInt(), 0);
    }

    // A word the vehicle had before the login opens an episode marked so, without the alert; the word
    // going back to 0 closes it.
    void aWordPresentAtLoginOpensAndClosesAnEpisode() {
        ScratchHome home;
        ScriptedFleet fleet = ThreeVehicles();
        fleet.Write(1, 12, 2);
        DeskRig rig(home, fleet);
        AlarmDesk* alarms = rig.desk.get();
        rig.Poll();
        QCOMPARE(alarms->book().size(), 1);
        const AlarmEpisode& episode = alarms->book().at(0);
        QCOMPARE(episode.device_id, QString("MDVR-10002"));
        QCOMPARE(AlarmWordText(episode.word), QString("Disk Error"));
        QVERIFY(episode.at_login);
        QCOMPARE(alarms->sound()->plays(), 0);
        const int64_t id = episode.id;
        fleet.Write(1, 12, 0);
        rig.Poll();
        QVERIFY(!alarms->book().Find(id)->active());
        QCOMPARE(alarms->book().size(), 1);
    }

    // An alarm sounds, highlights its vehicle and counts; acknowledging the selected row with a comment
    // stamps the user, empties the comment field and lifts the highlight; a double-click on the row asks
    // for the vehicle's video; the next run reads the acknowledgement back from the history file.
    void acknowledgeWithACommentSurvivesARestart() {
        ScratchHome home;
        ScriptedFleet fleet = ThreeVehicles();
        int64_t episode_id = 0;
        {
            DeskRig rig(home, fleet, QStringLiteral("dispatcher-7"));
            AlarmDesk* alarms = rig.desk.get();
            QSignalSpy counts(alarms, &AlarmDesk::unacknowledgedChanged);
            QSignalSpy highlights(alarms, &AlarmDesk::vehicleHighlightChanged);
            QSignalSpy video(alarms, &AlarmDesk::videoRequested);
            rig.Poll();
            fleet.Write(0, 13, 1);
            rig.Poll();
            QCOMPARE(alarms->book().size(), 1);
            const AlarmEpisode& episode = alarms->book().at(0);
            episode_id = episode.id;
            QCOMPARE(episode.label, QString("AB-3127"));
            QCOMPARE(AlarmWordText(episode.word), QString("Over Speed"));
            QCOMPARE(alarms->sound()->plays(), 1);
            QTRY_COMPARE(counts.count(), 1);
            QCOMPARE(counts.last().at(0).toInt(), 1);
            QVERIFY(alarms->highlighted(0));
            QCOMPARE(highlights.count(), 1);
            QCOMPARE(highlights.last().at(0).toInt(), 0);
            QVERIFY(highlights.last().at(1).toBool());
            // Further changes of the same word belong to the open episode.
            for (uint32_t value : {2u, 1u, 3u}) {
                fleet.Write(0, 13, value);
                rig.Poll();
            }
            QCOMPARE(alarms->book().size(), 1);

            AlarmPanel* panel = rig.panel;
            QCOMPARE(panel->ShownIds(), QList<int64_t>{episode_id});
            panel->commentEdit()->setText("driver called");
            panel->view()->selectAll();
            panel->acknowledgeButton()->click();
            QTRY_COMPARE(counts.last().at(0).toInt(), 0);
            QVERIFY(!alarms->highlighted(0));
            QVERIFY(!highlights.last().at(1).toBool());
            QVERIFY(panel->commentEdit()->text().isEmpty());
            QCOMPARE(alarms->book().Find(episode_id)->ack_user, QString("dispatcher-7"));

            QVERIFY(QTest::qWaitForWindowExposed(&rig.parent));
            // A double-click as the platform delivers it: press, release, then the double-click event.
            QWidget* viewport = panel->view()->viewport();
            const QPoint at = panel->view()->visualRect(panel->view()->model()->index(0, 0)).center();
            QTest::mousePress(viewport, Qt::LeftButton, {}, at);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            QMouseEvent double_click(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at),
                                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &double_click);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            QCOMPARE(video.count(), 1);
            QCOMPARE(video.last().at(0).toInt(), 0);
        }
        ScriptedFleet next = ThreeVehicles();
        DeskRig rig(home, next);
        const AlarmEpisode* episode = rig.desk->book().Find(episode_id);
        QVERIFY(episode);
        QCOMPARE(episode->ack_user, QString("dispatcher-7"));
        QCOMPARE(episode->ack_comment, QString("driver called"));
        QCOMPARE(rig.desk->unacknowledged(), 0);
        QVERIFY(!rig.desk->highlighted(0));
    }
};

QTEST_MAIN(AlarmPanelTest)
#include "alarm_panel_test.moc"

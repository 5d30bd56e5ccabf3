// SPDX-License-Identifier: GPL-3.0-or-later
// From an alarm in the history to its pictures: the selected episode lists the recording that covers its
// start, and Play opens the player on it at the alarm's moment with the alarm record for the evidence.
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "../recordings/recorded_material.h"
#include "corvel/record_times.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_store.h"
#include "recordings/player_window.h"
#include "recordings/recordings_launcher.h"
#include "shell/alarm_evidence_wiring.h"

namespace {
QString Same(const QString& text) {
    return text;
}
}  // namespace

class AlarmEvidenceWiringTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;
    RecordedMaterial material_;

  private slots:
    void playOpensThePlayerAtTheAlarmWithItsRecord() {
        QVERIFY(material_.started());
        const QString record = home_.path() + QStringLiteral("/Record");
        const QString recording = material_.RecordClip(record, QStringLiteral("CAR-7-chn01"), 4000);
        QVERIFY(!recording.isEmpty());
        const velq::times::RecordTimes times =
            velq::times::ReadFile((recording + QStringLiteral(".times")).toStdString());
        QVERIFY(!times.empty());
        // An alarm of whole seconds, at least a second into the recording.
        const int64_t started_s = times.points.front().unix_ms / 1000 + 2;

        const QString database = home_.path() + QStringLiteral("/alarms.db");
        {
            AlarmStoreOptions options;
            options.path = database;
            AlarmStore store(options);
            AlarmEpisode alarm;
            alarm.id = 1;
            alarm.device_id = QStringLiteral("MDVR-10001");
            alarm.label = QStringLiteral("CAR-7");
            alarm.word = 8;
            alarm.started_s = started_s;
            store.Save(alarm);
            AlarmEpisode elsewhere = alarm;  // another vehicle at the same moment has no recording
            elsewhere.id = 2;
            elsewhere.device_id = QStringLiteral("MDVR-10002");
            elsewhere.label = QStringLiteral("CAR-8");
            store.Save(elsewhere);
            QVERIFY(store.Flush(10000));
        }

        QWidget main_window;
        recordings::RecordingsLauncher launcher(
            [&] {
                return recordings::RecordingFolders{record, home_.path() + QStringLiteral("/Snapshot")};
            },
            Same);
        AlarmHistoryDlg history(database, Same, &main_window);
        WireAlarmEvidence(
            history, launcher, [record] { return QStringList{record}; }, Same, &main_window);
        QSignalSpy searched(&history, &AlarmHistoryDlg::searchFinished);
        history.Search();
        QVERIFY(searched.wait(20000));
        QCOMPARE(history.shown().size(), 2);
        const int ours = history.shown()[0].label == QStringLiteral("CAR-7") ? 0 : 1;

        QSignalSpy listed(&history, &AlarmHistoryDlg::recordingsShown);
        history.results()->setCurrentItem(history.results()->topLevelItem(1 - ours));
        QVERIFY(listed.wait(20000));
        QVERIFY(history.covering().isEmpty());
        QVERIFY(!history.playButton()->isEnabled());

        history.results()->setCurrentItem(history.results()->topLevelItem(ours));
        QVERIFY(listed.wait(20000));
        QCOMPARE(history.covering().size(), 1);
        QCOMPARE(history.covering()[0].path, recording);
        QCOMPARE(history.recordingsList()->topLevelItemCount(), 1);
        QVERIFY(history.playButton()->isEnabled());

        QTest::mouseClick(history.playButton(), Qt::LeftButton);
        const QList<recordings::PlayerWindow*> players =
            main_window.findChildren<recordings::PlayerWindow*>();
        QCOMPARE(players.size(), 1);
        recordings::PlayerWindow* player = players.front();
        QVERIFY(player->trueTimes().valid());
        // The frame shown is the last one at or before the alarm's moment: within two frames of it.
        const int64_t moment_ms = started_s * 1000;
        const int64_t shown_ms = player->ShownTime().toMSecsSinceEpoch();
        const double period_ms = player->player().frame_period_ms();
        QVERIFY2(shown_ms <= moment_ms && shown_ms > moment_ms - 2 * period_ms,
                 qPrintable(QStringLiteral("shown %1, alarm %2").arg(shown_ms).arg(moment_ms)));
        QVERIFY(player->player().position_ms() > 500);
        QVERIFY2(player->alarmRecord().contains(QStringLiteral("Vehicle: CAR-7\n")) &&
                     player->alarmRecord().contains(QStringLiteral("Device Id: MDVR-10001\n")),
                 qPrintable(player->alarmRecord()));
        // ... which the evidence folder of this player keeps.
        QSignalSpy evidence(player, &recordings::PlayerWindow::evidenceFinished);
        QVERIFY(player->StartEvidence(home_.path()));
        QVERIFY(evidence.wait(60000));
        QVERIFY2(evidence.front().at(0).toBool(), qPrintable(evidence.front().at(2).toString()));
        QFile kept(QDir(evidence.front().at(1).toString()).filePath(QStringLiteral("alarm.txt")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(kept.readAll()), player->alarmRecord());
        delete player;
    }
};

QTEST_MAIN(AlarmEvidenceWiringTest)
#include "alarm_evidence_wiring_test.moc"

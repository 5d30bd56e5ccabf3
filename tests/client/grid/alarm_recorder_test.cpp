// SPDX-License-Identifier: GPL-3.0-or-later
// Recording on alarm and the pre-record time of the grid's devices: the decisions against fakes, and a
// whole alarm against velq-sim (the center raises the alarm word, the channel on the grid records until
// PostAlarmSeconds after it).
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <set>

extern "C" {
#include <libavformat/avformat.h>
}

#include "../client_fixture.h"
#include "corvel/record_times.h"
#include "fleet/dev_tree.h"
#include "grid/alarm_recorder.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"
#include "shell/evidence_wiring.h"

namespace {

AppDevice* Device(int n) {
    return reinterpret_cast<AppDevice*>(uintptr_t(0x1000 * n));
}
AppChannel* Channel(int n) {
    return reinterpret_cast<AppChannel*>(uintptr_t(0x100000 * n));
}

// Seconds of video in an AVI (its stream's frames over its rate), -1 when unreadable.
double AviSeconds(const QString& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0) return -1;
    double seconds = -1;
    if (avformat_find_stream_info(format, nullptr) >= 0 && format->duration > 0)
        seconds = double(format->duration) / AV_TIME_BASE;
    avformat_close_input(&format);
    return seconds;
}

}  // namespace

class AlarmRecorderTest : public QObject {
    Q_OBJECT

  private slots:
    void preRecordFollowsTheGrid() {
        std::vector<std::pair<AppDevice*, int>> calls;
        PreRecordSync sync([&](AppDevice* d, int s) {
            calls.emplace_back(d, s);
            return 4;
        });
        sync.Sync({Device(1), Device(2), Device(1)}, 10);
        QCOMPARE(calls.size(), size_t(2));
        sync.Sync({Device(1), Device(2)}, 10);  // nothing changed: the library is not asked again
        QCOMPARE(calls.size(), size_t(2));
        sync.Sync({Device(2)}, 5);  // device 1 left the grid, device 2 gets the new time
        QCOMPARE(calls.size(), size_t(4));
        QVERIFY((calls[2] == std::pair{Device(1), 0}) || (calls[3] == std::pair{Device(1), 0}));
        QCOMPARE(sync.SecondsOf(Device(2)), 5);
        QCOMPARE(sync.SecondsOf(Device(1)), 0);
        sync.Forget();
        sync.Sync({}, 5);  // handles of a closed session are never touched
        QCOMPARE(calls.size(), size_t(4));
    }

    void alarmsRecordUntilTheTimeAfterTheLast() {
        std::vector<GridChannel> grid = {{Device(1), Channel(1), "A", "va", 1},
                                         {Device(1), Channel(2), "A", "va", 2},
                                         {Device(2), Channel(3), "B", "vb", 1}};
        std::set<AppChannel*> recording = {Channel(2)};  // the operator's
        std::vector<AppChannel*> started, stopped;
        AlarmRecorder recorder({[&] { return grid; }, [&](AppChannel* c) { return recording.count(c) > 0; },
                                [&](const GridChannel& c) {
                                    started.push_back(c.channel);
                                    recording.insert(c.channel);
                                    return true;
                                },
                                [&](const GridChannel& c) {
                                    stopped.push_back(c.channel);
                                    recording.erase(c.channel);
                                }});
        recorder.OnAlarm("A", 0);  // off by default
        QVERIFY(started.empty());
        recorder.Configure(true, 3);
        recorder.OnAlarm("A", 1000);
        QCOMPARE(started, std::vector<AppChannel*>{Channel(1)});
        recorder.OnAlarm("A", 2500);  // a later alarm moves the end, starts nothing twice
        QCOMPARE(started.size(), size_t(1));
        recorder.Tick(5000);
        QVERIFY(stopped.empty());
        recorder.Tick(5500);
        QCOMPARE(stopped, std::vector<AppChannel*>{Channel(1)});
        QVERIFY(recording.count(Channel(2)));  // the operator's goes on

        // Stopped by the operator: forgotten, never stopped or restarted by us.
        recorder.OnAlarm("B", 10000);
        QCOMPARE(started.back(), Channel(3));
        recording.erase(Channel(3));
        recorder.Tick(11000);
        QCOMPARE(recorder.RecordingCount(), 0);
        recorder.Tick(20000);
        QCOMPARE(stopped.size(), size_t(1));
        // A vehicle not on the grid records nothing.
        recorder.OnAlarm("C", 30000);
        QCOMPARE(started.size(), size_t(2));
    }

    // The center raises an alarm word of MDVR-10001 whose channel 1 is on the grid: a recording starts,
    // and ends PostAlarmSeconds later with the alarm's moment inside it.
    void anAlarmRecordsTheChannelOnTheGrid() {
        ScratchHome home;
        LiveClient live;
        home.WriteFile("Tavrin.ini", "[Tavrin]\nRecordOnAlarm=1\nPreAlarmSeconds=3\nPostAlarmSeconds=3\n");
        QVERIFY(live.Start(home, "SnapshotOpenPath=0\nUIWindowRow=2\nUIWindowCol=2\nRecordDuration=0\n"));
        MainWindowFixture window_fixture(live.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY(ShowAndLogIn(window));
        GridModel& model = GridOf(window)->Model();
        model.ActivateWindow(model.Windows()[0]);
        window.SelectDeviceNode(TreeOf(window)->FindChannelNode(QByteArray("MDVR-10001"), 1));
        ActionsOf(window).Run(kCommandPlay);
        QTRY_VERIFY_WITH_TIMEOUT(GridOf(window)->Windows()[0]->Stats().presented >= 10, 20000);
        EvidenceWiring* evidence = window.findChild<EvidenceWiring*>();
        QVERIFY(evidence);
        evidence->Tick();
        QCOMPARE(evidence->preRecord().SecondsOf(model.Windows()[0]->device), 3);
        QTest::qWait(4000);  // the channel has played longer than the pre-record time

        const int64_t alarm_ms = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(live.platform().center().fleet().SetStatusWord("MDVR-10001", 13, 1));
        QTRY_COMPARE_WITH_TIMEOUT(evidence->recorder().RecordingCount(), 1, 10000);
        // The client learns of the alarm at the next status poll; the pre-record reaches back from there.
        const int64_t raised_ms = QDateTime::currentMSecsSinceEpoch();
        AppChannel* channel = model.Windows()[0]->channel;
        QVERIFY(VelqChn_IsRecording(channel));
        QTRY_VERIFY_WITH_TIMEOUT(!VelqChn_IsRecording(channel), 10000);
        const int64_t stop_ms = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(stop_ms - alarm_ms >= 3000);

        const QDir records(live.client().settings.RecordPath);
        const QStringList files = records.entryList({"*.avi"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QString avi = records.filePath(files[0]);
        const QString times = avi + ".times";
        if (QFile::exists(times)) {
            // With the library's time file: the file reaches back to about PreAlarmSeconds before the
            // client heard of the alarm (less at most one key-frame group, which the buffer starts
            // with) and on to PostAlarmSeconds after it.
            const velq::times::RecordTimes parsed = velq::times::ReadFile(times.toStdString());
            QVERIFY(!parsed.points.empty());
            QVERIFY2(parsed.points.front().unix_ms <= raised_ms - 1500,
                     qPrintable(QString::number(raised_ms - parsed.points.front().unix_ms)));
            QVERIFY(parsed.points.back().unix_ms >= alarm_ms + 2500);
        } else {
            // A library without time files: the AVI holds at least the seconds after the alarm.
            QVERIFY2(AviSeconds(avi) >= 2.5, qPrintable(QString::number(AviSeconds(avi))));
        }
    }
};

QTEST_MAIN(AlarmRecorderTest)
#include "alarm_recorder_test.moc"

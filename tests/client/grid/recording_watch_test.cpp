// SPDX-License-Identifier: GPL-3.0-or-later
// The watch over recording channels: a recording that gets no picture for 2 s waits for video, the next
// picture ends the wait with its length, and a stop or a release forgets the channel.
#include <QTest>

#include "grid/recording_watch.h"

namespace {
AppChannel* Channel(int n) {
    return reinterpret_cast<AppChannel*>(uintptr_t(0x1000 * n));
}
}  // namespace

class RecordingWatchTest : public QObject {
    Q_OBJECT

  private slots:
    void aRecordingWithoutPicturesWaitsAndResumes() {
        RecordingWatch watch;
        QVERIFY(watch.Step({{Channel(1), true, 10}, {Channel(2), false, 5}}, 0).empty());
        QVERIFY(watch.Step({{Channel(1), true, 20}, {Channel(2), false, 5}}, 500).empty());
        // Pictures stop at 500 ms: still fine at 2499, waiting at 2500.
        QVERIFY(watch.Step({{Channel(1), true, 20}, {Channel(2), false, 5}}, 2499).empty());
        auto changes = watch.Step({{Channel(1), true, 20}, {Channel(2), false, 5}}, 2500);
        QCOMPARE(changes.size(), size_t(1));
        QVERIFY(changes[0].waiting);
        QCOMPARE(changes[0].since_ms, int64_t(500));
        QVERIFY(watch.Waiting(Channel(1)));
        QVERIFY(!watch.Waiting(Channel(2)));  // not recording: a stall is the tile's business only
        QVERIFY(watch.Step({{Channel(1), true, 20}}, 6000).empty());  // said once
        changes = watch.Step({{Channel(1), true, 21}}, 7500);
        QCOMPARE(changes.size(), size_t(1));
        QVERIFY(!changes[0].waiting);
        QCOMPARE(changes[0].waited_ms, int64_t(7000));
        QVERIFY(!watch.Waiting(Channel(1)));
    }

    void aStopOrAReleaseEndsTheWatch() {
        RecordingWatch watch;
        watch.Step({{Channel(1), true, 1}}, 0);
        watch.Step({{Channel(1), true, 1}}, 3000);
        QVERIFY(watch.Waiting(Channel(1)));
        QVERIFY(watch.Step({{Channel(1), false, 1}}, 3500).empty());
        QVERIFY(!watch.Waiting(Channel(1)));
        // Recording again: the start counts as a picture, so no wait before 2 s.
        QVERIFY(watch.Step({{Channel(1), true, 1}}, 4000).empty());
        QVERIFY(watch.Step({{Channel(1), true, 1}}, 5000).empty());
        watch.Step({{Channel(1), true, 1}}, 6000);
        QVERIFY(watch.Waiting(Channel(1)));
        QVERIFY(watch.Step({}, 6500).empty());
        QVERIFY(!watch.Waiting(Channel(1)));
    }
};

QTEST_MAIN(RecordingWatchTest)
#include "recording_watch_test.moc"

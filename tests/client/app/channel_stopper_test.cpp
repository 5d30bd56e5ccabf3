// SPDX-License-Identifier: GPL-3.0-or-later
// The channel stopper: stops run on its worker while the UI thread goes on; a start of the same camera
// runs on the UI thread only once its stops have ended; a later stop cancels a start still waiting; Finish
// waits for the stops and forgets the starts. Slow stops are jobs held on a gate the test opens.
#include <QTest>
#include <QThread>
#include <atomic>
#include <future>
#include <mutex>
#include <vector>

#include "app/channel_stopper.h"

namespace {

const AppDevice* Device(int n) {
    return reinterpret_cast<const AppDevice*>(static_cast<intptr_t>(0x1000 * n));
}

// A stop that takes as long as the test wants: it ends when the gate opens.
struct Gate {
    std::promise<void> open_promise;
    std::shared_future<void> opened = open_promise.get_future().share();
    std::atomic<bool> entered{false};
    std::atomic<bool> ended{false};
    ChannelStopper::Job Stop() {
        return [this] {
            entered = true;
            opened.wait();
            ended = true;
        };
    }
    void Open() { open_promise.set_value(); }
};

}  // namespace

class ChannelStopperTest : public QObject {
    Q_OBJECT

  private slots:
    // A stop's `done` runs on the UI thread once the stop ended, before the starts it held back; a logout's
    // DropStarts forgets the starts waiting, while the stops still run and report.
    void doneFollowsTheStopAndDroppedStartsNeverRun() {
        ChannelStopper stopper(ChannelStopper::QueuedPost());
        Gate gate;
        std::vector<int> order;
        stopper.Stop({Device(1), 1}, gate.Stop(), [&] {
            QVERIFY(gate.ended);
            order.push_back(1);
        });
        QVERIFY(!stopper.StartAfterStops({Device(1), 1}, [&] { order.push_back(2); }));
        QTRY_VERIFY(gate.entered);
        gate.Open();
        QTRY_VERIFY(!stopper.Pending({Device(1), 1}));
        QCOMPARE(order, (std::vector<int>{1, 2}));

        Gate held;
        bool reported = false;
        stopper.Stop({Device(2), 1}, held.Stop(), [&] { reported = true; });
        QVERIFY(!stopper.StartAfterStops({Device(2), 1}, [&] { order.push_back(3); }));
        stopper.DropStarts();
        held.Open();
        QTRY_VERIFY(reported);
        QTRY_VERIFY(!stopper.Pending({Device(2), 1}));
        QTest::qWait(50);
        QCOMPARE(order, (std::vector<int>{1, 2}));
    }

    // Stop hands the job over and returns while it still runs; the job runs on another thread.
    void stopReturnsBeforeTheStopEnds() {
        ChannelStopper stopper(ChannelStopper::QueuedPost());
        Gate gate;
        std::atomic<Qt::HANDLE> ran_on{nullptr};
        stopper.Stop({Device(1), 1}, [&] {
            ran_on = QThread::currentThreadId();
            gate.Stop()();
        });
        QVERIFY(!gate.ended);
        QVERIFY(stopper.Pending({Device(1), 1}));
        QTRY_VERIFY(gate.entered);
        QVERIFY(ran_on.load() != QThread::currentThreadId());
        gate.Open();
        QTRY_VERIFY(!stopper.Pending({Device(1), 1}));
        QVERIFY(gate.ended);
    }

    // The same camera starts only after its stops ended (on the UI thread, from the event loop); another
    // camera, or one with nothing pending, starts at once.
    void startWaitsForTheStopOfItsCamera() {
        ChannelStopper stopper(ChannelStopper::QueuedPost());
        Gate gate;
        const ChannelStopper::Key camera{Device(1), 2};
        stopper.Stop(camera, gate.Stop());
        stopper.Stop(camera, [] {});  // a second stop of it: the start waits for both
        std::vector<int> order;
        Qt::HANDLE started_on = nullptr;
        QVERIFY(!stopper.StartAfterStops(camera, [&] {
            order.push_back(gate.ended ? 2 : -2);
            started_on = QThread::currentThreadId();
        }));
        QVERIFY(stopper.StartAfterStops({Device(1), 3}, [&] { order.push_back(3); }));
        QVERIFY(stopper.StartAfterStops({Device(2), 2}, [&] { order.push_back(4); }));
        QCOMPARE(order, (std::vector<int>{3, 4}));
        QTest::qWait(50);  // the event loop runs: nothing for the camera while its stop is held
        QCOMPARE(order, (std::vector<int>{3, 4}));
        gate.Open();
        QTRY_COMPARE(order, (std::vector<int>{3, 4, 2}));
        QCOMPARE(started_on, QThread::currentThreadId());
        QVERIFY(!stopper.Pending(camera));
        QVERIFY(stopper.StartAfterStops(camera, [&] { order.push_back(5); }));
        QCOMPARE(order.back(), 5);
    }

    // Stop, start (waiting), stop again: the second stop has the last word and the start never runs;
    // a start queued after it runs once both stops ended.
    void aLaterStopCancelsAWaitingStart() {
        ChannelStopper stopper(ChannelStopper::QueuedPost());
        Gate gate;
        const ChannelStopper::Key camera{Device(3), 1};
        stopper.Stop(camera, gate.Stop());
        int cancelled = 0, later = 0;
        stopper.StartAfterStops(camera, [&] { ++cancelled; });
        stopper.Stop(camera, [] {});
        stopper.StartAfterStops(camera, [&] { ++later; });
        gate.Open();
        QTRY_COMPARE(later, 1);
        QCOMPARE(cancelled, 0);
        QCOMPARE(stopper.PendingCount(), size_t(0));
    }

    // Finish (the logout) returns only after every queued stop has run, in order; starts still waiting
    // are dropped, and the reports that arrive afterwards change nothing.
    void finishWaitsForEveryStopAndDropsTheStarts() {
        ChannelStopper stopper(ChannelStopper::QueuedPost());
        std::vector<int> ran;
        std::mutex ran_mutex;
        for (int i = 0; i < 3; ++i) {
            stopper.Stop({Device(4), i}, [&, i] {
                QThread::msleep(20);
                std::lock_guard lock(ran_mutex);
                ran.push_back(i);
            });
        }
        int started = 0;
        stopper.StartAfterStops({Device(4), 0}, [&] { ++started; });
        stopper.Finish();
        {
            std::lock_guard lock(ran_mutex);
            QCOMPARE(ran, (std::vector<int>{0, 1, 2}));
        }
        QCOMPARE(stopper.PendingCount(), size_t(0));
        QTest::qWait(30);  // the posted reports of the three stops
        QCOMPARE(started, 0);
        QVERIFY(stopper.StartAfterStops({Device(4), 0}, [&] { ++started; }));
        QCOMPARE(started, 1);
    }

    // A report posted by the worker after the stopper is gone reaches nothing.
    void reportAfterTheStopperIsGone() {
        int started = 0;
        {
            ChannelStopper stopper(ChannelStopper::QueuedPost());
            stopper.Stop({Device(5), 1}, [] { QThread::msleep(10); });
            stopper.StartAfterStops({Device(5), 1}, [&] { ++started; });
        }  // destruction finishes the stop; its report is still queued
        QTest::qWait(30);
        QCOMPARE(started, 0);
    }
};

QTEST_GUILESS_MAIN(ChannelStopperTest)
#include "channel_stopper_test.moc"

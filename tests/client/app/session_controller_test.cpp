// SPDX-License-Identifier: GPL-3.0-or-later
// The one queue between the library's threads and the UI thread (EventInbox) and the session controller
// that drains it into typed signals, against velq-sim's center.
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "../client_fixture.h"
#include "app/event_inbox.h"
#include "app/session_controller.h"

namespace {

std::vector<EventInbox::Event> TakeAll(EventInbox& inbox) {
    std::vector<EventInbox::Event> events;
    EventInbox::Event event;
    while (inbox.Take(&event)) events.push_back(event);
    return events;
}

}  // namespace

class SessionControllerTest : public QObject {
    Q_OBJECT

  private slots:
    // Four library threads post at once: nothing is lost, each thread's events keep their order, and the
    // drain is woken once, not once per event.
    void postsFromManyThreadsKeepTheirOrderAndWakeOnce() {
        std::atomic<int> wakes{0};
        EventInbox inbox([&] { ++wakes; });
        constexpr int kPerThread = 5000;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&inbox, t] {
                // Event 64 (operations) is never merged or dropped; the value names thread and sequence.
                for (int i = 0; i < kPerThread; ++i) inbox.Post(VELQ_EV_OPERATION_DONE, t * 1000000 + i);
            });
        for (std::thread& thread : threads) thread.join();
        QCOMPARE(wakes.load(), 1);
        const std::vector<EventInbox::Event> events = TakeAll(inbox);
        QCOMPARE(int(events.size()), 4 * kPerThread);
        int next[4] = {};
        for (const EventInbox::Event& event : events) {
            const int thread = int(event.second / 1000000);
            QCOMPARE(int(event.second % 1000000), next[thread]++);
        }
        // Drained dry: the next post wakes again.
        inbox.Post(VELQ_EV_LIST_BEGIN, 1);
        QCOMPARE(wakes.load(), 2);
    }

    // A change still queued for a device stands for the next ones; another event of the device in
    // between ends that, so the last state always arrives after the others.
    void changesOfADeviceMergeUntilAnotherEventOfIt() {
        EventInbox inbox(nullptr);
        for (int i = 0; i < 1000; ++i) inbox.Post(VELQ_EV_DEVICE_CHANGED, 0x10);
        inbox.Post(VELQ_EV_DEVICE_CHANGED, 0x20);
        inbox.Post(VELQ_EV_DEVICE_GONE, 0x10);
        inbox.Post(VELQ_EV_DEVICE_CHANGED, 0x10);
        inbox.Post(VELQ_EV_DEVICE_CHANGED, 0x10);
        QCOMPARE(inbox.counts().coalesced, uint64_t(1000));
        const std::vector<EventInbox::Event> expected = {{VELQ_EV_DEVICE_CHANGED, 0x10},
                                                         {VELQ_EV_DEVICE_CHANGED, 0x20},
                                                         {VELQ_EV_DEVICE_GONE, 0x10},
                                                         {VELQ_EV_DEVICE_CHANGED, 0x10}};
        QCOMPARE(TakeAll(inbox), expected);
        // Taken out, a change no longer absorbs the next one.
        inbox.Post(VELQ_EV_DEVICE_CHANGED, 0x20);
        QCOMPARE(TakeAll(inbox).size(), size_t(1));
    }

    // A full queue refuses what it may lose and keeps what the client must give back or list.
    void fullQueueDropsOnlyWhatCarriesNoOwnership() {
        EventInbox inbox(nullptr);
        for (size_t i = 0; i < EventInbox::kMaxQueued; ++i)
            inbox.Post(VELQ_EV_DEVICE_CHANGED, intptr_t(i + 1));
        inbox.Post(VELQ_EV_STATUS_FIRST + 13, 0x5);
        inbox.Post(VELQ_EV_MEDIA_FAILED, 0x6);
        inbox.Post(VELQ_EV_OPERATION_DONE, 0x7);
        inbox.Post(VELQ_EV_ALL_DEVICE, 0x8);
        inbox.Post(VELQ_EV_DEVICE_NEW, 0x9);
        inbox.Post(VELQ_EV_LOGIN_OK, 0);
        const EventInbox::Counts counts = inbox.counts();
        QCOMPARE(counts.dropped, uint64_t(2));
        QCOMPARE(counts.queued, EventInbox::kMaxQueued + 4);
        const std::vector<EventInbox::Event> events = TakeAll(inbox);
        const std::vector<EventInbox::Event> tail(events.end() - 4, events.end());
        const std::vector<EventInbox::Event> expected = {{VELQ_EV_OPERATION_DONE, 0x7},
                                                         {VELQ_EV_ALL_DEVICE, 0x8},
                                                         {VELQ_EV_DEVICE_NEW, 0x9},
                                                         {VELQ_EV_LOGIN_OK, 0}};
        QCOMPARE(tail, expected);
    }

    // Floods past the cap: the event log hears of the lost events once per flood, however many there were,
    // and a full queue that loses nothing stays quiet.
    void droppedEventsAreToldOncePerSpell() {
        ScratchHome home;
        SessionController session;
        QVERIFY(session.session());
        QSignalSpy problems(&session.events(), &EventDispatch::problem);
        // Logged out, the drain only discards these: status words, which a full queue may drop.
        const auto flood = [&](size_t events) {
            for (size_t i = 0; i < events; ++i)
                session.eventTarget()->PostMessage(VELQ_MESSAGE, VELQ_EV_STATUS_FIRST, intptr_t(i));
        };
        const auto drained = [&] { return session.counts().queued == 0; };

        flood(EventInbox::kMaxQueued);
        QTRY_VERIFY(drained());
        QTest::qWait(50);
        QCOMPARE(session.counts().dropped, uint64_t(0));
        QCOMPARE(problems.count(), 0);

        flood(EventInbox::kMaxQueued + 500);
        QCOMPARE(session.counts().dropped, uint64_t(500));
        QTRY_VERIFY(drained());
        QTRY_COMPARE(problems.count(), 1);
        QVERIFY(!problems.at(0).at(0).toString().isEmpty());
        QTest::qWait(50);
        QCOMPARE(problems.count(), 1);

        flood(EventInbox::kMaxQueued + 1);
        QTRY_VERIFY(drained());
        QTRY_COMPARE(problems.count(), 2);
        QCOMPARE(session.counts().dropped, uint64_t(501));
    }

    // A real session: the center's devices arrive as signals on the UI thread, in slices; a logout
    // stops them.
    void centerDevicesArriveAsSignalsOnTheUiThread() {
        ScratchHome home;
        SimCenter center(velq_sim::Fleet::Generated(300), 200);
        QVERIFY(center.started());
        SessionController session;
        QVERIFY(session.session());
        int added = 0, changed = 0, slices = 0, login_ok = 0;
        bool on_ui_thread = true;
        const auto check_thread = [&] {
            on_ui_thread = on_ui_thread && QThread::currentThread() == thread();
        };
        connect(&session.events(), &EventDispatch::deviceAdded, this,
                [&](AppDevice* device, int online_allowed) {
                    check_thread();
                    QVERIFY(device != nullptr);
                    QCOMPARE(online_allowed, 1);
                    ++added;
                });
        connect(&session.events(), &EventDispatch::deviceStateChanged, this, [&] {
            check_thread();
            ++changed;
        });
        connect(&session.events(), &EventDispatch::connectionState, this, [&](int code, qintptr) {
            if (code == VELQ_EV_LOGIN_OK) ++login_ok;
        });
        connect(&session, &SessionController::sliceHandled, this, [&] { ++slices; });
        QVERIFY(VelqApp_SetCenterServer(session.session(), "127.0.0.1", center.server().tcp_port(),
                                        center.server().udp_port()));
        QVERIFY(VelqApp_Login(session.session(), "orvi", "480913"));
        QTRY_COMPARE_WITH_TIMEOUT(added, 300, 20000);
        QCOMPARE(login_ok, 1);
        QTRY_VERIFY_WITH_TIMEOUT(changed > 0, 20000);  // the refreshes
        QVERIFY(on_ui_thread);
        QVERIFY(slices > 0);
        const EventInbox::Counts counts = session.counts();
        QVERIFY(counts.received >= uint64_t(added + changed));
        QCOMPARE(counts.dropped, uint64_t(0));
        session.Logout();
        QVERIFY(!session.LoggedIn());
        const int changed_at_logout = changed;
        QTest::qWait(600);
        QCOMPARE(changed, changed_at_logout);
    }
};

QTEST_MAIN(SessionControllerTest)
#include "session_controller_test.moc"

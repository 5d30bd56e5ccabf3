// SPDX-License-Identifier: GPL-3.0-or-later
// Where each library event goes, driven without a window through a recording target.
#include <QTest>

#include "app/event_dispatch.h"

namespace {

template <typename T>
T* Handle(intptr_t n) {
    return reinterpret_cast<T*>(n);
}

class Recorder : public EventTarget {
  public:
    bool active = true;
    int kind = 0;
    AppDevice* op_device = Handle<AppDevice>(0x500);
    AppChannel* shown_channel = Handle<AppChannel>(0x900);
    QStringList calls;

    bool IsActive() override { return active; }
    void ReleaseOperation(AppOperation* op) override { calls << QString("release-op %1").arg(intptr_t(op)); }
    void ReleaseDevice(AppDevice* d) override { calls << QString("release-dev %1").arg(intptr_t(d)); }
    int OperationKind(AppOperation*) override { return kind; }
    AppDevice* OperationDevice(AppOperation*) override { return op_device; }
    void ShowConnectionState(int code, intptr_t value) override {
        calls << QString("state %1 %2").arg(code).arg(value);
    }
    void AddLogLine(const QString* time, const QString& message) override {
        calls << QString("log %1 %2").arg(time ? *time : "-", message);
    }
    void ShowConfigStatus(const QString& text) override { calls << "config " + text; }
    void ShowOnlineCount(int count) override { calls << QString("online %1").arg(count); }
    void AddDevice(AppDevice* d, int allowed) override {
        calls << QString("add %1 %2").arg(intptr_t(d)).arg(allowed);
    }
    void SetDeviceState(int online, AppDevice* d) override {
        calls << QString("state-dev %1 %2").arg(online).arg(intptr_t(d));
    }
    void ReportAlarm(AppDevice* d, int code) override {
        calls << QString("alarm %1 %2").arg(intptr_t(d)).arg(code);
    }
    void SearchListBegin(int count) override { calls << QString("search %1").arg(count); }
    void SearchVehicle(AppDevice* d) override { calls << QString("vehicle %1").arg(intptr_t(d)); }
    bool TransferStatus(int code, AppChannel* channel) override {
        // Only the channel a display window shows is taken.
        if (channel != shown_channel) return false;
        calls << QString("transfer %1").arg(code);
        return true;
    }
    void PositionResult(AppOperation* op, AppDevice* d) override {
        calls << QString("position %1 %2").arg(intptr_t(op)).arg(intptr_t(d));
    }
    void ConfigResult(int k, AppOperation* op, AppDevice*) override {
        calls << QString("config-result %1 %2").arg(k).arg(intptr_t(op));
    }
};

}  // namespace

class EventDispatchTest : public QObject {
    Q_OBJECT
  private slots:
    void loggedOutGivesBackOwnedObjectsOnly() {
        Recorder target;
        target.active = false;
        EventDispatch dispatch(target);
        dispatch.Dispatch(64, 0x700);
        dispatch.Dispatch(145, 0x800);
        for (int code : {5, 66, 128, 129, 130, 131, 144, 160, 192, 196}) dispatch.Dispatch(code, 0x100);
        QCOMPARE(target.calls, QStringList({"release-op 1792", "release-dev 2048"}));
    }

    void connectionStatesAndLogLines() {
        Recorder target;
        EventDispatch dispatch(target);
        dispatch.Dispatch(0, 0);
        dispatch.Dispatch(6, 0x33303156);
        dispatch.Dispatch(63, 1);
        dispatch.Dispatch(65, 64);
        dispatch.Dispatch(66, 129);
        dispatch.Dispatch(66, 67);
        dispatch.Dispatch(66, 128);
        dispatch.Dispatch(100, 1);  // 67..127: nothing
        dispatch.Dispatch(196, 0x900);
        QCOMPARE(target.calls,
                 QStringList({"state 0 0", "state 6 858796374", "state 63 1", "log - Operate Unsupport",
                              "config Operate Failed", "log - Operate Failed", "log - Operate Failed",
                              "log - Talk is engaged!"}));
    }

    void deviceEventsGoToTheTreeAndCaption() {
        Recorder target;
        EventDispatch dispatch(target);
        dispatch.Dispatch(128, 0);
        dispatch.Dispatch(128, 5);
        dispatch.Dispatch(129, 0x10);
        dispatch.Dispatch(130, 0x10);
        dispatch.Dispatch(131, 0x10);
        dispatch.Dispatch(160, 0x10);
        dispatch.Dispatch(173, 0x10);
        dispatch.Dispatch(175, 0x10);
        dispatch.Dispatch(176, 0x10);  // past the status words: nothing
        dispatch.Dispatch(144, 2);
        dispatch.Dispatch(145, 0x20);
        QCOMPARE(target.calls,
                 QStringList({"online 0", "online 5", "add 16 1", "state-dev 1 16", "state-dev 0 16",
                              "alarm 16 0", "alarm 16 13", "alarm 16 15", "search 2", "vehicle 32"}));
    }

    void mediaEventsReachOnlyTheWindowShowingTheChannel() {
        Recorder target;
        EventDispatch dispatch(target);
        for (int code = 192; code <= 195; ++code) dispatch.Dispatch(code, 0x900);
        dispatch.Dispatch(193, 0x901);  // no window shows it: ignored
        dispatch.Dispatch(192, 0);      // no channel: ignored
        QCOMPARE(target.calls, QStringList({"transfer 192", "transfer 193", "transfer 194", "transfer 195"}));
    }

    void operationsAreHandledByKindAndAlwaysReleased() {
        Recorder target;
        EventDispatch dispatch(target);
        const struct {
            int kind;
            QStringList expected;
        } cases[] = {
            {64, {"add 1280 0", "release-op 1"}},
            {66, {"release-op 1"}},
            {67, {"position 1 1280", "release-op 1"}},
            {0, {"release-op 1"}},
            {68, {"release-op 1"}},
            {133, {"config-result 133 1", "release-op 1"}},
        };
        for (const auto& c : cases) {
            target.calls.clear();
            target.kind = c.kind;
            dispatch.Dispatch(64, 1);
            QCOMPARE(target.calls, c.expected);
        }
    }

    void queuedEventsKeepTheirOrderAcrossSlices() {
        Recorder target;
        EventDispatch dispatch(target);
        for (int i = 0; i < 50; ++i) dispatch.Enqueue(128, i);
        QCOMPARE(dispatch.pending(), size_t(50));
        // A budget of 0 ms still handles one event per slice.
        QVERIFY(dispatch.Drain(0));
        QCOMPARE(target.calls, QStringList({"online 0"}));
        target.active = false;
        dispatch.Enqueue(64, 0x700);  // arrives after a logout: given back when its turn comes
        QVERIFY(!dispatch.Drain(1000));
        QCOMPARE(dispatch.pending(), size_t(0));
        QCOMPARE(target.calls, QStringList({"online 0", "release-op 1792"}));
    }
};

QTEST_GUILESS_MAIN(EventDispatchTest)
#include "event_dispatch_test.moc"

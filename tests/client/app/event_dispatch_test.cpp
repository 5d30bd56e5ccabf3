// SPDX-License-Identifier: GPL-3.0-or-later
// Where each library event goes, driven without a window through a recording target.
#include <QTest>

#include "app/event_dispatch.h"

namespace {

template <typename T>
T* Handle(intptr_t n) {
    return reinterpret_cast<T*>(n);
}

// A session that answers the table's questions as a test sets them, and a log of every signal the table
// emits (and of what it gives back), in order.
class Recorder : public EventSession {
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

    void Listen(EventDispatch& dispatch) {
        QObject::connect(&dispatch, &EventDispatch::connectionState, [this](int code, qintptr value) {
            calls << QString("state %1 %2").arg(code).arg(value);
        });
        QObject::connect(&dispatch, &EventDispatch::problem,
                         [this](const QString& message) { calls << QString("log - %1").arg(message); });
        QObject::connect(&dispatch, &EventDispatch::configStatus,
                         [this](const QString& text) { calls << "config " + text; });
        QObject::connect(&dispatch, &EventDispatch::listBegins,
                         [this](int count) { calls << QString("online %1").arg(count); });
        QObject::connect(&dispatch, &EventDispatch::deviceAdded, [this](AppDevice* d, int allowed) {
            calls << QString("add %1 %2").arg(intptr_t(d)).arg(allowed);
        });
        QObject::connect(&dispatch, &EventDispatch::deviceStateChanged, [this](int online, AppDevice* d) {
            calls << QString("state-dev %1 %2").arg(online).arg(intptr_t(d));
        });
        QObject::connect(&dispatch, &EventDispatch::statusWordChanged, [this](AppDevice* d, int code) {
            calls << QString("alarm %1 %2").arg(intptr_t(d)).arg(code);
        });
        QObject::connect(&dispatch, &EventDispatch::vehicleListBegins,
                         [this](int count) { calls << QString("search %1").arg(count); });
        QObject::connect(&dispatch, &EventDispatch::vehicleListed,
                         [this](AppDevice* d) { calls << QString("vehicle %1").arg(intptr_t(d)); });
        QObject::connect(&dispatch, &EventDispatch::transferStatus, [this](int code, AppChannel* channel) {
            // Only the channel a display window shows is taken.
            if (channel == shown_channel) calls << QString("transfer %1").arg(code);
        });
        QObject::connect(&dispatch, &EventDispatch::positionResult, [this](AppOperation* op, AppDevice* d) {
            calls << QString("position %1 %2").arg(intptr_t(op)).arg(intptr_t(d));
        });
        QObject::connect(&dispatch, &EventDispatch::configResult,
                         [this](int k, AppOperation* op, AppDevice*) {
                             calls << QString("config-result %1 %2").arg(k).arg(intptr_t(op));
                         });
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
        target.Listen(dispatch);
        dispatch.Dispatch(64, 0x700);
        dispatch.Dispatch(145, 0x800);
        for (int code : {5, 66, 128, 129, 130, 131, 144, 160, 192, 196}) dispatch.Dispatch(code, 0x100);
        QCOMPARE(target.calls, QStringList({"release-op 1792", "release-dev 2048"}));
    }

    void connectionStatesAndLogLines() {
        Recorder target;
        EventDispatch dispatch(target);
        target.Listen(dispatch);
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
        target.Listen(dispatch);
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
        target.Listen(dispatch);
        for (int code = 192; code <= 195; ++code) dispatch.Dispatch(code, 0x900);
        dispatch.Dispatch(193, 0x901);  // no window shows it: ignored
        dispatch.Dispatch(192, 0);      // no channel: ignored
        QCOMPARE(target.calls, QStringList({"transfer 192", "transfer 193", "transfer 194", "transfer 195"}));
    }

    void operationsAreHandledByKindAndAlwaysReleased() {
        Recorder target;
        EventDispatch dispatch(target);
        target.Listen(dispatch);
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
};

QTEST_GUILESS_MAIN(EventDispatchTest)
#include "event_dispatch_test.moc"

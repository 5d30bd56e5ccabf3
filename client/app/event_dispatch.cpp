// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/event_dispatch.h"

#include <QElapsedTimer>
#include <QString>

#include "app/app_profile.h"

void EventDispatch::Dispatch(uintptr_t code, intptr_t value) {
    if (!target_.IsActive()) {
        // Logged out: give back what the client owns, drop the rest.
        if (code == VELQ_EV_OPERATION_DONE && value != 0)
            target_.ReleaseOperation(reinterpret_cast<AppOperation*>(value));
        else if (code == VELQ_EV_ALL_DEVICE && value != 0)
            target_.ReleaseDevice(reinterpret_cast<AppDevice*>(value));
        return;
    }
    auto* device = reinterpret_cast<AppDevice*>(value);
    if (code <= 63) {
        target_.ShowConnectionState(int(code), value);
    } else if (code == VELQ_EV_OPERATION_DONE) {
        if (value != 0) OperationDone(reinterpret_cast<AppOperation*>(value));
    } else if (code == VELQ_EV_OPERATION_FAILED) {
        target_.AddLogLine(nullptr, AppProfile::Translate(QStringLiteral("Operate Unsupport")));
    } else if (code == VELQ_EV_OPERATION_REFUSED) {
        const QString text = AppProfile::Translate(QStringLiteral("Operate Failed"));
        if (value > 128)
            target_.ShowConfigStatus(text);
        else
            target_.AddLogLine(nullptr, text);
    } else if (code == VELQ_EV_LIST_BEGIN) {
        target_.ShowOnlineCount(int(value));
    } else if (code == VELQ_EV_DEVICE_NEW) {
        if (device) target_.AddDevice(device, 1);
    } else if (code == VELQ_EV_DEVICE_CHANGED) {
        if (device) target_.SetDeviceState(1, device);
    } else if (code == VELQ_EV_DEVICE_GONE) {
        if (device) target_.SetDeviceState(0, device);
    } else if (code == VELQ_EV_ALL_BEGIN) {
        target_.SearchListBegin(int(value));
    } else if (code == VELQ_EV_ALL_DEVICE) {
        if (device) target_.SearchVehicle(device);
    } else if (code >= VELQ_EV_STATUS_FIRST && code <= VELQ_EV_STATUS_LAST) {
        if (device) target_.ReportAlarm(device, int(code - VELQ_EV_STATUS_FIRST));
    } else if (code >= VELQ_EV_MEDIA_FAILED && code <= VELQ_EV_MEDIA_RECV_FAILED) {
        if (value != 0) target_.TransferStatus(int(code), reinterpret_cast<AppChannel*>(value));
    } else if (code == VELQ_EV_MEDIA_REFUSED) {
        target_.AddLogLine(nullptr, AppProfile::Translate(QStringLiteral("Talk is engaged!")));
    }
}

void EventDispatch::OperationDone(AppOperation* operation) {
    AppDevice* device = target_.OperationDevice(operation);
    const int kind = target_.OperationKind(operation);
    if (kind == VELQ_OP_ADD_DEVICE) {
        if (device) target_.AddDevice(device, 0);
    } else if (kind == VELQ_OP_POSITION) {
        target_.PositionResult(operation, device);
    } else if (kind >= 128) {
        target_.ConfigResult(kind, operation, device);
    }
    target_.ReleaseOperation(operation);
}

bool EventDispatch::Drain(int budget_ms) {
    QElapsedTimer clock;
    clock.start();
    while (!pending_.empty()) {
        const auto [code, value] = pending_.front();
        pending_.pop_front();
        Dispatch(code, value);
        if (clock.elapsed() >= budget_ms) break;
    }
    return !pending_.empty();
}

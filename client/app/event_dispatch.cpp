// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/event_dispatch.h"

#include <QString>

#include "app/app_profile.h"

void EventDispatch::Dispatch(uintptr_t code, intptr_t value) {
    if (!session_.IsActive()) {
        // Logged out: give back what the client owns, drop the rest.
        if (code == VELQ_EV_OPERATION_DONE && value != 0)
            session_.ReleaseOperation(reinterpret_cast<AppOperation*>(value));
        else if (code == VELQ_EV_ALL_DEVICE && value != 0)
            session_.ReleaseDevice(reinterpret_cast<AppDevice*>(value));
        return;
    }
    auto* device = reinterpret_cast<AppDevice*>(value);
    if (code <= 63) {
        emit connectionState(int(code), value);
    } else if (code == VELQ_EV_OPERATION_DONE) {
        if (value != 0) OperationDone(reinterpret_cast<AppOperation*>(value));
    } else if (code == VELQ_EV_OPERATION_FAILED) {
        emit problem(AppProfile::Translate(QStringLiteral("Operate Unsupport")));
    } else if (code == VELQ_EV_OPERATION_REFUSED) {
        const QString text = AppProfile::Translate(QStringLiteral("Operate Failed"));
        if (value > 128)
            emit configStatus(text);
        else
            emit problem(text);
    } else if (code == VELQ_EV_LIST_BEGIN) {
        emit listBegins(int(value));
    } else if (code == VELQ_EV_DEVICE_NEW) {
        if (device) emit deviceAdded(device, 1);
    } else if (code == VELQ_EV_DEVICE_CHANGED) {
        if (device) emit deviceStateChanged(1, device);
    } else if (code == VELQ_EV_DEVICE_GONE) {
        if (device) emit deviceStateChanged(0, device);
    } else if (code == VELQ_EV_ALL_BEGIN) {
        emit vehicleListBegins(int(value));
    } else if (code == VELQ_EV_ALL_DEVICE) {
        if (device) emit vehicleListed(device);
    } else if (code >= VELQ_EV_STATUS_FIRST && code <= VELQ_EV_STATUS_LAST) {
        if (device) emit statusWordChanged(device, int(code - VELQ_EV_STATUS_FIRST));
    } else if (code >= VELQ_EV_MEDIA_FAILED && code <= VELQ_EV_MEDIA_RECV_FAILED) {
        if (value != 0) emit transferStatus(int(code), reinterpret_cast<AppChannel*>(value));
    } else if (code == VELQ_EV_MEDIA_REFUSED) {
        emit problem(AppProfile::Translate(QStringLiteral("Talk is engaged!")));
    }
}

void EventDispatch::OperationDone(AppOperation* operation) {
    AppDevice* device = session_.OperationDevice(operation);
    const int kind = session_.OperationKind(operation);
    if (kind == VELQ_OP_ADD_DEVICE) {
        if (device) emit deviceAdded(device, 0);
    } else if (kind == VELQ_OP_POSITION) {
        emit positionResult(operation, device);
    } else if (kind >= 128) {
        emit configResult(kind, operation, device);
    }
    session_.ReleaseOperation(operation);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where each library event goes. The table is plain code over an interface, so it is tested without a
// window; the main window implements EventTarget by handing each call to the child that deals with it.
//
// Ownership rule kept here: an operation (event 64) and a device of an all-device reply (event 145) belong
// to the client and are always given back — also when they arrive after a logout, and an operation also
// after it was handled.
#include <QString>
#include <cstdint>
#include <deque>
#include <utility>

#include "corvel/corvel.h"

class EventTarget {
  public:
    virtual ~EventTarget() = default;

    // The session: whether it is logged in, and giving back what the client owns.
    virtual bool IsActive() = 0;
    virtual void ReleaseOperation(AppOperation* operation) = 0;
    virtual void ReleaseDevice(AppDevice* device) = 0;
    // An operation's kind and device (VelqOpt_GetType, VelqOpt_GetDevice).
    virtual int OperationKind(AppOperation* operation) = 0;
    virtual AppDevice* OperationDevice(AppOperation* operation) = 0;

    // Connection states 0..63: the login dialog's caption and log line.
    virtual void ShowConnectionState(int code, intptr_t value) = 0;
    virtual void AddLogLine(const QString* time, const QString& message) = 0;
    // Event 66 of a device configuration or camera operation (kind above 128).
    virtual void ShowConfigStatus(const QString& text) = 0;
    virtual void ShowOnlineCount(int count) = 0;
    // The tree.
    virtual void AddDevice(AppDevice* device, int online_allowed) = 0;
    virtual void SetDeviceState(int online, AppDevice* device) = 0;
    virtual void ReportAlarm(AppDevice* device, int code) = 0;
    // The search panel's vehicle list (events 144, 145); the device is the client's until released.
    virtual void SearchListBegin(int count) = 0;
    virtual void SearchVehicle(AppDevice* device) = 0;
    // Events 192..195 for the display window that shows `channel`; false when none does.
    virtual bool TransferStatus(int code, AppChannel* channel) = 0;
    // Operation results: a position (kind 67) and a configuration reply (kind 128 and above).
    virtual void PositionResult(AppOperation* operation, AppDevice* device) = 0;
    virtual void ConfigResult(int kind, AppOperation* operation, AppDevice* device) = 0;
};

class EventDispatch {
  public:
    explicit EventDispatch(EventTarget& target) : target_(target) {}

    // UI thread: handles one event (code, value) as the table says.
    void Dispatch(uintptr_t code, intptr_t value);

    // A refresh of a large fleet delivers thousands of events at once; handling them all in one go would
    // freeze the window. Enqueue keeps them in arrival order and Drain handles them in slices, so the
    // window paints and takes input in between. UI thread only.
    void Enqueue(uintptr_t code, intptr_t value) { pending_.emplace_back(code, value); }
    // Handles queued events in order until none is left or `budget_ms` has passed (at least one event is
    // handled). True when events remain.
    bool Drain(int budget_ms);
    size_t pending() const { return pending_.size(); }

  private:
    void OperationDone(AppOperation* operation);

    EventTarget& target_;
    std::deque<std::pair<uintptr_t, intptr_t>> pending_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where each library event goes. The table turns every event into one typed signal; it asks the session
// only what it must (whether it is logged in, what an operation is) through EventSession, so it is tested
// without a library or a window.
//
// Ownership rule kept here: an operation (event 64) and a device of an all-device reply (event 145) belong
// to the client and are always given back — also when they arrive after a logout, and an operation also
// after it was handled.
//
// Threads: UI thread only; every signal is emitted from inside Dispatch. Signals carry the library's
// handles: a device or channel is the session's and valid until the logout; an operation (positionResult,
// configResult) is given back right after the signal returns; a device of vehicleListed is the receiver's
// to release.
#include <QObject>
#include <QString>
#include <cstdint>

#include "corvel/corvel.h"

// The library's handles travel in signals as they are; Qt never looks inside them.
Q_DECLARE_OPAQUE_POINTER(AppDevice*)
Q_DECLARE_OPAQUE_POINTER(AppOperation*)
Q_DECLARE_OPAQUE_POINTER(AppChannel*)

// What the table asks of the session.
class EventSession {
  public:
    virtual ~EventSession() = default;
    virtual bool IsActive() = 0;
    virtual void ReleaseOperation(AppOperation* operation) = 0;
    virtual void ReleaseDevice(AppDevice* device) = 0;
    // An operation's kind and device (VelqOpt_GetType, VelqOpt_GetDevice).
    virtual int OperationKind(AppOperation* operation) = 0;
    virtual AppDevice* OperationDevice(AppOperation* operation) = 0;
};

class EventDispatch : public QObject {
    Q_OBJECT
  public:
    // `session` outlives this.
    explicit EventDispatch(EventSession& session, QObject* parent = nullptr)
        : QObject(parent), session_(session) {}

    // Handles one event (code, value) as the table says.
    void Dispatch(uintptr_t code, intptr_t value);

  signals:
    // Codes 0..63: the login dialog's caption, the center link.
    void connectionState(int code, qintptr value);
    // A line for the event log (failed or refused operations, a talk already engaged; the session
    // controller adds events dropped while its queue was full).
    void problem(const QString& text);
    // A refused device configuration or camera operation (kind above 128).
    void configStatus(const QString& text);
    // Event 128: a device list of `count` devices begins.
    void listBegins(int count);
    // Event 129 (online_allowed 1) and a completed add-device operation (0).
    void deviceAdded(AppDevice* device, int online_allowed);
    // Events 130 (online 1) and 131 (online 0).
    void deviceStateChanged(int online, AppDevice* device);
    // Events 160..175: status word `code` of the device changed.
    void statusWordChanged(AppDevice* device, int code);
    // Events 144 and 145 (the Playback panel's list of every vehicle).
    void vehicleListBegins(int count);
    void vehicleListed(AppDevice* device);
    // Events 192..195 of a channel.
    void transferStatus(int code, AppChannel* channel);
    // Completed operations: a position (kind 67) and a configuration reply (kind 128 and above).
    void positionResult(AppOperation* operation, AppDevice* device);
    void configResult(int kind, AppOperation* operation, AppDevice* device);

  private:
    void OperationDone(AppOperation* operation);

    EventSession& session_;
};

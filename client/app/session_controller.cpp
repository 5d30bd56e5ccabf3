// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/session_controller.h"

#include <QElapsedTimer>

#include "app/app_profile.h"

SessionController::SessionController(QObject* parent) : SessionController(nullptr, parent) {}

SessionController::SessionController(ChannelStopper& stopper, QObject* parent)
    : SessionController(&stopper, parent) {}

SessionController::SessionController(ChannelStopper* stopper, QObject* parent)
    : QObject(parent),
      own_stopper_(stopper ? nullptr : std::make_unique<ChannelStopper>(ChannelStopper::QueuedPost())),
      stopper_(stopper ? *stopper : *own_stopper_),
      // Queued: the wake comes from a library thread and the drain runs on this object's thread.
      inbox_(
          [this] { QMetaObject::invokeMethod(this, &SessionController::DrainSlice, Qt::QueuedConnection); }),
      target_(inbox_),
      dispatch_(*this) {
    session_ = VelqApp_Construct(&target_, VELQ_MESSAGE);
}

SessionController::~SessionController() {
    if (!session_) return;
    Logout();
    // The application's end waits for every channel to end before the session goes.
    stopper_.Finish();
    DrainAll();
    // The library's threads end here; what they post meanwhile stays in the inbox, which goes after them.
    VelqApp_Destruct(session_);
    session_ = nullptr;
}

void SessionController::Logout() {
    if (!session_) return;
    // What waits to start was for this login's channels, which the logout releases.
    stopper_.DropStarts();
    // Behind the stops already queued (the worker runs them in order), so the logout never releases a
    // channel the worker is stopping.
    stopper_.Stop(
        kSessionKey, [session = session_] { VelqApp_Logout(session); }, [this] { emit loggedOut(); });
}

void SessionController::AfterLogout(std::function<void()> login) {
    stopper_.StartAfterStops(kSessionKey, std::move(login));
}

void SessionController::DrainAll() {
    EventInbox::Event event;
    while (inbox_.Take(&event)) dispatch_.Dispatch(event.first, event.second);
    emit sliceHandled();
}

void SessionController::DrainSlice() {
    // A refresh of a large fleet delivers thousands of events at once; the window paints and takes input
    // between slices.
    QElapsedTimer clock;
    clock.start();
    EventInbox::Event event;
    bool more = false;
    while ((more = inbox_.Take(&event))) {
        dispatch_.Dispatch(event.first, event.second);
        if (clock.elapsed() >= kSliceMs) break;
    }
    emit sliceHandled();
    NoteDrops(!more);
    if (more) QMetaObject::invokeMethod(this, &SessionController::DrainSlice, Qt::QueuedConnection);
}

void SessionController::NoteDrops(bool ran_dry) {
    // The operator learns that what the views show may be behind, once, not once per lost event: a flood
    // can drop thousands.
    const uint64_t dropped = inbox_.counts().dropped;
    if (dropped != drops_seen_ && !drop_spell_) {
        drop_spell_ = true;
        // The table's own signal: the log takes every problem line from one place.
        emit dispatch_.problem(
            AppProfile::Translate(QStringLiteral("Too many events at once: some were skipped")));
    }
    drops_seen_ = dropped;
    if (ran_dry) drop_spell_ = false;
}

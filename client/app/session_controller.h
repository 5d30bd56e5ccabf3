// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's one library session. The controller owns the session, is the target the library posts
// its events to, and keeps the one queue they wait in (EventInbox) until the UI thread handles them in
// slices of kSliceMs; each event comes out as a typed signal of events() (the table of EventDispatch), and
// every slice ends with sliceHandled(), the tick at which views that batch their changes show them.
//
// Threads: PostMessage of eventTarget() runs on library threads and never waits for the UI thread; all
// else, and every signal, is on the UI thread.
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "app/channel_stopper.h"
#include "app/event_dispatch.h"
#include "app/event_inbox.h"
#include "corvel/corvel.h"

class SessionController : public QObject, private EventSession {
    Q_OBJECT
  public:
    static constexpr int kSliceMs = 8;

    // Makes the session; session() is null when that fails (out of memory), and nothing is ever posted.
    // Channels are stopped through `stopper` (which outlives this), or through a stopper of its own.
    explicit SessionController(QObject* parent = nullptr);
    explicit SessionController(ChannelStopper& stopper, QObject* parent = nullptr);
    // Logs out, gives back what is still queued and destroys the session.
    ~SessionController() override;
    SessionController(const SessionController&) = delete;
    SessionController& operator=(const SessionController&) = delete;

    AppSession* session() const { return session_; }
    // Where channels made for the session's own use (audio, talk) post their events.
    VelqWindow* eventTarget() { return &target_; }
    // False from Logout on, also while the library's logout still runs on the worker.
    bool LoggedIn() const { return session_ && !LoggingOut() && VelqApp_IsActive(session_); }
    // Ends the login and returns at once: the library's logout (which stops the services and releases
    // every device with its channels, waiting for their threads) runs on the stopper's worker after the
    // channel stops queued before it, never beside one of them. From here on the session's devices and
    // channels are dead to the UI, and what is still queued is handled as after a logout (given back or
    // dropped). loggedOut() tells when the library's logout has ended.
    void Logout();
    bool LoggingOut() const { return session_ && stopper_.Pending(kSessionKey); }
    // Runs `login` now, or once a logout still running has ended (on the UI thread, never blocking it
    // meanwhile); a Logout before then cancels it. Every call that starts a login goes through here: the
    // library's login must not race its logout.
    void AfterLogout(std::function<void()> login);
    // Where the channels of the session are stopped, off the UI thread.
    ChannelStopper& stopper() { return stopper_; }
    // Handles everything queued now, whatever the time it takes (at shutdown).
    void DrainAll();
    EventInbox::Counts counts() const { return inbox_.counts(); }
    // Keeps `anchor` (what a channel of the session presents into) until the session is destroyed, after
    // the last library thread has ended. Keeping it twice keeps it once.
    void Keep(std::shared_ptr<void> anchor) { anchors_.insert(std::move(anchor)); }
    size_t kept() const { return anchors_.size(); }
    // The typed signals of the session's events (see EventDispatch); events dropped while the queue was
    // full come out there as one problem() line per spell, a spell ending when the queue has run dry.
    EventDispatch& events() { return dispatch_; }

  signals:
    // A slice of events was handled (more may follow in the next one).
    void sliceHandled();
    // The library's logout, queued by Logout, has ended.
    void loggedOut();

  private:
    // The stopper's key of the session's own logout: no channel has it.
    static constexpr ChannelStopper::Key kSessionKey{nullptr, -0x5E55};

    SessionController(ChannelStopper* stopper, QObject* parent);

    // The library's VelqWindow: forwards the session's message into the inbox.
    class Target : public VelqWindow {
      public:
        explicit Target(EventInbox& inbox) : inbox_(inbox) {}
        void PostMessage(uint32_t message, uintptr_t code, intptr_t value) override {
            if (message == VELQ_MESSAGE) inbox_.Post(code, value);
        }
        VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_FAILED; }

      private:
        EventInbox& inbox_;
    };

    void DrainSlice();
    // After a slice: tells of the first drops of a spell; `ran_dry` ends the spell.
    void NoteDrops(bool ran_dry);
    // EventSession: what the table asks of the session.
    bool IsActive() override { return LoggedIn(); }
    void ReleaseOperation(AppOperation* operation) override { VelqOpt_Release(session_, operation); }
    void ReleaseDevice(AppDevice* device) override { VelqDev_Release(device); }
    int OperationKind(AppOperation* operation) override { return VelqOpt_GetType(operation); }
    AppDevice* OperationDevice(AppOperation* operation) override { return VelqOpt_GetDevice(operation); }

    std::unique_ptr<ChannelStopper> own_stopper_;  // only when none was given
    ChannelStopper& stopper_;
    EventInbox inbox_;
    Target target_;
    EventDispatch dispatch_;
    AppSession* session_ = nullptr;
    uint64_t drops_seen_ = 0;
    bool drop_spell_ = false;
    // Members go after the destructor's body has destroyed the session, and with it its threads.
    std::set<std::shared_ptr<void>> anchors_;
};

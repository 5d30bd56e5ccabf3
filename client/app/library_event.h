// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library's events on the client's side. The library posts from its own threads through VelqWindow;
// LibraryEventWindow turns each post into a LibraryEvent queued for a QObject on the UI thread
// (QCoreApplication::postEvent: thread-safe, never blocks), where the object's event() handles it.
#include <QEvent>
#include <QObject>
#include <cstdint>

#include "corvel/corvel.h"

class LibraryEvent : public QEvent {
  public:
    LibraryEvent(uint32_t message, uintptr_t code, intptr_t value)
        : QEvent(TypeId()), message_(message), code_(code), value_(value) {}

    // The QEvent type of every LibraryEvent (registered once).
    static QEvent::Type TypeId();

    uint32_t message() const { return message_; }
    uintptr_t code() const { return code_; }
    intptr_t value() const { return value_; }

  private:
    uint32_t message_;
    uintptr_t code_;
    intptr_t value_;
};

// The main window's VelqWindow: it receives the session's events and never shows pictures.
class LibraryEventWindow : public VelqWindow {
  public:
    // `target` lives on the UI thread and outlives the session that posts here.
    explicit LibraryEventWindow(QObject* target) : target_(target) {}
    virtual ~LibraryEventWindow() = default;

    // Any library thread: queues a LibraryEvent for the target and returns.
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_FAILED; }

  private:
    QObject* target_;
};

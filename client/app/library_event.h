// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A library event on the client's side. A display window's VelqWindow::PostMessage runs on library
// threads and turns each post into a LibraryEvent queued for the window on the UI thread
// (QCoreApplication::postEvent: thread-safe, never blocks), where its event() handles it.
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

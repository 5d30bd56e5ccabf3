// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library_event.h"

#include <QCoreApplication>

QEvent::Type LibraryEvent::TypeId() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void LibraryEventWindow::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(target_, new LibraryEvent(message, wParam, lParam));
}

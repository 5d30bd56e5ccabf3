// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library_event.h"

QEvent::Type LibraryEvent::TypeId() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

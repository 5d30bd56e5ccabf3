// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shown_text.h"

bool IsDirectionControl(char16_t unit) {
    return unit == 0x200E || unit == 0x200F || unit == 0x061C || (unit >= 0x202A && unit <= 0x202E) ||
           (unit >= 0x2066 && unit <= 0x2069);
}

QString ShownText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (QChar c : text) {
        if (!IsDirectionControl(c.unicode())) shown.append(c);
    }
    return shown;
}

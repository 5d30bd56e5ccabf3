// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts that come from the server (vehicle ids, device ids, drivers) are shown as plain text: explicit
// direction controls in them (U+202A..U+202E, U+2066..U+2069, U+200E, U+200F, U+061C) are dropped, so a
// vehicle id cannot reverse the words around it ("Online" shown as "enilnO"). Pure functions, any thread.
#include <QString>

// `text` without its direction controls.
QString ShownText(const QString& text);
// True for a direction control character.
bool IsDirectionControl(char16_t unit);
// `text` as an isolated left-to-right run (U+2066 ... U+2069), for times and dates the client writes
// itself: in right-to-left text "2026-12-09 17:33:28" would otherwise show its time before its date, and
// a time between translated words may take their direction. Empty text stays empty. Defined here, so that
// the recordings library, which links nothing of the rest of the client, writes its times the same way.
inline QString LeftToRight(const QString& text) {
    if (text.isEmpty()) return text;
    return QChar(0x2066) + text + QChar(0x2069);
}

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

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operator's keyboard: one table of every key the main window answers, which the keyboard desk binds
// and the Shortcuts window lists (and the manual page repeats, checked by a test). Texts are English, the
// key of their translation.
#include <QKeySequence>
#include <QList>
#include <QString>
#include <span>

enum class ShortcutId {
    kTile,  // one key per tile of the page: 1 ... 9, then 0 for the tenth
    kPreviousPage,
    kNextPage,
    kPlay,         // the tree's selected channel plays in the active tile, or stops
    kRecord,       // of the active tile
    kSnapshot,     // of the active tile
    kFullScreen,   // bound by the Style menu's own entry
    kAcknowledge,  // the alarm list's selected rows
    kFindVehicle,
    kShortcuts,
    // Held down: the active tile's camera moves (or zooms) until the key is released.
    kPtzUp,
    kPtzDown,
    kPtzLeft,
    kPtzRight,
    kPtzZoomIn,
    kPtzZoomOut,
    // Answered by the grid itself while it has the focus.
    kMoveFrame,
    kPlayInto,
    kCloseTile,
    kCopyPicture,
};

struct ShortcutEntry {
    ShortcutId id;
    const char* keys;  // portable text of QKeySequence; several keys separated by " | "
    const char* text;  // English
};

std::span<const ShortcutEntry> ShortcutTable();
// The entry's keys, each a QKeySequence.
QList<QKeySequence> KeysOf(const ShortcutEntry& entry);
// The keys as the operator reads them ("Ctrl+R", "1 … 0" for the tiles), in the native text.
QString KeysText(const ShortcutEntry& entry);

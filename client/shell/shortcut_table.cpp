// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/shortcut_table.h"

#include <QStringList>

namespace {

constexpr ShortcutEntry kTable[] = {
    {ShortcutId::kTile, "1 | 2 | 3 | 4 | 5 | 6 | 7 | 8 | 9 | 0", "Make tile 1 to 10 of the page active"},
    {ShortcutId::kPreviousPage, "PgUp", "Previous page"},
    {ShortcutId::kNextPage, "PgDown", "Next page"},
    {ShortcutId::kPlay, "Ctrl+P", "Play the selected channel, or stop it"},
    {ShortcutId::kRecord, "Ctrl+R", "Record the active tile, or stop recording"},
    {ShortcutId::kSnapshot, "Ctrl+S", "Snapshot of the active tile"},
    {ShortcutId::kFullScreen, "F11", "Full Screen"},
    {ShortcutId::kAcknowledge, "Ctrl+K", "Acknowledge the selected alarms"},
    {ShortcutId::kFindVehicle, "Ctrl+F", "Find a vehicle"},
    {ShortcutId::kShortcuts, "F1", "This list of shortcuts"},
    {ShortcutId::kPtzUp, "Ctrl+Up", "Camera up, while held"},
    {ShortcutId::kPtzDown, "Ctrl+Down", "Camera down, while held"},
    {ShortcutId::kPtzLeft, "Ctrl+Left", "Camera left, while held"},
    {ShortcutId::kPtzRight, "Ctrl+Right", "Camera right, while held"},
    {ShortcutId::kPtzZoomIn, "Ctrl+PgUp", "Camera zoom in, while held"},
    {ShortcutId::kPtzZoomOut, "Ctrl+PgDown", "Camera zoom out, while held"},
    {ShortcutId::kMoveFrame, "Left | Right | Up | Down", "Move the active frame (in the grid)"},
    {ShortcutId::kPlayInto, "Return", "Play the selected channel in the active tile (in the grid)"},
    {ShortcutId::kCloseTile, "Del", "Close the active tile (in the grid)"},
    {ShortcutId::kCopyPicture, "Ctrl+C", "Copy the active tile's picture (in the grid)"},
};

}  // namespace

std::span<const ShortcutEntry> ShortcutTable() {
    return kTable;
}

QList<QKeySequence> KeysOf(const ShortcutEntry& entry) {
    QList<QKeySequence> keys;
    for (const QString& text : QString::fromLatin1(entry.keys).split(QStringLiteral(" | ")))
        keys << QKeySequence::fromString(text, QKeySequence::PortableText);
    return keys;
}

QString KeysText(const ShortcutEntry& entry) {
    const QList<QKeySequence> keys = KeysOf(entry);
    if (entry.id == ShortcutId::kTile)
        return keys.first().toString(QKeySequence::NativeText) + QStringLiteral(" … ") +
               keys.last().toString(QKeySequence::NativeText);
    QStringList texts;
    for (const QKeySequence& key : keys) texts << key.toString(QKeySequence::NativeText);
    return texts.join(QStringLiteral(", "));
}

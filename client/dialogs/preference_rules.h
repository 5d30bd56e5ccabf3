// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the preference dialogs show and store, apart from their widgets: the values of each page, their
// built-in defaults, and the small rules between controls and settings. Each page loads from a values
// object only (Refresh loads the current settings, Default the defaults), so both paths fill every control.
#include <QString>
#include <QStringList>
#include <cstdint>

#include "app/app_settings.h"

namespace preferences {

inline constexpr int kMinLowDelay = 1;  // tenths of a second
inline constexpr int kMaxLowDelay = 40;

// Buffer and language page.
struct OptionValues {
    int32_t low_delay = kMaxLowDelay;
    QString language_name;  // display name of the language to select (empty: the first entry)
};
// The trackbar tool tip: position / 10 with one decimal, a blank and the translated "Sec".
QString BufferToolTip(int position, const QString& seconds_word);
// Entry of the language list to select for `translated_name`: the first entry that begins with it (in
// any case); the first entry for an empty name or when none matches.
int LanguageEntryFor(const QStringList& entries, const QString& translated_name);

// Record and snapshot pages.
struct FolderValues {
    QString path;
    int32_t record_duration_s = AppSettings::kDefaultRecordDuration_s;  // record page only
    bool open_after_snapshot = true;                                    // snapshot page only
};
// A folder as stored: file names are appended to it directly, so it ends with "/". Empty stays empty
// (the caller then stores the default folder instead of the file system's root).
QString WithFinalSeparator(const QString& folder);

// Cycle page.
struct CycleValues {
    int32_t duration_s = 0;
    bool click_device_list = true;     // CycleStopMode bit value 1
    bool click_display_window = true;  // bit value 2
    bool click_anywhere = false;       // bit value 4
};
CycleValues CycleValuesOf(int32_t duration_s, int32_t stop_mode);
// 7 when "Click Anywhere" is checked (it implies the others), else the sum of the two other bits.
int32_t StopModeOf(const CycleValues& values);
// Whether saving `new_duration_s` sets the grid's countdown: a non-zero duration restarts it, and 0 stops
// a countdown that runs; 0 leaves a stopped grid alone.
bool SetsCountdown(int32_t new_duration_s, bool countdown_running);

}  // namespace preferences

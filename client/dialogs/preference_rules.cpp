// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/preference_rules.h"

namespace preferences {

QString BufferToolTip(int position, const QString& seconds_word) {
    return QStringLiteral("%1 %2").arg(position / 10.0, 0, 'f', 1).arg(seconds_word);
}

int LanguageEntryFor(const QStringList& entries, const QString& translated_name) {
    if (translated_name.isEmpty()) return entries.isEmpty() ? -1 : 0;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].startsWith(translated_name, Qt::CaseInsensitive)) return i;
    }
    return entries.isEmpty() ? -1 : 0;
}

QString WithFinalSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/'))) return folder;
    return folder + QLatin1Char('/');
}

CycleValues CycleValuesOf(int32_t duration_s, int32_t stop_mode) {
    return {duration_s, CycleStopRules::Stops(stop_mode, CycleStopRules::kDeviceList),
            CycleStopRules::Stops(stop_mode, CycleStopRules::kDisplayWindow),
            CycleStopRules::Stops(stop_mode, CycleStopRules::kAnywhere)};
}

int32_t StopModeOf(const CycleValues& values) {
    if (values.click_anywhere) return CycleStopRules::kEveryClick;
    return (values.click_device_list ? CycleStopRules::kDeviceList : 0) +
           (values.click_display_window ? CycleStopRules::kDisplayWindow : 0);
}

bool SetsCountdown(int32_t new_duration_s, bool countdown_running) {
    return new_duration_s != 0 || countdown_running;
}

}  // namespace preferences

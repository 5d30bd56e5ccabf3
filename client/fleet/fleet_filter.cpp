// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/fleet_filter.h"

namespace {

constexpr QChar kSeparator(0x1f);

}  // namespace

bool FleetFilter::Matches(const Row& row) const {
    if (!row.online && !show_offline_) return false;
    return needle_.isEmpty() || row.key.contains(needle_);
}

bool FleetFilter::SetVehicle(int row, const QString& vehicle_id, const QString& device_id,
                             const QString& driver, bool online) {
    if (row < 0 || row >= kMaxRows) return false;
    if (row >= int(rows_.size())) rows_.resize(size_t(row) + 1);
    Row& entry = rows_[size_t(row)];
    // The status refresh repeats the same texts every few seconds: only a change is folded again.
    QString key = vehicle_id + kSeparator + device_id + kSeparator + driver;
    if (entry.key.size() != key.size() || QString::compare(entry.key, key, Qt::CaseInsensitive) != 0)
        entry.key = key.toCaseFolded();
    entry.online = online;
    const bool shown = Matches(entry);
    if (shown == entry.shown) return false;
    entry.shown = shown;
    return true;
}

std::vector<int> FleetFilter::Recompute() {
    std::vector<int> changed;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const bool shown = Matches(rows_[i]);
        if (shown == rows_[i].shown) continue;
        rows_[i].shown = shown;
        changed.push_back(int(i));
    }
    return changed;
}

std::vector<int> FleetFilter::SetText(const QString& text) {
    if (text == text_) return {};
    text_ = text;
    // The separator (and any other control character) never matches across two fields.
    QString needle;
    for (const QChar c : text)
        if (!c.isNonCharacter() && c.category() != QChar::Other_Control) needle += c;
    needle_ = needle.trimmed().toCaseFolded();
    return Recompute();
}

std::vector<int> FleetFilter::SetShowOffline(bool show) {
    if (show == show_offline_) return {};
    show_offline_ = show;
    return Recompute();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which vehicles the tree and the vehicle list show: those whose vehicle id, device id or driver contains
// the typed text (case-insensitive; empty text: all), and offline ones only while "show offline vehicles"
// is on. Rows are the vehicles' rows (DevTreeEntry indexes). Keeps one folded search key per vehicle, so a
// keystroke is one pass of substring tests over the fleet. Plain data, UI thread only.
#include <QString>
#include <vector>

class FleetFilter {
  public:
    // Rows beyond this are no rows of a real fleet; they are ignored rather than allocated.
    static constexpr int kMaxRows = 1 << 20;

    // The texts and state of the vehicle in `row` (rows never seen before are added). True when whether
    // the row is shown changed.
    bool SetVehicle(int row, const QString& vehicle_id, const QString& device_id, const QString& driver,
                    bool online);
    // A new text or switch: the rows whose shown state changed, in row order.
    std::vector<int> SetText(const QString& text);
    std::vector<int> SetShowOffline(bool show);

    bool Shown(int row) const {
        return row >= 0 && row < int(rows_.size()) ? rows_[size_t(row)].shown : true;
    }
    const QString& text() const { return text_; }
    bool showOffline() const { return show_offline_; }
    int size() const { return int(rows_.size()); }
    // Logout: every vehicle goes (the text and the switch stay).
    void Clear() { rows_.clear(); }

  private:
    struct Row {
        QString key;  // vehicle id, device id and driver, case-folded, separated by U+001F
        bool online = true;
        bool shown = true;
    };
    bool Matches(const Row& row) const;
    std::vector<int> Recompute();

    std::vector<Row> rows_;
    QString text_;
    QString needle_;  // text_ case-folded
    bool show_offline_ = true;
};

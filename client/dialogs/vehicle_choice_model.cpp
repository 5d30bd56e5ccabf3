// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/vehicle_choice_model.h"

#include <algorithm>
#include <utility>

int VehicleChoiceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

QVariant VehicleChoiceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(entries_.size())) return {};
    const Entry& entry = entries_[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) return entry.text;
    if (role == Qt::UserRole) return QVariant::fromValue(static_cast<void*>(entry.device));
    return {};
}

bool VehicleChoiceModel::Replace(std::vector<Entry> entries) {
    const bool same_texts = std::equal(entries.begin(), entries.end(), entries_.begin(), entries_.end(),
                                       [](const Entry& a, const Entry& b) { return a.text == b.text; });
    if (same_texts) {
        entries_ = std::move(entries);
        if (!entries_.empty()) emit dataChanged(index(0), index(int(entries_.size()) - 1), {Qt::UserRole});
        return false;
    }
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
    return true;
}

std::vector<AppDevice*> VehicleChoiceModel::TakeDevices() {
    std::vector<AppDevice*> devices;
    for (Entry& entry : entries_)
        if (entry.device != nullptr) devices.push_back(std::exchange(entry.device, nullptr));
    if (!devices.empty()) emit dataChanged(index(0), index(int(entries_.size()) - 1), {Qt::UserRole});
    return devices;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_vehicles.h"

#include <QTreeWidgetItem>

#include "fleet/dev_tree.h"
#include "fleet/device_info.h"

int TreeAlarmVehicles::Count() const {
    return tree_->EntryCount();
}

bool TreeAlarmVehicles::Words(int row, uint32_t* words, uint32_t* serial) const {
    const DevTreeEntry* entry = tree_->Entry(row);
    return entry && entry->device && DeviceStatusWords(entry->device, words, serial);
}

QString TreeAlarmVehicles::DeviceId(int row) const {
    const DevTreeEntry* entry = tree_->Entry(row);
    return entry && entry->device ? DeviceText(entry->device, VELQ_DEV_ID, 64) : QString();
}

QString TreeAlarmVehicles::Label(int row) const {
    const DevTreeEntry* entry = tree_->Entry(row);
    return entry && entry->item ? entry->item->text(0) : QString();
}

int64_t TreeAlarmVehicles::LastReport_s(int row) const {
    const DevTreeEntry* entry = tree_->Entry(row);
    return entry && entry->device ? uint32_t(DeviceInt(entry->device, VELQ_DEV_LAST_REPORT)) : 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// VehicleChoiceModel: the Playback panel's vehicle list as a combo box model. A list of 10,000 vehicles
// arrives whole, so it is replaced in one reset rather than item by item (a standard item model would send
// two signals per vehicle into the combo box), and a list whose texts did not change only gets its new
// devices, in one dataChanged. Qt::UserRole holds the device as a void*, null while a new list arrives.
// UI thread only; the model never releases a device: its owner gives them back.
#include <QAbstractListModel>
#include <QString>
#include <vector>

#include "corvel/corvel.h"

class VehicleChoiceModel : public QAbstractListModel {
  public:
    struct Entry {
        QString text;
        AppDevice* device;
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Shows `entries` in their order. Returns false when the texts were already the shown ones: then only
    // the devices were replaced and rows, and with them the combo box's choice, stayed as they were.
    bool Replace(std::vector<Entry> entries);
    // Hands back every device the list holds and leaves the texts on show without devices.
    std::vector<AppDevice*> TakeDevices();

  private:
    std::vector<Entry> entries_;
};

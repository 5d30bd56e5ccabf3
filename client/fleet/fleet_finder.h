// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding a vehicle: a filter box and the "show offline vehicles" switch, standing in the tree's heading
// strip (above the device nodes, inside the tree's rectangle), that hide the vehicles of the tree and of
// the vehicle list which do not match (FleetFilter). The window tells it every vehicle's texts and state
// (UpdateVehicle); the switch's setting is the window's to store (showOfflineChanged). UI thread only.
#include <QWidget>

#include "fleet/fleet_filter.h"

class DevTree;
class DeviceStatusList;
class QCheckBox;
class QLineEdit;

class FleetFinder : public QWidget {
    Q_OBJECT
  public:
    struct Texts {
        QString placeholder;   // in the empty filter box
        QString show_offline;  // the switch
    };
    // Puts itself over `tree`'s nodes; `show_offline` is the switch's first state.
    FleetFinder(DevTree& tree, DeviceStatusList& list, bool show_offline, const Texts& texts);

    // The vehicle of row `row` (tree entry and list row) as it is now.
    void UpdateVehicle(int row, const QString& vehicle_id, const QString& device_id, const QString& driver,
                       bool online);
    // Logout: the rows are gone.
    void Clear() { filter_.Clear(); }
    // As typing does.
    void SetText(const QString& text);
    void SetShowOffline(bool show);

    const FleetFilter& filter() const { return filter_; }
    QLineEdit* edit() const { return edit_; }
    QCheckBox* showOfflineBox() const { return show_offline_; }

  signals:
    // The operator flipped the switch.
    void showOfflineChanged(bool show);

  private:
    void Apply(int row);

    DevTree& tree_;
    DeviceStatusList& list_;
    FleetFilter filter_;
    QLineEdit* edit_ = nullptr;
    QCheckBox* show_offline_ = nullptr;
};

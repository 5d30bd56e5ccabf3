// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device tree's vehicles as the alarm watch reads them: rows are the tree's device rows, the words
// come from the library. UI thread only; the tree outlives it.
#include "fleet/alarm_watch.h"

class DevTree;

class TreeAlarmVehicles final : public AlarmVehicles {
  public:
    explicit TreeAlarmVehicles(const DevTree* tree) : tree_(tree) {}
    int Count() const override;
    bool Words(int row, uint32_t* words, uint32_t* serial) const override;
    QString DeviceId(int row) const override;
    QString Label(int row) const override;
    int64_t LastReport_s(int row) const override;

  private:
    const DevTree* tree_;
};

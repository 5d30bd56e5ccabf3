// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The vehicle list's sort order: vehicle id and driver as text (case-insensitive), speed by its number
// (texts without one, "GPS not valid" and the like, below every speed), update time chronologically
// (rows without a time first). Sorting does not follow every cell the status refresh changes: the list
// asks for a re-sort (Resort) at most once a second, so a large moving fleet costs one sort a second,
// not one row move per cell. UI thread only.
#include <QSortFilterProxyModel>
#include <optional>

class DeviceStatusModel;

class VehicleListProxy : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit VehicleListProxy(DeviceStatusModel& source, QObject* parent = nullptr);

    // The speed in a speed cell ("27.78 km/h" -> 27.78); none for a text without a leading number.
    static std::optional<double> SpeedOf(const QString& cell);
    // Whether an UpdateTime cell ("yyyy-MM-dd HH:mm:ss") is earlier than another; a cell not in that
    // form counts as earlier than any time.
    static bool TimeBefore(const QString& left, const QString& right);

    // Sorts again by the current column, if any.
    void Resort();

  protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    DeviceStatusModel& source_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/vehicle_list_proxy.h"

#include <cmath>

#include "fleet/device_status_list.h"

namespace {

bool IsTime(const QString& cell) {
    // "yyyy-MM-dd HH:mm:ss": fixed width with the fields from the largest down, so that the texts of two
    // such times compare as the times do.
    static constexpr char kShape[] = "dddd-dd-dd dd:dd:dd";
    if (cell.size() != int(sizeof(kShape)) - 1) return false;
    for (int i = 0; i < cell.size(); ++i) {
        const bool digit = cell[i] >= u'0' && cell[i] <= u'9';
        if ((kShape[i] == 'd') != digit) return false;
        if (!digit && cell[i] != QChar::fromLatin1(kShape[i])) return false;
    }
    return true;
}

}  // namespace

VehicleListProxy::VehicleListProxy(DeviceStatusModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(&source_);
    setDynamicSortFilter(false);
}

std::optional<double> VehicleListProxy::SpeedOf(const QString& cell) {
    int end = 0;
    while (end < cell.size() && (cell[end].isDigit() || cell[end] == u'.' || (end == 0 && cell[end] == u'-')))
        ++end;
    bool ok = false;
    const double value = cell.left(end).toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool VehicleListProxy::TimeBefore(const QString& left, const QString& right) {
    const bool left_time = IsTime(left);
    const bool right_time = IsTime(right);
    if (left_time != right_time) return !left_time;
    return left_time && left < right;
}

void VehicleListProxy::Resort() {
    if (sortColumn() >= 0) sort(sortColumn(), sortOrder());
}

bool VehicleListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const int column = left.column();
    const QString a = source_.Cell(left.row(), column);
    const QString b = source_.Cell(right.row(), column);
    if (column == 2) {
        const std::optional<double> x = SpeedOf(a);
        const std::optional<double> y = SpeedOf(b);
        if (x.has_value() != y.has_value()) return !x.has_value();
        if (x && *x != *y) return *x < *y;
    } else if (column == 3) {
        if (a != b) return TimeBefore(a, b);
    } else {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        if (order != 0) return order < 0;
    }
    // Equal cells keep the rows' own order, so the sort is stable from one re-sort to the next.
    return left.row() < right.row();
}

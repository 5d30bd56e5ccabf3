// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_layout.h"

namespace {

int Edge(int base, double ratio, int extent) {
    if (ratio != 0.0) return base + static_cast<int>(ratio * extent);
    return base < 0 ? base + extent : base;
}

}  // namespace

QRect LayoutEntry::Place(int width, int height) const {
    const int l = Edge(left, ratio_left, width);
    const int t = Edge(top, ratio_top, height);
    const int r = Edge(right, ratio_right, width);
    const int b = Edge(bottom, ratio_bottom, height);
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

QRect MainLayout::Mirror(const QRect& rect, int width) const {
    if (!mirrored_) return rect;
    return QRect(width - 1 - rect.right(), rect.top(), rect.width(), rect.height());
}

MainLayout::MainLayout(int panel_width, Qt::LayoutDirection direction)
    : mirrored_(direction == Qt::RightToLeft) {
    SetPanelWidth(panel_width);
}

void MainLayout::SetPanelWidth(int panel_width) {
    panel_width_ = panel_width;
    const int p = panel_width;
    rows_[kStatusLine] = {361, 7, -7, 44, 0, 0, 0, 0};
    rows_[kTree] = {7, 44, p + 7, -7, 0, 0, 0, 0.67};
    rows_[kLog] = rows_[kTree];
    rows_[kSearch] = rows_[kTree];
    rows_[kVehicleList] = {7, 0, -7, -7, 0, 0.67, 0.5, 0};
    rows_[kMapView] = {0, 0, -7, -7, 0.5, 0.67, 0, 0};
    rows_[kGrid] = {p + 14, 45, -7, -7, 0, 0, 0, 0.67};
}

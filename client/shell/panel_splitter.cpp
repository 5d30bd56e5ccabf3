// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/panel_splitter.h"

#include <QMouseEvent>
#include <algorithm>

PanelSplitter::PanelSplitter(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panel_splitter"));
    setCursor(Qt::SplitHCursor);
}

int PanelSplitter::PanelWidthFor(int start_width, int delta_px, int client_width, int min_width) {
    // The column's margins: 7 pixels left of it, 7 between it and the grid, 7 right of the grid.
    constexpr int kMarginsPx = 21;
    const int max_width = client_width - kMarginsPx - kMinGridWidthPx;
    if (max_width < min_width) return start_width;
    return std::clamp(start_width + delta_px, min_width, std::min(max_width, kMaxPanelWidthPx));
}

void PanelSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    press_x_ = int(event->globalPosition().x());
    emit pressed();
    event->accept();
}

void PanelSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    emit dragged(int(event->globalPosition().x()) - press_x_);
    event->accept();
}

void PanelSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    emit dragged(int(event->globalPosition().x()) - press_x_);
    emit released();
    event->accept();
}

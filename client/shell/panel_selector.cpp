// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/panel_selector.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

PanelSelector::PanelSelector(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PanelSelector::LoadImages(const QString& on_path, const QString& off_path) {
    on_image_.load(on_path);
    off_image_.load(off_path);
    update();
}

void PanelSelector::SetOn(bool on) {
    on_ = on;
    update();
}

void PanelSelector::SetText(const QString& text) {
    text_ = text;
    update();
}

void PanelSelector::SetTextColor(const QColor& color) {
    text_color_ = color;
    update();
}

namespace {

constexpr int kMarginPx = 4;

}  // namespace

QSize PanelSelector::sizeHint() const {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return QSize(metrics.horizontalAdvance(text_) + 2 * kMarginPx, metrics.height());
}

void PanelSelector::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& image = on_ ? on_image_ : off_image_;
    if (image.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawPixmap(0, 0, image);
    QColor color = text_color_;
    if (!on_) color.setAlpha(170);
    painter.setPen(color);
    QFont bold = font();
    bold.setBold(on_);
    painter.setFont(bold);
    painter.drawText(rect().adjusted(kMarginPx, 0, -kMarginPx, 0), Qt::AlignCenter | Qt::TextSingleLine,
                     text_);
}

void PanelSelector::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

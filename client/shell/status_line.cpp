// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/status_line.h"

#include <QPainter>

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StatusLine::SetText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

void StatusLine::SetImages(const QPixmap& banner, const QPixmap& logo) {
    banner_ = banner;
    logo_ = logo;
    update();
}

void StatusLine::SetTextColor(const QColor& color) {
    text_color_ = color;
    update();
}

void StatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (banner_.isNull())
        painter.fillRect(rect(), palette().window());
    else
        painter.drawPixmap(rect(), banner_);
    if (!logo_.isNull()) {
        painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        painter.drawPixmap(qMax(0, (width() - 472) / 2), 0, logo_);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    painter.setPen(text_color_);
    painter.setFont(font());
    // At the right in either direction: the banner's logo takes the middle, and right to left the right edge
    // is where the text begins.
    painter.drawText(rect(), Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextSingleLine,
                     text_);
}

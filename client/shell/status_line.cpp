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

void StatusLine::SetCovered(int left_px, int right_px) {
    if (left_px == covered_left_px_ && right_px == covered_right_px_) return;
    covered_left_px_ = qMax(0, left_px);
    covered_right_px_ = qMax(0, right_px);
    update();
}

QRect StatusLine::DrawnRect() const {
    QRect drawn = rect().adjusted(covered_left_px_, 0, -covered_right_px_, 0);
    if (drawn.width() < 0) drawn.setWidth(0);
    return drawn;
}

int StatusLine::LogoLeft() const {
    const QRect drawn = DrawnRect();
    return drawn.left() + qMax(0, (drawn.width() - 472) / 2);
}

QRect StatusLine::TextRect() const {
    const QRect drawn = DrawnRect();
    if (logo_.isNull()) return drawn;
    constexpr int kGapPx = 8;
    const int logo_right = LogoLeft() + int(logo_.deviceIndependentSize().width());
    return QRect(QPoint(qMin(drawn.right() + 1, logo_right + kGapPx), 0),
                 QPoint(drawn.right(), height() - 1));
}

QString StatusLine::shownText() const {
    return QFontMetrics(font()).elidedText(text_, Qt::ElideRight, TextRect().width());
}

void StatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The covered ends are painted too (nothing is left undrawn under a widget that may move away).
    painter.fillRect(rect(), palette().window());
    if (!banner_.isNull()) painter.drawPixmap(DrawnRect(), banner_);
    if (!logo_.isNull()) {
        painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        painter.drawPixmap(LogoLeft(), 0, logo_);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    painter.setPen(text_color_);
    painter.setFont(font());
    // At the right in either direction: the banner's logo takes the middle, and right to left the right edge
    // is where the text begins.
    painter.drawText(TextRect(), Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextSingleLine,
                     shownText());
}

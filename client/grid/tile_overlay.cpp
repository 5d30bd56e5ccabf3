// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tile_overlay.h"

#include <QFontMetrics>
#include <QPainter>

#include "app/shown_text.h"

namespace {

constexpr int kMargin = 4;      // from the tile's edges
constexpr int kPadding = 4;     // inside the backing
constexpr int kMarkWidth = 14;  // one mark and the gap after it
constexpr int kCloseSize = 18;
const QColor kBacking(0, 0, 0, 150);
const QColor kLabelText(245, 245, 245);

void PaintRecordMark(QPainter& p, int x, int y) {
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(220, 20, 20));
    p.drawEllipse(QRect(x, y, 10, 10));
}

void PaintSpeakerMark(QPainter& p, int x, int y) {
    // The box, the cone, one sound wave.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 240, 240));
    p.drawRect(QRect(x, y + 3, 3, 4));
    const QPoint cone[] = {{x + 3, y + 3}, {x + 7, y}, {x + 7, y + 10}, {x + 3, y + 7}};
    p.drawPolygon(cone, 4);
    p.setPen(QPen(QColor(240, 240, 240), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(x + 5, y + 1, 6, 8), -60 * 16, 120 * 16);
}

void PaintMicrophoneMark(QPainter& p, int x, int y) {
    // The capsule, its holder and the stand, in the talk colour (the operator is heard).
    const QColor colour(80, 220, 120);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRect(x + 3, y, 5, 7), 2.5, 2.5);
    p.setPen(QPen(colour, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(x + 1, y + 2, 9, 7), 180 * 16, 180 * 16);
    p.drawLine(x + 5, y + 9, x + 5, y + 10);
    p.drawLine(x + 3, y + 10, x + 8, y + 10);
}

}  // namespace

TileOverlay::TileOverlay() {
    font_.setPixelSize(11);
    text_height_ = QFontMetrics(font_).height();
}

void TileOverlay::SetLabel(const QString& vehicle, const QString& channel) {
    vehicle_ = vehicle;
    channel_ = channel;
    Compose();
}

bool TileOverlay::SetClock(const QTime& time) {
    // Asked several times a second for every tile: the text is made only when the second changes.
    const int second = time.msecsSinceStartOfDay() / 1000;
    if (second == clock_second_) return false;
    clock_second_ = second;
    clock_ = time.toString(QStringLiteral("HH:mm:ss"));
    Compose();
    return show_label_ && !vehicle_.isEmpty();
}

bool TileOverlay::SetMarks(const TileMarks& marks) {
    if (marks == marks_) return false;
    marks_ = marks;
    Render();
    return true;
}

void TileOverlay::SetShowLabel(bool show) {
    show_label_ = show;
    Render();
}

void TileOverlay::Compose() {
    if (vehicle_.isEmpty() && channel_.isEmpty()) {
        text_.clear();
        text_width_ = 0;
    } else {
        text_ = vehicle_ + QStringLiteral("  ") + channel_ + QStringLiteral("  ") + LeftToRight(clock_);
        text_width_ = QFontMetrics(font_).horizontalAdvance(text_);
    }
    Render();
}

int TileOverlay::MarkCount() const {
    return int(marks_.recording) + int(marks_.audio) + int(marks_.talk);
}

QRect TileOverlay::LabelRect() const {
    const bool text = show_label_ && !text_.isEmpty();
    const int marks = MarkCount();
    if (!text && marks == 0) return {};
    int width = 2 * kPadding + (text ? text_width_ : 0) + marks * kMarkWidth;
    if (text && marks > 0) width += kPadding;
    return {kMargin, kMargin, width, std::max(text_height_, 10) + 2 * 2};
}

void TileOverlay::PaintLabel(QPainter& painter) const {
    if (!strip_.isNull()) painter.drawImage(kMargin, kMargin, strip_);
}

void TileOverlay::Render() {
    const QRect strip = LabelRect();
    if (strip.isEmpty()) {
        strip_ = QImage();
        return;
    }
    if (strip_.size() != strip.size()) strip_ = QImage(strip.size(), QImage::Format_ARGB32_Premultiplied);
    strip_.fill(kBacking);
    QPainter painter(&strip_);
    int x = kPadding;
    if (show_label_ && !text_.isEmpty()) {
        painter.setFont(font_);
        painter.setPen(kLabelText);
        painter.drawText(QRect(x, 0, text_width_, strip.height()), Qt::AlignLeft | Qt::AlignVCenter, text_);
        x += text_width_ + kPadding;
    }
    const int y = (strip.height() - 11) / 2;
    painter.setRenderHint(QPainter::Antialiasing);
    if (marks_.recording) {
        PaintRecordMark(painter, x, y);
        x += kMarkWidth;
    }
    if (marks_.audio) {
        PaintSpeakerMark(painter, x, y);
        x += kMarkWidth;
    }
    if (marks_.talk) PaintMicrophoneMark(painter, x, y);
}

void TileOverlay::PaintStall(QPainter& painter, const QRect& picture) const {
    if (stall_text_.isEmpty()) return;
    painter.save();
    painter.fillRect(picture, QColor(0, 0, 0, 140));
    painter.setFont(font_);
    const QFontMetrics metrics(font_);
    QRect box(0, 0, metrics.horizontalAdvance(stall_text_) + 4 * kPadding, text_height_ + 2 * kPadding);
    box.moveCenter(picture.center());
    painter.fillRect(box, kBacking);
    painter.setPen(QColor(255, 200, 60));
    painter.drawText(box, Qt::AlignCenter, stall_text_);
    painter.restore();
}

void TileOverlay::PaintNotice(QPainter& painter, const QRect& picture) const {
    if (notice_.isEmpty()) return;
    painter.save();
    painter.setFont(font_);
    const QFontMetrics metrics(font_);
    const QString shown = metrics.elidedText(notice_, Qt::ElideMiddle, picture.width() - 6 * kPadding);
    QRect box(0, 0, metrics.horizontalAdvance(shown) + 4 * kPadding, text_height_ + 2 * kPadding);
    box.moveCenter({picture.center().x(), picture.top() + picture.height() * 3 / 4});
    painter.fillRect(box, kBacking);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, shown);
    painter.restore();
}

QRect TileOverlay::CloseButtonRect(const QSize& tile) {
    return {tile.width() - kMargin - kCloseSize, kMargin, kCloseSize, kCloseSize};
}

void TileOverlay::PaintCloseButton(QPainter& painter, const QSize& tile) {
    const QRect r = CloseButtonRect(tile);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(r, kBacking);
    painter.setPen(QPen(QColor(245, 245, 245), 2));
    painter.drawLine(r.topLeft() + QPoint(5, 5), r.bottomRight() - QPoint(4, 4));
    painter.drawLine(QPoint(r.right() - 4, r.top() + 5), QPoint(r.left() + 5, r.bottom() - 4));
    painter.restore();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tile_view.h"

#include <algorithm>

QRect TileView::PictureRect(const QSize& tile, const QSize& picture, bool keepAspect) {
    const QRect whole(QPoint(0, 0), tile);
    if (!keepAspect || picture.width() <= 0 || picture.height() <= 0 || tile.isEmpty()) return whole;
    const QSize fitted = picture.scaled(tile, Qt::KeepAspectRatio);
    return QRect(QPoint((tile.width() - fitted.width()) / 2, (tile.height() - fitted.height()) / 2), fitted);
}

QRectF TileView::SourceRect(const QSize& picture) const {
    const double w = picture.width() / zoom_;
    const double h = picture.height() / zoom_;
    return {centre_.x() * picture.width() - w / 2, centre_.y() * picture.height() - h / 2, w, h};
}

QPointF TileView::MapToPicture(const QPointF& tilePoint, const QSize& tile, const QSize& picture) const {
    const QRect target = TargetRect(tile, picture);
    const QRectF source = SourceRect(picture);
    if (target.isEmpty()) return source.center();
    return {source.left() + (tilePoint.x() - target.left()) * source.width() / target.width(),
            source.top() + (tilePoint.y() - target.top()) * source.height() / target.height()};
}

void TileView::ZoomAt(const QPointF& cursor, double factor, const QSize& tile, const QSize& picture) {
    if (picture.isEmpty() || tile.isEmpty() || !(factor > 0)) return;
    const QPointF fixed = MapToPicture(cursor, tile, picture);
    const double zoom = std::clamp(zoom_ * factor, 1.0, kMaxZoom);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    // The new source rectangle puts `fixed` at the cursor's place again.
    const QRect target = TargetRect(tile, picture);
    const double w = picture.width() / zoom_;
    const double h = picture.height() / zoom_;
    const double left = fixed.x() - (cursor.x() - target.left()) * w / target.width();
    const double top = fixed.y() - (cursor.y() - target.top()) * h / target.height();
    centre_ = {(left + w / 2) / picture.width(), (top + h / 2) / picture.height()};
    ClampCentre();
}

void TileView::PanBy(const QPointF& delta, const QSize& tile, const QSize& picture) {
    const QRect target = TargetRect(tile, picture);
    if (!Zoomed() || target.isEmpty()) return;
    centre_ -= QPointF(delta.x() / (target.width() * zoom_), delta.y() / (target.height() * zoom_));
    ClampCentre();
}

void TileView::Reset() {
    zoom_ = 1.0;
    centre_ = {0.5, 0.5};
}

void TileView::ClampCentre() {
    // The shown part never leaves the picture.
    const double half = 0.5 / zoom_;
    centre_ = {std::clamp(centre_.x(), half, 1.0 - half), std::clamp(centre_.y(), half, 1.0 - half)};
}

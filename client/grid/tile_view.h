// SPDX-License-Identifier: GPL-3.0-or-later
// Where a tile draws its picture: the picture's aspect kept (letterboxed in the tile's background) or
// stretched over the tile, and the digital zoom, a part of the picture magnified into the same place.
// Plain geometry, no widget: the display window keeps one per tile and asks it at every paint. UI thread.
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

class TileView {
  public:
    static constexpr double kMaxZoom = 8.0;

    // The part of the tile the whole picture fills: the tile itself when stretched or when the picture's
    // size is unknown, otherwise the largest centred rectangle of the picture's aspect.
    static QRect PictureRect(const QSize& tile, const QSize& picture, bool keepAspect);

    void SetKeepAspect(bool keep) { keep_aspect_ = keep; }
    bool KeepAspect() const { return keep_aspect_; }

    double Zoom() const { return zoom_; }
    bool Zoomed() const { return zoom_ > 1.0; }
    // Multiplies the zoom by factor (the result kept within 1 to kMaxZoom) so that the picture point under
    // `cursor` (tile coordinates) stays under it.
    void ZoomAt(const QPointF& cursor, double factor, const QSize& tile, const QSize& picture);
    // Moves the magnified part with the cursor: the picture follows a drag of delta tile pixels.
    void PanBy(const QPointF& delta, const QSize& tile, const QSize& picture);
    void Reset();

    // Where the picture is drawn in the tile and which part of it (picture coordinates) is drawn there.
    QRect TargetRect(const QSize& tile, const QSize& picture) const {
        return PictureRect(tile, picture, keep_aspect_);
    }
    QRectF SourceRect(const QSize& picture) const;
    // The picture point shown at a tile point (outside the target rectangle: extrapolated).
    QPointF MapToPicture(const QPointF& tilePoint, const QSize& tile, const QSize& picture) const;

  private:
    void ClampCentre();

    bool keep_aspect_ = true;
    double zoom_ = 1.0;
    // Centre of the shown part, as a fraction of the picture's width and height: the picture's size may
    // change under a zoom (a new resolution) without losing the place.
    QPointF centre_{0.5, 0.5};
};

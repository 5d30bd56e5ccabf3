// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the main window's children go for a client area of w x h pixels. Each row holds a base rectangle
// and one ratio per edge: an edge with a ratio is base + trunc(ratio x extent); else a negative base counts
// from the far side (base + extent); else the base stands. Extent is the width for left and right, the
// height for top and bottom. Plain geometry: the window moves its widgets to the rectangles. Right to left
// (Arabic, Hebrew) every rectangle is mirrored about the client area's vertical centre line, as Qt
// mirrors the layouts it manages itself.
#include <QRect>
#include <array>

struct LayoutEntry {
    int left, top, right, bottom;  // base rectangle, pixels
    double ratio_left, ratio_top, ratio_right, ratio_bottom;

    // The rectangle for a client area of width x height, as (left, top) to (right, bottom) edges: the
    // QRect spans left..right-1 and top..bottom-1.
    QRect Place(int width, int height) const;
};

class MainLayout {
  public:
    enum Row { kStatusLine = 0, kTree, kLog, kSearch, kVehicleList, kMapView, kGrid, kRows };

    // The rows for a left-panel width of `panel_width` pixels (the UIPanelWidth setting), laid out in
    // `direction` (the application's).
    explicit MainLayout(int panel_width, Qt::LayoutDirection direction = Qt::LeftToRight);

    // The operator dragged the left column to `panel_width` pixels: the rows are built again for it.
    void SetPanelWidth(int panel_width);
    int panelWidth() const { return panel_width_; }
    bool mirrored() const { return mirrored_; }

    QRect Place(Row row, int width, int height) const {
        return Mirror(rows_[row].Place(width, height), width);
    }
    const LayoutEntry& entry(Row row) const { return rows_[row]; }

    // The panel selectors' fixed places: (7 + 118 i, 7), 118 x 37.
    static QRect SelectorRect(int index) { return QRect(7 + 118 * index, 7, 118, 37); }
    // A selector's place in a client area `width` pixels wide, in the layout's direction.
    QRect PlaceSelector(int index, int width) const { return Mirror(SelectorRect(index), width); }

  private:
    QRect Mirror(const QRect& rect, int width) const;

    std::array<LayoutEntry, kRows> rows_;
    bool mirrored_ = false;
    int panel_width_ = 0;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the main window's children go for a client area of w x h pixels. Each row holds a base rectangle
// and one ratio per edge: an edge with a ratio is base + trunc(ratio x extent); else a negative base counts
// from the far side (base + extent); else the base stands. Extent is the width for left and right, the
// height for top and bottom. Plain geometry: the window moves its widgets to the rectangles.
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

    // The rows for a left-panel width of `panel_width` pixels (the UIPanelWidth setting).
    explicit MainLayout(int panel_width);

    QRect Place(Row row, int width, int height) const { return rows_[row].Place(width, height); }
    const LayoutEntry& entry(Row row) const { return rows_[row]; }

    // The panel selectors' fixed places: (7 + 118 i, 7), 118 x 37.
    static QRect SelectorRect(int index) { return QRect(7 + 118 * index, 7, 118, 37); }

  private:
    std::array<LayoutEntry, kRows> rows_;
};

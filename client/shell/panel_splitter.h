// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The handle in the gap between the left column and the grid: dragging it makes the left column wider or
// narrower. It only reports the drag; the window decides the width (PanelWidthFor) and lays itself out.
// UI thread only.
#include <QWidget>

class PanelSplitter : public QWidget {
    Q_OBJECT
  public:
    // The grid keeps at least this much room beside a dragged column.
    static constexpr int kMinGridWidthPx = 320;
    // A remembered width beyond this is no width of a real screen's column.
    static constexpr int kMaxPanelWidthPx = 2000;

    explicit PanelSplitter(QWidget* parent = nullptr);

    // The column width a drag of `delta_px` (towards the grid positive) from `start_width` asks for, in a
    // client area `client_width` pixels wide: never below `min_width`, never leaving the grid less than
    // kMinGridWidthPx (the start width stands when even that does not fit).
    static int PanelWidthFor(int start_width, int delta_px, int client_width, int min_width);

  signals:
    void pressed();
    // The handle moved `delta_px` pixels from where it was pressed (screen x, right positive).
    void dragged(int delta_px);
    void released();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool dragging_ = false;
    int press_x_ = 0;
};

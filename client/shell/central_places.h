// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the children of the main window's central area stand for its size: the left column's panels and
// selectors, the status line (the alarm list's selector stands over one end of it, and the line draws its
// banner, logo and text beside the selector), the event log, the search panel, the vehicle list, and the
// grid and the map view, which trade places while the Playback panel shows. Placement only, from
// MainLayout. UI thread only; the layout and the children outlive it (the window destroys it at shutdown,
// before the children that go early).
#include <QRect>

class CMapDlg;
class LeftPanels;
class MainLayout;
class StatusLine;
class QWidget;

class CentralPlaces {
  public:
    struct Children {
        LeftPanels& left;
        StatusLine& status_line;
        QWidget& tree;
        QWidget& log;
        QWidget& search;
        QWidget& vehicle_list;
        CMapDlg& map;
        QWidget& grid;
    };
    CentralPlaces(const MainLayout& layout, const Children& children) : layout_(layout), c_(children) {}

    // Places every child for a central area of width x height; `playback` while the Playback panel shows.
    void Place(int width, int height, bool playback);
    // The Playback panel was entered or left: the grid and the map view trade places.
    void TradeGridAndMap();

  private:
    void PlaceStatusLine(int width, int height);

    const MainLayout& layout_;
    Children c_;
    QRect grid_slot_;
    QRect map_slot_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the map view needs from the window it docks into. Implemented by the main window; every call is
// made on the UI thread.
#include <QSize>
#include <QString>

class QWidget;

class MapViewHost {
  public:
    // The widget the docked view is a child of (the main window's central area).
    virtual QWidget* MapDockParent() = 0;
    // Column 0 (the vehicle id) of the given row of the vehicle list; empty for a row that does not exist.
    virtual QString VehicleIdAtRow(int row) const = 0;
    // True while the main window shows its Playback panel (the map then already occupies the large slot).
    virtual bool ShowsPlaybackPanel() const = 0;
    // The size of the video grid's area, which the floating view takes.
    virtual QSize GridAreaSize() const = 0;

  protected:
    ~MapViewHost() = default;
};

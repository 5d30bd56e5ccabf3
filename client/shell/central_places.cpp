// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/central_places.h"

#include "map/map_dlg.h"
#include "shell/left_panels.h"
#include "shell/main_layout.h"
#include "shell/panel_selector.h"
#include "shell/status_line.h"

namespace {

// Between the alarm list's selector and what the status line draws beside it.
constexpr int kSelectorGapPx = 4;

}  // namespace

void CentralPlaces::Place(int width, int height, bool playback) {
    c_.left.Place(layout_, width, height);
    PlaceStatusLine(width, height);
    c_.tree.setGeometry(layout_.Place(MainLayout::kTree, width, height));
    c_.log.setGeometry(layout_.Place(MainLayout::kLog, width, height));
    c_.search.setGeometry(layout_.Place(MainLayout::kSearch, width, height));
    c_.vehicle_list.setGeometry(layout_.Place(MainLayout::kVehicleList, width, height));
    const QRect map_rect = layout_.Place(MainLayout::kMapView, width, height);
    const QRect grid_rect = layout_.Place(MainLayout::kGrid, width, height);
    grid_slot_ = playback ? map_rect : grid_rect;
    map_slot_ = playback ? grid_rect : map_rect;
    c_.map.SetDockedRect(map_slot_);
    c_.grid.setGeometry(grid_slot_);
}

void CentralPlaces::PlaceStatusLine(int width, int height) {
    const QRect status_rect = layout_.Place(MainLayout::kStatusLine, width, height);
    c_.status_line.setGeometry(status_rect);
    // The line keeps its rectangle and draws banner, logo and text beside the selector.
    const QRect alarm_selector = layout_.PlaceSelector(LeftPanels::kAlarmList, width);
    c_.left.selector(LeftPanels::kAlarmList)->setGeometry(alarm_selector);
    const QRect covered = alarm_selector.intersected(status_rect);
    if (covered.isEmpty())
        c_.status_line.SetCovered(0, 0);
    else if (covered.center().x() < status_rect.center().x())
        c_.status_line.SetCovered(covered.right() + 1 - status_rect.left() + kSelectorGapPx, 0);
    else
        c_.status_line.SetCovered(0, status_rect.right() + 1 - covered.left() + kSelectorGapPx);
}

void CentralPlaces::TradeGridAndMap() {
    grid_slot_ = map_slot_;
    map_slot_ = c_.grid.geometry();
    c_.map.SetDockedRect(map_slot_);
    c_.grid.setGeometry(grid_slot_);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operator's vehicle, the same in every view. A node chosen in the tree, a row of the vehicle list, a
// vehicle clicked on the map or an alarm selects it in the tree, the list and the map (a channel node also
// makes the window that shows it active); a double-click on a vehicle or an alarm's video request opens
// its channels on a page of their own. The alarm highlights and the "show offline vehicles" switch are
// kept in step across the same views.
//
// UI thread only. The views belong to the main window; the map view and the grid are destroyed at
// shutdown before the rest, after which what would reach them is skipped.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "grid/page_tab.h"
#include "map/map_dlg.h"

class AlarmDesk;
class DevTree;
class DeviceStatusList;
class FleetFinder;
class FleetPresenter;
class GridModel;
class QTreeWidgetItem;
struct AppSettings;

class VehicleSelection : public QObject {
    Q_OBJECT
  public:
    struct Views {
        DevTree& tree;
        DeviceStatusList& list;
        FleetFinder& finder;
        FleetPresenter& fleet;
        AlarmDesk& alarms;
        CMapDlg* map;
        PageTab* grid;
    };
    struct Hooks {
        // After a click or drag start in the vehicle list (the "Click Anywhere" cycle-stop rule).
        std::function<void()> list_clicked;
        // The switch turned on: the offline vehicles are asked for (a no-op when logged out).
        std::function<void()> ask_offline;
    };
    // Connects itself to the views' signals; `settings` (ShowAllDevice) outlives it.
    VehicleSelection(const Views& views, AppSettings& settings, Hooks hooks, QObject* parent);

    // The tree's node (a device or one of its channels) becomes the selection; null does nothing.
    void Select(QTreeWidgetItem* node);
    // The vehicle of tree row `row`; its channels then open on a page of their own, or, when they are all
    // shown already on one page (on as many pages as they need), that page is shown and nothing moves.
    void OpenVideo(int row);
    // Stores ShowAllDevice; on, the offline vehicles are asked for now (and at every login); off, they
    // are hidden from the tree, the list and the map.
    void SetShowOffline(bool show);
    // Column 0 (the vehicle id) of the list's row; empty for a row that does not exist.
    QString VehicleIdAtRow(int row) const;

  private:
    // The first page holding every one of `channels`, the first of them on it, when they lie on no more
    // pages than they need; -1 otherwise (one not shown, or scattered).
    static int PageOfAll(const GridModel& grid, const std::vector<QTreeWidgetItem*>& channels);
    void SelectRow(int row);
    void Highlight(int row, bool on);

    DevTree& tree_;
    DeviceStatusList& list_;
    FleetFinder& finder_;
    QPointer<CMapDlg> map_;
    QPointer<PageTab> grid_;
    AppSettings& settings_;
    Hooks hooks_;
};

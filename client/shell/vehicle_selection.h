// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operator's vehicle, the same in every view. A node chosen in the tree, a row of the vehicle list, a
// vehicle clicked on the map or an alarm selects it in the tree, the list and the map (a channel node also
// makes the window that shows it active); Enter or Open All Channels on a vehicle, a double-click on a
// vehicle of the map or an alarm's video request opens all its channels together at the end of the grid. The
// alarm highlights and the "show offline vehicles" switch are kept in step across the same views. The switch
// is a view filter of this client's own: offline vehicles are shown (with their offline look) unless the
// operator hid them, and the choice is kept in Tavrin.ini (kHideOfflineKey), never in Config.ini, whose
// ShowAllDevice only says what a login asks for.
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
class OwnSettings;
class QTreeWidgetItem;

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
        // A line for the event log (the switch's choice could not be stored).
        std::function<void(const QString&)> log_line;
        // The grid an alarm's video request opens on instead of the main grid (a wall), or null.
        std::function<PageTab*()> alarm_grid;
    };
    // Key in Tavrin.ini: 1 hides the offline vehicles from the tree, the list and the map (default 0).
    static inline const QString kHideOfflineKey = QStringLiteral("HideOfflineVehicles");

    // Connects itself to the views' signals and sets the switch from `own` (which outlives it).
    VehicleSelection(const Views& views, OwnSettings& own, Hooks hooks, QObject* parent);

    // The tree's node (a device or one of its channels) becomes the selection; null does nothing.
    void Select(QTreeWidgetItem* node);
    // The vehicle of tree row `row`; when its channels are all shown already on one page (on as many pages
    // as they need), that page is shown and nothing moves; else they open together at the end of the grid,
    // on the page of the first shown.
    void OpenVideo(int row);
    // The same on `grid` (the main grid when null).
    void OpenVideoOn(int row, PageTab* grid);
    // Stores the choice in Tavrin.ini; on, the offline vehicles are asked for now; off, they are hidden
    // from the tree, the list and the map.
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
    OwnSettings& own_;
    Hooks hooks_;
};

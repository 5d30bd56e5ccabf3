// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/vehicle_selection.h"

#include <algorithm>

#include "app/app_profile.h"
#include "app/own_settings.h"
#include "fleet/alarm_desk.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_finder.h"
#include "fleet/fleet_presenter.h"
#include "grid/dev_show_dlg.h"
#include "grid/grid_model.h"

VehicleSelection::VehicleSelection(const Views& views, OwnSettings& own, Hooks hooks, QObject* parent)
    : QObject(parent),
      tree_(views.tree),
      list_(views.list),
      finder_(views.finder),
      map_(views.map),
      grid_(views.grid),
      own_(own),
      hooks_(std::move(hooks)) {
    // Before any vehicle arrives, so each is filtered as it comes.
    const bool show_offline = !own_.ReadBool(kHideOfflineKey, false);
    finder_.SetShowOffline(show_offline);
    const auto row_chosen = [this](int row) {
        SelectRow(row);
        if (hooks_.list_clicked) hooks_.list_clicked();
    };
    connect(&list_, &DeviceStatusList::rowClicked, this, row_chosen);
    connect(&list_, &DeviceStatusList::rowDragStarted, this, row_chosen);
    connect(&tree_, &DevTree::vehicleActivated, this, &VehicleSelection::OpenVideo);
    connect(&finder_, &FleetFinder::showOfflineChanged, this, &VehicleSelection::SetShowOffline);
    connect(&views.fleet, &FleetPresenter::vehicleShown, this,
            [this](int row, const QString& name, const QString& id, const QString& driver, bool online) {
                finder_.UpdateVehicle(row, name, id, driver, online);
                if (map_) map_->SetVehicleOnline(row, online);
            });
    connect(&views.alarms, &AlarmDesk::vehicleHighlightChanged, this, &VehicleSelection::Highlight);
    connect(&views.alarms, &AlarmDesk::videoRequested, this,
            [this](int row) { OpenVideoOn(row, hooks_.alarm_grid ? hooks_.alarm_grid() : nullptr); });
    if (map_) {
        map_->SetShowOffline(show_offline);
        connect(map_, &CMapDlg::vehicleClicked, this, &VehicleSelection::SelectRow);
        connect(map_, &CMapDlg::vehicleActivated, this, &VehicleSelection::OpenVideo);
    }
}

void VehicleSelection::Select(QTreeWidgetItem* node) {
    if (!node) return;
    tree_.setCurrentItem(node);
    if (node->parent()) {
        // A channel shown in a window other than the active one makes that window active.
        CDevShowDlg* active = grid_ ? grid_->ActiveWindow() : nullptr;
        CDevShowDlg* shown = grid_ ? grid_->FindWindowOfNode(node) : nullptr;
        if (shown && (!active || active->channel_item != node))
            grid_->Model().SelectWindow(grid_->Model().PageOf(shown), shown);
        node = node->parent();
    }
    const int index = node->data(0, Qt::UserRole).toInt();
    list_.SelectRow(index);
    const DevTreeEntry* record = tree_.Entry(index);
    if (!record || !map_) return;
    map_->SelectVehicle(index);
    map_->Position(DeviceBytes(record->device, VELQ_DEV_POSITION, 128), index);
}

void VehicleSelection::SelectRow(int row) {
    if (const DevTreeEntry* record = tree_.Entry(row)) Select(record->item);
}

void VehicleSelection::OpenVideo(int row) {
    OpenVideoOn(row, nullptr);
}

void VehicleSelection::OpenVideoOn(int row, PageTab* target) {
    if (!target) target = grid_;
    const DevTreeEntry* record = tree_.Entry(row);
    if (!record || !record->item || !target) return;
    Select(record->item);
    std::vector<QTreeWidgetItem*> channels;
    for (int i = 0; i < record->item->childCount(); ++i) channels.push_back(record->item->child(i));
    GridModel& grid = target->Model();
    // Opened before and still together: that page is shown again. Moving the channels to a new page would
    // leave a page of gaps behind each time, and a map page or an alarm asking again and again would pile
    // pages up.
    if (const int page = PageOfAll(grid, channels); page >= 0) {
        grid.SelectWindow(page, grid.FindWindowOfNode(channels.front()));
        return;
    }
    grid.OpenAtEnd(channels);
}

int VehicleSelection::PageOfAll(const GridModel& grid, const std::vector<QTreeWidgetItem*>& channels) {
    if (channels.empty() || grid.Cells() <= 0) return -1;
    const int pages_needed = (int(channels.size()) + grid.Cells() - 1) / grid.Cells();
    int first = -1, last = -1;
    for (const QTreeWidgetItem* channel : channels) {
        const GridSlot* window = grid.FindWindowOfNode(channel);
        if (!window) return -1;
        const int page = grid.PageOf(window);
        first = first < 0 ? page : std::min(first, page);
        last = std::max(last, page);
    }
    // The first channel leads, as it does when the page is made.
    if (grid.PageOf(grid.FindWindowOfNode(channels.front())) != first) return -1;
    return last - first < pages_needed ? first : -1;
}

void VehicleSelection::Highlight(int row, bool on) {
    const DevTreeEntry* record = tree_.Entry(row);
    if (record && record->item) record->item->setBackground(0, on ? QBrush(QColor(150, 32, 32)) : QBrush());
    list_.SetRowHighlight(row, on);
    if (map_) map_->SetVehicleAlarm(row, on);
}

void VehicleSelection::SetShowOffline(bool show) {
    if (!own_.WriteBool(kHideOfflineKey, !show) && hooks_.log_line)
        hooks_.log_line(AppProfile::Translate(QStringLiteral("Cannot write %1")).arg(own_.path()));
    finder_.SetShowOffline(show);
    if (map_) map_->SetShowOffline(show);
    // Logged in, the offline vehicles the login did not ask for come now.
    if (show && hooks_.ask_offline) hooks_.ask_offline();
}

QString VehicleSelection::VehicleIdAtRow(int row) const {
    return row >= 0 && row < list_.rowCount() ? list_.Cell(row, 0) : QString();
}

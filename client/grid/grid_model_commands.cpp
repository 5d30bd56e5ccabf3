// SPDX-License-Identifier: GPL-3.0-or-later
// The grid's commands that place channels: Play, Enter, drops, close, swap, keyboard moves, Load Page and
// a vehicle's channels at the end. The windows and pages they rest on are kept in grid_model.cpp.
#include <algorithm>
#include <utility>

#include "grid/grid_model.h"

GridSlot* GridModel::PlayCommand(QTreeWidgetItem* node) {
    if (!node) return nullptr;
    GridSlot* a = activeWindow_;
    // A channel shown elsewhere is closed where it is, never opened twice.
    if (GridSlot* shown = FindWindowOfNode(node)) a = shown;
    GridSlot* w;
    if (a->channel_item == node) {
        host_->StopChannel(a);
        w = ReleaseWindow(a);
    } else {
        if (a->channel_item) {
            host_->StopChannel(a);
            a = ReleaseWindow(a);
        }
        w = TakeWindowFor(a);
        host_->PlayChannel(node, w);
    }
    SelectWindow(PageOf(w), w);
    return w;
}

GridSlot* GridModel::CloseWindow(GridSlot* window) {
    if (!window || !window->channel_item || IndexOf(window) < 0) return nullptr;
    host_->StopChannel(window);
    GridSlot* w = ReleaseWindow(window);
    SelectWindow(PageOf(w), w);
    return w;
}

bool GridModel::SwapWindows(GridSlot* dragged, GridSlot* target) {
    const int from = IndexOf(dragged);
    int to = IndexOf(target);
    if (from < 0 || to < 0 || from >= boundCount_ || from == to || !dragged->channel_item) return false;
    if (to >= boundCount_) {
        to = boundCount_ - 1;
        if (to == from) return false;
        windows_.erase(windows_.begin() + from);
        windows_.insert(windows_.begin() + to, dragged);
    } else {
        std::swap(windows_[from], windows_[to]);
    }
    // Both places may lie on other pages than the current one only through a floating window; a window
    // that left the current page is hidden there.
    const int cells = Cells();
    for (GridSlot* w : {dragged, target}) {
        if (IndexOf(w) / cells != currentPage_) host_->HideSlot(w);
    }
    UpdateNewPageTab();
    SelectWindow(PageOf(dragged), dragged);
    return true;
}

GridSlot* GridModel::OpenAtEnd(const std::vector<QTreeWidgetItem*>& nodes) {
    ShowPage(currentPage_, false);
    std::vector<GridSlot*> list;
    std::vector<std::pair<QTreeWidgetItem*, GridSlot*>> to_play;
    for (QTreeWidgetItem* node : nodes) {
        const bool listed =
            std::any_of(list.begin(), list.end(), [node](GridSlot* w) { return w->channel_item == node; }) ||
            std::any_of(to_play.begin(), to_play.end(), [node](const auto& p) { return p.first == node; });
        if (!node || listed) continue;
        if (GridSlot* shown = FindWindowOfNode(node)) {
            // Taken out of the order, so the channels after it close up behind it.
            windows_.erase(windows_.begin() + IndexOf(shown));
            --boundCount_;
            list.push_back(shown);
        } else {
            list.push_back(TakeFreeWindow());
            to_play.emplace_back(node, list.back());
        }
    }
    if (list.empty()) {
        ShowPage(currentPage_, true);
        return nullptr;
    }
    // Right after the last bound window: the order stays packed.
    const int start = boundCount_;
    windows_.insert(windows_.begin() + start, list.begin(), list.end());
    boundCount_ += static_cast<int>(list.size());
    for (const auto& [node, window] : to_play) host_->PlayChannel(node, window);
    FitPages();
    currentPage_ = start / Cells();
    SelectWindow(currentPage_, windows_[start]);
    return windows_[start];
}

bool GridModel::MoveActive(int columns, int rows) {
    const int cells = Cells();
    const int index = IndexOf(activeWindow_) - currentPage_ * cells;
    if (index < 0 || index >= cells) return PickCell(0);
    const int row = std::clamp(index / cols_ + rows, 0, rows_ - 1);
    const int col = std::clamp(index % cols_ + columns, 0, cols_ - 1);
    return PickCell(row * cols_ + col);
}

bool GridModel::PickCell(int cell) {
    if (cell < 0 || cell >= Cells()) return false;
    GridSlot* w = windows_[currentPage_ * Cells() + cell];
    if (w == activeWindow_) return false;
    SelectWindow(currentPage_, w);
    return true;
}

GridSlot* GridModel::PlayInto(QTreeWidgetItem* node) {
    if (!node) return nullptr;
    if (GridSlot* shown = FindWindowOfNode(node)) {
        SelectWindow(PageOf(shown), shown);
        return shown;
    }
    return PlayCommand(node);
}

GridSlot* GridModel::DropChannel(QTreeWidgetItem* node, int x, int y, bool inNewPageTab) {
    if (!node || FindWindowOfNode(node)) return nullptr;
    if (!inNewPageTab && (x < 0 || y < 0)) return nullptr;
    GridSlot* w = TakeWindowAt(x, y, inNewPageTab);
    if (!w) return nullptr;
    SelectWindow(PageOf(w), w);
    host_->PlayChannel(node, w);
    return w;
}

bool GridModel::PlaceLoadedChannels(const std::vector<QTreeWidgetItem*>& nodes, int rows, int cols) {
    if (!ValidSide(rows) || !ValidSide(cols)) return false;
    ShowPage(currentPage_, false);
    currentPage_ = 0;
    std::vector<GridSlot*> list;
    for (QTreeWidgetItem* node : nodes) {
        // A file naming one channel twice gets it once.
        bool listed =
            std::any_of(list.begin(), list.end(), [node](GridSlot* w) { return w->channel_item == node; });
        if (!node || listed) continue;
        if (GridSlot* shown = FindWindowOfNode(node)) {
            windows_.erase(windows_.begin() + IndexOf(shown));
            --boundCount_;
            list.push_back(shown);
            continue;
        }
        GridSlot* w;
        if (boundCount_ < static_cast<int>(windows_.size())) {
            w = windows_.back();
            windows_.pop_back();
        } else {
            w = TakeFreeWindow();
        }
        host_->PlayChannel(node, w);
        list.push_back(w);
    }
    boundCount_ += static_cast<int>(list.size());
    windows_.insert(windows_.begin(), list.begin(), list.end());
    // The active window may have gone to the pool while the windows were taken; SetGrid selects anew.
    SetGrid(rows, cols);
    return true;
}

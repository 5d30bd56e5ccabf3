// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/grid_model.h"

#include <algorithm>
#include <utility>

GridModel::GridModel(GridHost* host, GridSources* sources, QString pageName, QString newPageName)
    : host_(host), sources_(sources), pageName_(std::move(pageName)), newPageName_(std::move(newPageName)) {}

void GridModel::Init(int rows, int cols) {
    rows_ = ValidSide(rows) ? rows : 2;
    cols_ = ValidSide(cols) ? cols : 2;
    boundCount_ = 0;
    currentPage_ = AddPage();
    activeWindow_ = windows_[0];
    cycleCountdown_ = 0;
    host_->SelectTab(currentPage_);
}

void GridModel::SetGridRect(const GridRect& rect) {
    gridRect_ = rect;
    ShowPage(currentPage_, true);
    host_->ActiveFrameChanged();
}

int GridModel::IndexOf(const GridSlot* window) const {
    auto it = std::find(windows_.begin(), windows_.end(), window);
    return it == windows_.end() ? -1 : static_cast<int>(it - windows_.begin());
}

GridSlot* GridModel::TakeFreeWindow() {
    if (freePool_.empty()) return host_->CreateSlot();
    GridSlot* window = freePool_.back();
    freePool_.pop_back();
    return window;
}

void GridModel::ToPool(GridSlot* window) {
    host_->HideSlot(window);
    freePool_.push_back(window);
}

void GridModel::ShowPage(int page, bool show) {
    const int cells = Cells();
    if (page < 0 || (page + 1) * cells > static_cast<int>(windows_.size())) return;
    const int cw = gridRect_.Width() / cols_;
    const int ch = gridRect_.Height() / rows_;
    for (int i = 0; i < cells; ++i) {
        GridSlot* w = windows_[page * cells + i];
        if (!show) {
            host_->HideSlot(w);
            continue;
        }
        const int r = i / cols_;
        const int c = i % cols_;
        w->docked_rect.left = gridRect_.left + c * cw + 1;
        w->docked_rect.top = gridRect_.top + r * ch + 1;
        w->docked_rect.right = c == cols_ - 1 ? gridRect_.right : gridRect_.left + (c + 1) * cw;
        w->docked_rect.bottom = r == rows_ - 1 ? gridRect_.bottom : gridRect_.top + (r + 1) * ch;
        if (w->channel) sources_->SourceStart(w->channel);
        host_->ShowSlot(w);
    }
}

void GridModel::SelectWindow(int page, GridSlot* window) {
    ShowWindow(page, window);
    if (window && window->channel_item) host_->SelectDeviceNode(window->channel_item);
}

void GridModel::ShowWindow(int page, GridSlot* window) {
    if (page != currentPage_) {
        ShowPage(currentPage_, false);
        currentPage_ = page;
    }
    activeWindow_ = window;
    ShowPage(page, true);
    host_->ActiveFrameChanged();
    host_->SelectTab(page);
}

void GridModel::ActivateWindow(GridSlot* window) {
    if (window != activeWindow_) activeWindow_ = window;
    host_->ActiveFrameChanged();
    if (window->channel_item) host_->SelectDeviceNode(window->channel_item);
    StopCyclingOn(CycleStopRules::kDisplayWindow);
}

int GridModel::PageOf(const GridSlot* window) const {
    const int index = IndexOf(window);
    return (index < 0 ? static_cast<int>(windows_.size()) : index) / Cells();
}

GridSlot* GridModel::FindWindowOfNode(const QTreeWidgetItem* node) const {
    if (!node) return nullptr;
    for (GridSlot* w : windows_) {
        if (w->channel_item == node) return w;
    }
    return nullptr;
}

int GridModel::AddPage() {
    pageNames_.append(pageName_);
    const int page = Pages() - 1;
    host_->InsertTab(page);
    ++tabCount_;
    for (int i = 0; i < Cells(); ++i) windows_.push_back(TakeFreeWindow());
    return page;
}

void GridModel::DeletePage(int page) {
    const int cells = Cells();
    if (page < 0 || page >= Pages()) return;
    auto first = windows_.begin() + page * cells;
    int counted = 0;  // bound windows of the page
    for (auto it = first; it != first + cells; ++it) {
        if ((*it)->channel_item) host_->StopChannel(*it);
        if (it - windows_.begin() < boundCount_) ++counted;
        ToPool(*it);
    }
    boundCount_ -= counted;
    windows_.erase(first, first + cells);
    host_->RemoveTab(page);
    --tabCount_;
    pageNames_.removeAt(page);
}

void GridModel::UpdateNewPageTab() {
    const int t = tabCount_;
    if (boundCount_ < static_cast<int>(windows_.size())) {
        if (t == Pages()) return;
        --tabCount_;
        host_->RemoveTab(t - 1);
    } else {
        if (t != Pages()) return;
        ++tabCount_;
        host_->InsertTab(t);
    }
}

bool GridModel::SetGrid(int rows, int cols) {
    if (!ValidSide(rows) || !ValidSide(cols)) return false;
    ShowPage(currentPage_, false);
    rows_ = rows;
    cols_ = cols;
    FitPages();
    currentPage_ = 0;
    SelectWindow(0, windows_[0]);
    return true;
}

void GridModel::FitPages() {
    const int cells = Cells();
    const int n = std::max(1, (boundCount_ + cells - 1) / cells);
    const size_t need = static_cast<size_t>(cells) * n;
    while (windows_.size() > need) {
        GridSlot* w = windows_.back();
        if (w->channel_item) {
            host_->StopChannel(w);
            --boundCount_;
        }
        ToPool(w);
        windows_.pop_back();
    }
    while (windows_.size() < need) windows_.push_back(TakeFreeWindow());
    while (Pages() > n) {
        host_->RemoveTab(n);
        --tabCount_;
        pageNames_.removeAt(n);
    }
    while (Pages() < n) {
        pageNames_.append(pageName_);
        host_->InsertTab(Pages() - 1);
        ++tabCount_;
    }
    UpdateNewPageTab();
}

GridSlot* GridModel::TakeWindowFor(GridSlot* window) {
    const int index = IndexOf(window);
    if (index < 0) return nullptr;
    if (index >= boundCount_) {
        GridSlot* free = windows_[boundCount_];
        ++boundCount_;
        UpdateNewPageTab();
        return free;
    }
    ++boundCount_;
    if (boundCount_ > static_cast<int>(windows_.size())) AddPage();
    const int limit = Cells() * (PageOf(window) + 1);
    if (boundCount_ > limit) host_->HideSlot(windows_[limit - 1]);
    GridSlot* moved = windows_.back();
    windows_.pop_back();
    windows_.insert(windows_.begin() + index, moved);
    UpdateNewPageTab();
    return moved;
}

GridSlot* GridModel::TakeWindowAt(int x, int y, bool inNewPageTab) {
    const int cells = Cells();
    if (inNewPageTab && HasNewPageTab() && boundCount_ >= cells * (currentPage_ + 1)) {
        AddPage();
        GridSlot* w = windows_[boundCount_];
        ++boundCount_;
        UpdateNewPageTab();
        return w;
    }
    for (int i = 0; i < cells; ++i) {
        GridSlot* w = windows_[currentPage_ * cells + i];
        if (w->docked_rect.Contains(x, y)) return TakeWindowFor(w);
    }
    return nullptr;
}

GridSlot* GridModel::ReleaseWindow(GridSlot* window) {
    const int index = IndexOf(window);
    if (index < 0 || index >= boundCount_) return window;
    host_->HideSlot(window);
    windows_.erase(windows_.begin() + index);
    windows_.push_back(window);
    --boundCount_;
    GridSlot* result = windows_[index];
    if (DropEmptyPages()) result = windows_[currentPage_ * Cells()];
    UpdateNewPageTab();
    return result;
}

bool GridModel::DropEmptyPages() {
    const int cells = Cells();
    bool dropped = false;
    while (static_cast<int>(windows_.size()) >= cells + boundCount_ && Pages() > 1) {
        if (currentPage_ == Pages() - 1) {
            --currentPage_;
            activeWindow_ = windows_[currentPage_ * cells];
        }
        DeletePage(Pages() - 1);
        dropped = true;
    }
    return dropped;
}

void GridModel::SetPageSources(int page, bool on) {
    const int cells = Cells();
    if (page < 0 || (page + 1) * cells > static_cast<int>(windows_.size())) return;
    for (int i = page * cells; i < (page + 1) * cells; ++i) {
        AppChannel* channel = windows_[i]->channel;
        if (!channel) continue;
        if (on) {
            sources_->SourceStart(channel);
        } else if (!sources_->IsRecording(channel)) {
            sources_->SourceStop(channel);
        }
    }
}

void GridModel::ResetGrid() {
    while (boundCount_ > 0) {
        --boundCount_;
        if (windows_[boundCount_]->channel_item) host_->StopChannel(windows_[boundCount_]);
    }
    while (Pages() != 1) DeletePage(0);
    UpdateNewPageTab();
    currentPage_ = 0;
    SelectWindow(0, windows_[0]);
}

void GridModel::CycleTick() {
    for (GridSlot* w : windows_) {
        if (w->channel) sources_->OnTimer(w->channel);
    }
    int next = currentPage_ + 1;
    if (next == Pages()) next = 0;
    if (cycleCountdown_ == 0 || next == currentPage_) return;
    --cycleCountdown_;
    if (cycleCountdown_ <= 0) {
        cycleCountdown_ = cycleDuration_;
        if (cyclePrepare_ != -1) SetPageSources(currentPage_, false);
        ShowWindow(next, windows_[next * Cells()]);
    } else if (cycleCountdown_ <= cyclePrepare_) {
        SetPageSources(next, true);
    }
}

std::vector<GridSlot*> GridModel::TakeAllWindows() {
    for (GridSlot* w : windows_) freePool_.push_back(w);
    windows_.clear();
    std::vector<GridSlot*> order(freePool_.rbegin(), freePool_.rend());
    freePool_.clear();
    activeWindow_ = nullptr;
    return order;
}

void GridModel::OnTabSelected(int index) {
    if (index < 0 || index >= Pages()) {
        host_->SelectTab(currentPage_);
        return;
    }
    SelectWindow(index, windows_[index * Cells()]);
}

QString GridModel::TabLabel(int index) const {
    if (index == Pages()) return newPageName_;
    if (index < 0 || index > Pages()) return {};
    return pageNames_[index] + QStringLiteral(" %1").arg(index + 1);
}

void GridModel::SetCycleSettings(int duration_s, int prepare_s, int stopMode) {
    cycleDuration_ = std::max(0, duration_s);
    cyclePrepare_ = prepare_s;
    cycleStopMode_ = stopMode;
}

void GridModel::StopCycling() {
    cycleDuration_ = 0;
    cycleCountdown_ = 0;
}

void GridModel::StopCyclingOn(CycleStopRules::Click click) {
    if (CycleStopRules::Stops(cycleStopMode_, click)) StopCycling();
}

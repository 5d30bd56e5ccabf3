// SPDX-License-Identifier: GPL-3.0-or-later
// The video grid's bookkeeping: which display window holds which channel, the pages, the free pool, the
// "New Page" tab and the cycle countdown. The bound windows come first (boundCount_ of them), packed:
// no free cell ever stands before a bound one. No widgets: everything the grid does to windows, tabs, the
// tree and the library goes through GridHost and GridSources, so tests drive it alone. Every call is made on
// the user-interface thread.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "app/app_settings.h"
#include "corvel/corvel.h"

class QTreeWidgetItem;

// A rectangle of the grid's client area; right and bottom are exclusive.
struct GridRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const GridRect&) const = default;
};

// What the grid knows of one display window. The display window derives from it.
class GridSlot {
  public:
    virtual ~GridSlot() = default;

    bool floating = false;
    GridRect docked_rect;
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;            // none while unbound, or when creating the channel failed
    QTreeWidgetItem* channel_item = nullptr;  // set while bound: a window is bound exactly when this is set
};

// Windows, tabs and the tree as the bookkeeping drives them.
class GridHost {
  public:
    // A new hidden display window, owned by the host until TakeAllWindows hands it back.
    virtual GridSlot* CreateSlot() = 0;
    // Moves the window to its docked rectangle unless it floats, and shows it.
    virtual void ShowSlot(GridSlot* window) = 0;
    // Docks the window if it floats and hides it.
    virtual void HideSlot(GridSlot* window) = 0;
    // Plays the channel node in the window (the tree's PlayChannel); sets the window's channel item.
    virtual void PlayChannel(QTreeWidgetItem* channel_item, GridSlot* window) = 0;
    // Closes what the window shows (the tree's StopChannel); clears its channel item and channel.
    virtual void StopChannel(GridSlot* window) = 0;
    // Tab strip: a tab was inserted or removed at index, or tab index is to be selected. Labels come from
    // GridModel::TabLabel.
    virtual void InsertTab(int index) = 0;
    virtual void RemoveTab(int index) = 0;
    virtual void SelectTab(int index) = 0;
    // The active window changed or moved: the frame around it is to be drawn again.
    virtual void ActiveFrameChanged() = 0;
    // The main window's SelectDeviceNode.
    virtual void SelectDeviceNode(QTreeWidgetItem* node) = 0;

  protected:
    ~GridHost() = default;
};

// The library calls that switch a page's video on and off and tick the channels.
class GridSources {
  public:
    virtual void SourceStart(AppChannel* channel) = 0;
    virtual void SourceStop(AppChannel* channel) = 0;
    virtual bool IsRecording(AppChannel* channel) = 0;
    virtual void OnTimer(AppChannel* channel) = 0;

  protected:
    ~GridSources() = default;
};

// The library's own calls behind GridSources.
class LibrarySources final : public GridSources {
  public:
    void SourceStart(AppChannel* channel) override { VelqChn_VSourceStart(channel); }
    void SourceStop(AppChannel* channel) override { VelqChn_VSourceStop(channel); }
    bool IsRecording(AppChannel* channel) override { return VelqChn_IsRecording(channel) != 0; }
    void OnTimer(AppChannel* channel) override { VelqChn_OnTimer(channel); }
};

class GridModel {
  public:
    // Rows and columns a grid may have (the settings and page files are bounded by these).
    static constexpr int kMinSide = 1;
    static constexpr int kMaxSide = 8;
    static bool ValidSide(int n) { return n >= kMinSide && n <= kMaxSide; }

    // pageName and newPageName are the translated "Page" and "New Page".
    GridModel(GridHost* host, GridSources* sources, QString pageName, QString newPageName);

    // Start: one empty page of rows x cols (each 1 to 8, else 2), cycling off.
    void Init(int rows, int cols);

    // The grid's display area in its client coordinates; lays out the current page again.
    void SetGridRect(const GridRect& rect);

    void ShowPage(int page, bool show);
    // Makes `page` current and `window` active; the tree, the list and the map then select the window's
    // channel (the operator chose it).
    void SelectWindow(int page, GridSlot* window);
    void ActivateWindow(GridSlot* window);
    int PageOf(const GridSlot* window) const;
    GridSlot* FindWindowOfNode(const QTreeWidgetItem* node) const;
    int AddPage();
    void DeletePage(int page);
    // False (and nothing changes) when rows or cols lie outside 1 to 8.
    bool SetGrid(int rows, int cols);
    GridSlot* TakeWindowFor(GridSlot* window);
    // (x, y) in the grid's client area; inNewPageTab: the point lies on the "New Page" tab.
    GridSlot* TakeWindowAt(int x, int y, bool inNewPageTab);
    GridSlot* ReleaseWindow(GridSlot* window);
    void UpdateNewPageTab();
    void SetPageSources(int page, bool on);
    void ResetGrid();
    void CycleTick();

    // The Play command on a channel node: closes it when a window shows it, otherwise opens it at the
    // active window's place (replacing the channel shown there). Returns the window then selected.
    GridSlot* PlayCommand(QTreeWidgetItem* node);
    // A channel node dropped at (x, y) of the grid area, or on the "New Page" tab. A channel already shown
    // stays where it is. Returns the window that plays it, or none.
    GridSlot* DropChannel(QTreeWidgetItem* node, int x, int y, bool inNewPageTab);

    // Closes the channel a window shows (the close button, Delete) as Play on that channel would: the
    // channels after it move up one place. Returns the window then active, or none when it showed nothing.
    GridSlot* CloseWindow(GridSlot* window);
    // A bound window dropped on another window of the grid: two bound windows change places; on a free
    // one, the dragged window moves to the end of the bound ones (the grid stays packed). False when
    // nothing changed. The dragged window becomes active.
    bool SwapWindows(GridSlot* dragged, GridSlot* target);
    // Keyboard: the active frame moves by whole cells within the current page (stopping at its edges), or
    // to cell `cell` (0-based) of the current page. False when it did not move.
    bool MoveActive(int columns, int rows);
    bool PickCell(int cell);
    // Enter: the node plays in the active window; a node already shown only has its window selected.
    GridSlot* PlayInto(QTreeWidgetItem* node);

    // Load Page: the channel nodes of the file's entries, already resolved against the tree and in file
    // order. Channels already shown keep their windows, the others are played; they all move to the front
    // of the grid, the channels shown before follow them, then the grid becomes rows x cols. False (and
    // nothing changes) when rows or cols lie outside 1 to 8.
    bool PlaceLoadedChannels(const std::vector<QTreeWidgetItem*>& nodes, int rows, int cols);

    // A vehicle's channel nodes, together at the end of the order: channels already shown move there (the
    // channels after them close up), the others are played, pages are added as needed, and the page of
    // the first becomes current with it active. Returns that window, or none for no node.
    GridSlot* OpenAtEnd(const std::vector<QTreeWidgetItem*>& nodes);

    // Main window close: every window, in the order they are to be destroyed (the pool's last first).
    std::vector<GridSlot*> TakeAllWindows();

    // Tab selection by the user: the "New Page" tab re-selects the current page.
    void OnTabSelected(int index);
    QString TabLabel(int index) const;
    bool HasNewPageTab() const { return tabCount_ == Pages() + 1; }

    // Cycling: durations in seconds, `stopMode` CycleStopMode's bits (CycleStopRules). StartCycling arms
    // the countdown with the duration (0: off).
    void SetCycleSettings(int duration_s, int prepare_s, int stopMode);
    void StartCycling() { cycleCountdown_ = cycleDuration_; }
    void StopCycling();
    // A click of the given kind stops the countdown when the mode says so.
    void StopCyclingOn(CycleStopRules::Click click);

    int Rows() const { return rows_; }
    int Cols() const { return cols_; }
    int Cells() const { return rows_ * cols_; }
    int Pages() const { return static_cast<int>(pageNames_.size()); }
    int BoundCount() const { return boundCount_; }
    int CurrentPage() const { return currentPage_; }
    int TabCount() const { return tabCount_; }
    int CycleCountdown() const { return cycleCountdown_; }
    int CycleDuration() const { return cycleDuration_; }
    GridSlot* ActiveWindow() const { return activeWindow_; }
    const GridRect& GridArea() const { return gridRect_; }
    const std::vector<GridSlot*>& Windows() const { return windows_; }
    const std::vector<GridSlot*>& FreePool() const { return freePool_; }
    const QStringList& PageNames() const { return pageNames_; }

  private:
    // SelectWindow for the grid alone: cycling turns pages on its own and leaves the operator's vehicle
    // (tree, list, map and its track) where it is.
    void ShowWindow(int page, GridSlot* window);
    GridSlot* TakeFreeWindow();
    void ToPool(GridSlot* window);
    int IndexOf(const GridSlot* window) const;
    // The pages fitted to boundCount_ (at least one), their tabs and the "New Page" tab with them.
    void FitPages();
    // Deletes the pages left empty at the end (not the first); true when a page went.
    bool DropEmptyPages();

    GridHost* host_;
    GridSources* sources_;
    QString pageName_;
    QString newPageName_;

    std::vector<GridSlot*> windows_;
    int rows_ = 2;
    int cols_ = 2;
    int boundCount_ = 0;
    GridRect gridRect_;
    int currentPage_ = 0;
    GridSlot* activeWindow_ = nullptr;
    QStringList pageNames_;
    std::vector<GridSlot*> freePool_;
    int cycleCountdown_ = 0;

    int tabCount_ = 0;
    int cycleDuration_ = 0;
    int cyclePrepare_ = 0;
    int cycleStopMode_ = 0;
};

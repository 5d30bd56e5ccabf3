// SPDX-License-Identifier: GPL-3.0-or-later
// The video grid as the operator sees it: a strip of page tabs with the four command buttons at its right,
// and below it the display windows of the current page. The bookkeeping is GridModel's; this widget shows
// it, turns clicks and drops into its operations and carries out what it asks of windows and tabs.
#pragma once

#include <QColor>
#include <QWidget>
#include <array>
#include <memory>

#include "app/app_settings.h"
#include "fleet/dev_tree.h"
#include "grid/grid_model.h"

class CDevShowDlg;
class QAbstractButton;
class QMimeData;
class QTabBar;
class QTimer;
class QTreeWidgetItem;
class SettingsStore;

// What the grid needs of the main window and the device tree. UI thread.
class PageTabOwner {
  public:
    // The tree's PlayChannel / StopChannel for a display window.
    virtual void PlayChannel(QTreeWidgetItem* channel_item, CDevShowDlg* window) = 0;
    virtual void StopChannel(CDevShowDlg* window) = 0;
    virtual void SelectDeviceNode(QTreeWidgetItem* node) = 0;
    // The channel context menu for a window's channel item (none for an empty window).
    virtual void ShowChannelMenu(QTreeWidgetItem* node) = 0;
    // A command of a tab-strip button (Map, Talk, Record, Snapshot IDs).
    virtual void RunChannelCommand(int command) = 0;
    virtual void AddLogLine(const QString& message) = 0;
    // Load Page: the channel node of a device (identifier, at most 63 bytes) and channel number, or none.
    virtual QTreeWidgetItem* FindChannelNode(const QByteArray& device_id, int channel) = 0;
    // The device's audio plays (its record's audio channel), for the tile's speaker mark.
    virtual bool AudioPlaying(AppDevice* device) = 0;
    // The channel node a drag names (device record index, channel number), or none.
    virtual QTreeWidgetItem* ChannelNode(int device, int channel) = 0;
    // Talk is open to the device (the vehicle hears the operator), for the tile's microphone mark; with
    // none, to any device (the strip's Talk button).
    virtual bool Talking(AppDevice* device) = 0;
    // The tree's selection (Enter plays it into the active tile), or none.
    virtual QTreeWidgetItem* SelectedNode() = 0;

  protected:
    ~PageTabOwner() = default;
};

struct PageTabLook {
    QString skinFolder;  // ends with "/"
    int tabWidth = 120;  // PageTabWidth
    QColor mainBk{0x20, 0x24, 0x2c};
    QColor childBk{Qt::black};
    QColor text{Qt::white};
    QColor active{Qt::red};
    bool showLabels = true;  // TileLabel: vehicle, channel and clock over each playing tile
    bool keepAspect = true;  // TileStretch 0: pictures keep their aspect, letterboxed
};

class PageTab : public QWidget, private GridHost {
    Q_OBJECT

  public:
    // Period of the repaint clock: half a frame period at 25 frames a second.
    static constexpr int kRepaintPeriod_ms = 20;
    // MIME type of a channel node dragged from the tree (the tree's).
    static constexpr const char* kChannelMime = DevTree::kChannelMime;
    // The drag payload of a channel node, for the tree's drag start.
    static QMimeData* ChannelMime(int device, int channel);
    // MIME type of a tile dragged onto another (its index in the grid's order).
    static constexpr const char* kTileMime = "application/x-tavrin-tile";
    static QMimeData* TileMime(int index);
    // Period of the watch clock: the tiles' clocks and stall notices.
    static constexpr int kWatchPeriod_ms = 250;

    // `settings` (the client's, outliving the grid) gives the look, the grid size's fallbacks and the
    // cycling, and learns when cycling stops.
    // `sources` (which outlives the grid) starts and stops the pages' video; none: the library's calls,
    // made on the UI thread.
    // `store` (outliving the grid) gives the tab width and the first grid size, and names the settings
    // file no page is ever saved into.
    PageTab(PageTabOwner* owner, AppSettings& settings, const SettingsStore& store, QWidget* parent = nullptr,
            GridSources* sources = nullptr);
    ~PageTab() override;

    // Start: buttons with their images, the first page of rows x cols (UIWindowRow, UIWindowCol).
    void Init(int rows, int cols, const PageTabLook& look);
    // The same from the settings (sizes outside 1 to 8 give 2 x 2 and a log line).
    void InitFromSettings();

    // Cycling from the settings in memory (CycleDuration 0: off). What stops it: cycleStop(); StopCycling
    // stops it whatever the mode.
    void StartCycling();
    void StopCycling() { cycle_stop_.Stop(); }
    CycleStopRules& cycleStop() { return cycle_stop_; }
    void ResetGrid() { model_->ResetGrid(); }
    void SetGrid(int rows, int cols) { model_->SetGrid(rows, cols); }
    // Events 192 to 195 for the window that shows `channel`; false when none does.
    bool TransferStatus(int code, AppChannel* channel);
    // Save Page and Load Page. Load: false when the file names no usable grid (a log line says why).
    bool SavePageFile(const QString& path);
    bool LoadPageFile(const QString& path);

    GridModel& Model() { return *model_; }
    const GridModel& Model() const { return *model_; }

    CDevShowDlg* ActiveWindow() const;
    CDevShowDlg* FindWindowOfNode(const QTreeWidgetItem* node) const;
    // The display window that shows this channel handle (events 192 to 195), or none.
    CDevShowDlg* FindWindowOfChannel(const AppChannel* channel) const;
    // Every window of the grid, page after page (the pool not included).
    std::vector<CDevShowDlg*> Windows() const;

    // The one-second tick: channel statistics, cycling, the tiles' recording and audio marks.
    void CycleTick();
    // Marks on the tiles again now (after Record, Audio or Talk), and the Talk button's state.
    void UpdateMarks();
    // The tiles' label and aspect (the look's showLabels and keepAspect), for every window.
    void SetTileLook(bool showLabels, bool keepAspect);
    // Ctrl+C: the active tile's picture on the clipboard. False when it has none.
    bool CopyActivePicture();
    // Main window close: channels must be closed already (ResetGrid).
    void DestroyAllWindows();

    // The tab-strip buttons, in placement order from the right edge: Map, Talk, Record, Snapshot.
    QAbstractButton* Button(int order) const { return buttons_[order]; }
    QTabBar* Tabs() const { return tabs_; }
    // What starts and stops the channels' video sources.
    GridSources& Sources() const { return *sources_; }
    QRect NewPageTabRect() const;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    // Arrow keys, digits 1 to 9, Enter, Delete and Ctrl+C, also as the tiles pass them on.
    void keyPressEvent(QKeyEvent* e) override;

  private:
    GridSlot* CreateSlot() override;
    void ShowSlot(GridSlot* window) override;
    void HideSlot(GridSlot* window) override;
    void PlayChannel(QTreeWidgetItem* channel_item, GridSlot* window) override;
    void StopChannel(GridSlot* window) override;
    void InsertTab(int index) override;
    void RemoveTab(int index) override;
    void SelectTab(int index) override;
    void ActiveFrameChanged() override;
    void SelectDeviceNode(QTreeWidgetItem* node) override { owner_->SelectDeviceNode(node); }

    void LayOut();
    // The focus frame on the active tile while the focus is in the grid (the grid or one of its tiles).
    void ShowFocusFrame();
    void RelabelTabs();
    QTreeWidgetItem* DraggedNode(const QMimeData* mime) const;
    // The grid window a tile drag names, or none.
    CDevShowDlg* DraggedTile(const QMimeData* mime) const;
    void StartTileDrag(CDevShowDlg* window);
    // The tile's close button and Delete: a tile whose channel records asks first, as Logout and Exit do.
    void CloseTile(GridSlot* window);

    PageTabOwner* owner_;
    AppSettings& settings_;
    const SettingsStore& store_;
    LibrarySources library_sources_;
    GridSources* sources_;
    std::unique_ptr<GridModel> model_;
    CycleStopRules cycle_stop_;
    QTabBar* tabs_;
    std::array<QAbstractButton*, 4> buttons_{};
    PageTabLook look_;
    int syncing_tabs_ = 0;  // >0 while the grid itself changes the tab bar
    // The windows' repaint clock: new pictures of all windows are painted together, once per tick.
    QTimer* repaint_clock_;
    QTimer* watch_clock_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The video grid and what drives it, for the main window: the grid widget (PageTab) that plays the
// device tree's channel nodes (TreeGridOwner), its page files (PageKeeper), the channel commands and
// their menu (ChannelActions), the cycle-stop rules and the one-second tick. UI thread only. The window
// owns it; at shutdown the grid widget, and with it every display window, goes first (DestroyGrid),
// before the session; the rest goes with this object.
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "app/cycle_stop.h"
#include "grid/page_tab.h"
#include "grid/shared_channels.h"
#include "grid/stopping_sources.h"
#include "grid/tree_channel.h"

class ChannelActions;
class OwnSettings;
class WallDesk;
class DevTree;
class PageKeeper;
class SessionController;
class SettingsStore;
class QTreeWidgetItem;
class QWidget;

class GridSide {
  public:
    struct WindowSide {
        std::function<void(QTreeWidgetItem*)> select_node;
        std::function<void(QTreeWidgetItem*)> show_channel_menu;
        std::function<void(const QString&)> log;
        // A page file changed the grid's size.
        std::function<void()> grid_changed;
    };
    // `tree`, `settings` and `session` outlive it. The grid is made a child of `parent` under the tree,
    // from the settings (a grid size out of range is logged through `window_side`, which may be called
    // at once).
    // `own` (Tavrin.ini) keeps which screens show a wall; the walls' menu goes on the bar of the
    // main window `parent` is in, when it has one.
    // `store` (outliving it) is handed on to the grids.
    GridSide(DevTree& tree, AppSettings& settings, const SettingsStore& store, SessionController& session,
             QWidget* parent, const QString& program_folder, WindowSide window_side, OwnSettings& own);
    ~GridSide();

    // Null once destroyed.
    PageTab* grid() const { return grid_; }
    PageKeeper& pages() { return *pages_; }
    ChannelActions& actions() { return *actions_; }

    // The one-second tick: the cycle countdown and the workspace file.
    void Tick();
    // A click of that kind stops cycling when CycleStopMode names it.
    void Clicked(CycleStopRules::Click click);
    // How many channels record (0 without a grid).
    int RecordingChannels() const;
    // The walls close, then the grid, and with it every display window, goes.
    void DestroyGrid();
    // The logout: every grid's channels close (the walls' too) before the library releases them.
    void ResetGrids();
    // The walls on the other screens (null once destroyed).
    WallDesk* walls() const { return walls_.get(); }
    // The cameras' channels, one per camera for every grid of the session (the walls on other screens
    // included).
    SharedChannels& channels() { return channels_; }

  private:
    StoppingSources sources_;
    SharedChannels channels_;  // before the owner and the grid, which use it
    TreeGridOwner owner_;
    QPointer<PageTab> grid_;
    std::unique_ptr<PageKeeper> pages_;
    std::unique_ptr<ChannelActions> actions_;
    std::unique_ptr<WallDesk> walls_;
};

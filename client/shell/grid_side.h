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
#include "grid/stopping_sources.h"
#include "grid/tree_channel.h"

class ChannelActions;
class DevTree;
class PageKeeper;
class SessionController;
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
    GridSide(DevTree& tree, AppSettings& settings, SessionController& session, QWidget* parent,
             const QString& program_folder, WindowSide window_side);
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
    void DestroyGrid();

  private:
    TreeGridOwner owner_;
    StoppingSources sources_;  // before the grid, which uses it
    QPointer<PageTab> grid_;
    std::unique_ptr<PageKeeper> pages_;
    std::unique_ptr<ChannelActions> actions_;
};

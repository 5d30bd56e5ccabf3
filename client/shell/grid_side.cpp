// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/grid_side.h"

#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/recording_guard.h"
#include "shell/page_keeper.h"

GridSide::GridSide(DevTree& tree, AppSettings& settings, SessionController& session, QWidget* parent,
                   const QString& program_folder, WindowSide window_side)
    : owner_(tree, settings, session,
             TreeGridOwner::WindowSide{window_side.select_node, window_side.show_channel_menu,
                                       [this](int command) { actions_->Run(command); }, window_side.log}),
      sources_(session.stopper()) {
    grid_ = new PageTab(&owner_, settings, parent, &sources_);
    grid_->stackUnder(&tree);  // the stacking order the children had when the grid came first
    // Right to left the window mirrors, but not what shows the world: the video tiles keep the camera's
    // left and right.
    grid_->setLayoutDirection(Qt::LeftToRight);
    grid_->InitFromSettings();
    pages_ = std::make_unique<PageKeeper>(*grid_, program_folder, window_side.grid_changed, window_side.log);
    actions_ = std::make_unique<ChannelActions>(&tree, grid_, session.eventTarget(), settings,
                                                window_side.log, session.stopper());
    QObject::connect(&tree, &DevTree::channelActivated, grid_, [this] { actions_->Run(kCommandPlay); });
}

GridSide::~GridSide() {
    DestroyGrid();
}

void GridSide::Tick() {
    if (!grid_) return;
    grid_->CycleTick();
    pages_->Tick();
}

void GridSide::Clicked(CycleStopRules::Click click) {
    if (grid_) grid_->cycleStop().Clicked(click);
}

int GridSide::RecordingChannels() const {
    return grid_ ? ::RecordingChannels(grid_->Model()) : 0;
}

void GridSide::DestroyGrid() {
    delete grid_.data();
}

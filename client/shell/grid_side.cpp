// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/grid_side.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/app_profile.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/recording_guard.h"
#include "shell/page_keeper.h"
#include "shell/wall_desk.h"

GridSide::GridSide(DevTree& tree, AppSettings& settings, const SettingsStore& store,
                   SessionController& session, QWidget* parent, const QString& program_folder,
                   WindowSide window_side, OwnSettings& own)
    : sources_(session.stopper()),
      channels_(session.stopper(), sources_,
                [&session](std::shared_ptr<void> anchor) { session.Keep(std::move(anchor)); }),
      owner_(tree, settings, session, channels_,
             TreeGridOwner::WindowSide{window_side.select_node, window_side.show_channel_menu,
                                       [this](int command) { actions_->Run(command); }, window_side.log}) {
    grid_ = new PageTab(&owner_, settings, store, parent, owner_.Sources());
    grid_->stackUnder(&tree);  // the stacking order the children had when the grid came first
    // Right to left the window mirrors, but not what shows the world: the video tiles keep the camera's
    // left and right.
    grid_->setLayoutDirection(Qt::LeftToRight);
    grid_->InitFromSettings();
    pages_ = std::make_unique<PageKeeper>(*grid_, program_folder, window_side.grid_changed, window_side.log);
    // A child of the central area, so that it is found there; it goes with this object, before the area.
    actions_ = std::make_unique<ChannelActions>(&tree, grid_, session.eventTarget(), settings,
                                                window_side.log, session.stopper(), parent);
    QObject::connect(&tree, &DevTree::channelActivated, grid_, [this] { actions_->Run(kCommandPlay); });
    walls_ = std::make_unique<WallDesk>(WallDesk::Parts{tree, settings, store, session, channels_, *grid_,
                                                        own, program_folder, window_side.log});
    if (auto* main = qobject_cast<QMainWindow*>(parent->window()); main && main->menuBar())
        walls_->AddMenu(*main->menuBar());
    actions_->SetMoreEntries([walls = walls_.get()](QMenu& menu) {
        QMenu* screens = menu.addMenu(AppProfile::Translate(QStringLiteral("Screens")));
        walls->FillMenu(*screens);
    });
}

GridSide::~GridSide() {
    DestroyGrid();
}

void GridSide::Tick() {
    if (!grid_) return;
    walls_->Tick();
    grid_->CycleTick();
    pages_->Tick();
}

void GridSide::Clicked(CycleStopRules::Click click) {
    if (grid_) grid_->cycleStop().Clicked(click);
}

int GridSide::RecordingChannels() const {
    if (!grid_) return 0;
    return ::RecordingChannels(grid_->Model(),
                               [this](AppChannel* channel) { return actions_->RecordStopping(channel); });
}

void GridSide::DestroyGrid() {
    // The walls first: a camera they share with the main grid is released by its last tile.
    walls_.reset();
    delete grid_.data();
}

void GridSide::ResetGrids() {
    if (walls_) walls_->LoggedOut();
    if (grid_) grid_->ResetGrid();
}

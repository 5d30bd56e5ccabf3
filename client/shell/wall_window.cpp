// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/wall_window.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "grid/page_tab.h"
#include "grid/workspace_keeper.h"

WallWindow::WallWindow(DevTree& tree, AppSettings& settings, const SettingsStore& store,
                       SessionController& session, SharedChannels& channels, const QString& folder,
                       std::function<void(const QString&)> log)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      tree_(tree),
      owner_(tree, settings, session, channels,
             TreeGridOwner::WindowSide{
                 // The operator's tree, list and map stay with the main window.
                 [](QTreeWidgetItem*) {}, [](QTreeWidgetItem*) {}, [](int) {}, std::move(log)}) {
    setObjectName(QStringLiteral("wall"));
    setWindowTitle(AppProfile::Translate(QStringLiteral("Wall")));
    setAccessibleName(AppProfile::Translate(QStringLiteral("Wall")));
    grid_ = new PageTab(&owner_, settings, store, this, owner_.Sources());
    // Pictures keep the camera's left and right whatever the language's direction.
    grid_->setLayoutDirection(Qt::LeftToRight);
    grid_->InitFromSettings();
    // Nobody stands at a wall to talk, record or take snapshots.
    for (int order = 0; order < 4; ++order) grid_->Button(order)->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
    QDir().mkpath(folder);
    page_file_ = std::make_unique<WorkspaceKeeper>(*grid_, folder);
    if (const std::optional<QSize> size = page_file_->StoredSize())
        grid_->SetGrid(size->height(), size->width());
    if (page_file_->HasFile()) schedule_.Want(page_file_->path());
    connect(&session.events(), &EventDispatch::transferStatus, grid_,
            [grid = grid_](int code, AppChannel* channel) { grid->TransferStatus(code, channel); });
    grid_->StartCycling();
}

WallWindow::~WallWindow() {
    CloseChannels();
    delete grid_;
}

void WallWindow::ShowOn(QScreen* screen) {
    if (!screen) return;
    // A window goes to another X screen only while it is not shown.
    const bool moving = isVisible() && this->screen() != screen;
    if (moving) hide();
    setScreen(screen);
    setGeometry(screen->geometry());
    showFullScreen();
}

void WallWindow::WantPage(const QString& path) {
    if (schedule_.Want(path) || schedule_.DevicesListed(tree_.EntryCount())) LoadPending();
}

QString WallWindow::PageFilePath() const {
    return page_file_->path();
}

bool WallWindow::HasPageFile() const {
    return page_file_->HasFile();
}

void WallWindow::ListBegins(int devices) {
    if (schedule_.ListBegins(devices)) LoadPending();
}

void WallWindow::Tick() {
    grid_->CycleTick();
    if (schedule_.DevicesListed(tree_.EntryCount()) || schedule_.Tick()) LoadPending();
    // The page file follows the grid only while listed and nothing waits: a logout empties the grid
    // without anyone asking for it.
    if (schedule_.savesAllowed()) page_file_->SaveIfChanged();
}

void WallWindow::LoggedOut() {
    CloseChannels();
    schedule_.LoggedOut();
    if (!schedule_.waiting() && page_file_->HasFile()) schedule_.Want(page_file_->path());
}

void WallWindow::CloseChannels() {
    grid_->ResetGrid();
}

void WallWindow::LoadPending() {
    const QString path = schedule_.Take();
    // A page file of the command line is the wall's from now on; its own file is written at the next
    // tick. Its own file loaded back is no change.
    const bool own = QFileInfo(path) == QFileInfo(page_file_->path());
    if (!path.isEmpty()) grid_->LoadPageFile(path);
    if (own) page_file_->MarkSaved();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/page_keeper.h"

#include <QFileDialog>

#include "app/app_profile.h"
#include "grid/workspace_keeper.h"

namespace {

QString PageFileDialog(QWidget* parent, const QString& folder, bool save) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("ini"));
    dialog.setNameFilter(QStringLiteral("Config File(*.ini)"));
    dialog.setDirectory(folder);
    dialog.selectFile(folder + QStringLiteral("PageConfig.ini"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

PageKeeper::PageKeeper(PageTab& grid, const QString& program_folder, std::function<void()> grid_changed,
                       std::function<void(const QString&)> log)
    : grid_(&grid),
      program_folder_(program_folder),
      grid_changed_(std::move(grid_changed)),
      log_(std::move(log)),
      workspace_(std::make_unique<WorkspaceKeeper>(grid, program_folder)) {
    if (const std::optional<QSize> size = workspace_->StoredSize())
        grid.SetGrid(size->height(), size->width());
    RestoreWorkspace();
}

PageKeeper::~PageKeeper() = default;

void PageKeeper::LoadWhenListed(const QString& path) {
    if (schedule_.Want(path)) LoadPending();
}

void PageKeeper::ListBegins(int devices) {
    if (schedule_.ListBegins(devices)) LoadPending();
}

void PageKeeper::DevicesListed(int devices) {
    if (schedule_.DevicesListed(devices)) LoadPending();
}

void PageKeeper::Tick() {
    if (!grid_) return;
    // The workspace follows the operator's grid only while a session is listed and nothing waits to be
    // restored: a logout or a list still arriving is no change of theirs.
    if (schedule_.savesAllowed()) workspace_->SaveIfChanged();
    if (schedule_.Tick()) LoadPending();
}

void PageKeeper::LoggedOut() {
    schedule_.LoggedOut();
    RestoreWorkspace();
}

void PageKeeper::LoadPending() {
    const QString path = schedule_.Take();
    if (!grid_) return;
    grid_->LoadPageFile(path);
    grid_changed_();
    // What was just restored is no change of the operator's: the workspace file stays as it is (a --page
    // file or channels the center did not list this time do not replace it) until they change the grid.
    workspace_->MarkSaved();
}

void PageKeeper::RestoreWorkspace() {
    if (!schedule_.waiting() && workspace_->HasFile()) schedule_.Want(workspace_->path());
}

void PageKeeper::LoadPage(QWidget* parent) {
    const QString path = PageFileDialog(parent, program_folder_, false);
    if (!grid_) return;  // the window closed while the dialog was open
    if (!path.isEmpty()) grid_->LoadPageFile(path);
    grid_changed_();
}

void PageKeeper::SavePage(QWidget* parent) {
    const QString path = PageFileDialog(parent, program_folder_, true);
    if (!grid_) return;
    if (!path.isEmpty() && !grid_->SavePageFile(path))
        log_(AppProfile::Translate(QStringLiteral("Save Page failed")) + QStringLiteral(": ") + path);
}

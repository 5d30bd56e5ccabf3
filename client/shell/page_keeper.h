// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grid's page files for the main window: User -> Load Page / Save Page, the --page file and the
// workspace file loaded once the first device list is in (PageSchedule decides when), and the workspace
// file following the operator's grid on the one-second tick. UI thread only.
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "grid/page_tab.h"
#include "shell/page_schedule.h"

class WorkspaceKeeper;
class QWidget;

class PageKeeper {
  public:
    // `grid` may be destroyed first (the keeper then does nothing); `grid_changed` runs after a page
    // file changed the grid's size, `log` takes the event line of a failure.
    PageKeeper(PageTab& grid, const QString& program_folder, std::function<void()> grid_changed,
               std::function<void(const QString&)> log);
    ~PageKeeper();

    // The --page command line.
    void LoadWhenListed(const QString& path);
    // Event 128, a device added to the tree (which now holds `devices`), the one-second tick, a logout.
    void ListBegins(int devices);
    void DevicesListed(int devices);
    void Tick();
    void LoggedOut();
    // The menu's entries: a file dialog over `parent`, then the grid loads or saves the chosen file.
    void LoadPage(QWidget* parent);
    void SavePage(QWidget* parent);

    WorkspaceKeeper* workspace() const { return workspace_.get(); }

  private:
    void LoadPending();
    // The workspace file, when there is one and no page waits already, is loaded once the list is in.
    void RestoreWorkspace();

    QPointer<PageTab> grid_;
    QString program_folder_;
    std::function<void()> grid_changed_;
    std::function<void(const QString&)> log_;
    std::unique_ptr<WorkspaceKeeper> workspace_;
    PageSchedule schedule_;
};

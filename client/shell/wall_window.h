// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A wall: a borderless grid filling a screen beside the main window, with pages, cycling and tile labels
// of its own, fed by the main window's session. It plays the tree's channel nodes like the main grid but
// through the session's shared channels, so a camera the main window (or another wall) shows is not
// streamed a second time. Its grid follows a page file of its own (Workspace.ini in its folder), loaded
// once the device list is in and written when the grid changes. Nobody works at a wall: the grid's
// buttons are hidden and its channel menu is empty. UI thread only.
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "grid/tree_channel.h"
#include "shell/page_schedule.h"

class PageTab;
class QScreen;
class SettingsStore;
class WorkspaceKeeper;

class WallWindow : public QWidget {
    Q_OBJECT

  public:
    // Everything given outlives the window. `folder` (ending with '/') holds the wall's own page file; it
    // is made on the first write. `log` takes the lines a page file gives (read errors).
    WallWindow(DevTree& tree, AppSettings& settings, const SettingsStore& store, SessionController& session,
               SharedChannels& channels, const QString& folder, std::function<void(const QString&)> log);
    // Leaves the shared channels first, so that a camera also shown elsewhere keeps playing there.
    ~WallWindow() override;

    // Borderless and full screen on `screen`.
    void ShowOn(QScreen* screen);
    // `path` (a page file) is played once the devices are listed (at once when they are).
    void WantPage(const QString& path);
    // The wall's own page file, what it played last.
    QString PageFilePath() const;
    bool HasPageFile() const;

    // The session's events as the main window sees them: event 128, the one-second tick (cycling, the
    // page file following the grid, a page waiting for devices), the logout (channels closed before the
    // library releases them; the page comes back after the next login).
    void ListBegins(int devices);
    void Tick();
    void LoggedOut();
    // Channels closed at once (the logout, or the wall going away).
    void CloseChannels();

    PageTab* grid() const { return grid_; }

  private:
    void LoadPending();

    DevTree& tree_;
    TreeGridOwner owner_;
    PageTab* grid_;
    std::unique_ptr<WorkspaceKeeper> page_file_;
    PageSchedule schedule_;
};

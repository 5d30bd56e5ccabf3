// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tree, the map view and the login dialog ask of the window around them, each a small object the
// main window makes from the calls it hands in. The calls are read when the child asks, not when the host
// is made: the window makes the selection, the left column and the grid after the children that ask for
// them. UI thread only; the window outlives its hosts' users.
#include <QSize>
#include <QString>
#include <functional>

#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "map/map_view_host.h"

class SessionController;
class QWidget;

// The tree's clicks, menus and log lines.
class WindowTreeHost final : public DevTreeHost {
  public:
    struct Calls {
        std::function<void(const QString* time, const QString& message)> add_log_line;
        std::function<void(QTreeWidgetItem* node)> select_node;
        std::function<void(QTreeWidgetItem* node)> show_channel_menu;
        // A click in the tree, for the cycling rules.
        std::function<void()> clicked;
    };
    explicit WindowTreeHost(Calls calls) : calls_(std::move(calls)) {}

    void AddLogLine(const QString* time, const QString& message) override {
        calls_.add_log_line(time, message);
    }
    void SelectDeviceNode(QTreeWidgetItem* node) override { calls_.select_node(node); }
    void ShowChannelMenu(QTreeWidgetItem* node) override { calls_.show_channel_menu(node); }
    void TreeClicked() override { calls_.clicked(); }

  private:
    Calls calls_;
};

// Where the map view docks and what it reads of the vehicle list, the left column and the grid.
class WindowMapHost final : public MapViewHost {
  public:
    struct Calls {
        // Empty for a row that does not exist (or before the vehicle list is there).
        std::function<QString(int row)> vehicle_id_at_row;
        std::function<bool()> shows_playback_panel;
        std::function<QSize()> grid_area_size;
    };
    // `dock_parent` (the central area) outlives the host.
    WindowMapHost(QWidget& dock_parent, Calls calls) : dock_parent_(dock_parent), calls_(std::move(calls)) {}

    QWidget* MapDockParent() override { return &dock_parent_; }
    QString VehicleIdAtRow(int row) const override { return calls_.vehicle_id_at_row(row); }
    bool ShowsPlaybackPanel() const override { return calls_.shows_playback_panel(); }
    QSize GridAreaSize() const override { return calls_.grid_area_size(); }

  private:
    QWidget& dock_parent_;
    Calls calls_;
};

// The login dialog's session: the window's session controller, the window's logout cleanup and question.
class WindowLoginHost final : public LoginHost {
  public:
    struct Calls {
        // Logs out and clears what the session showed.
        std::function<void()> logout_cleanup;
        std::function<void(const QString& message)> add_log_line;
        // True: the logout may go ahead.
        std::function<bool()> confirm_logout;
    };
    // `session` outlives the host.
    WindowLoginHost(SessionController& session, Calls calls) : session_(session), calls_(std::move(calls)) {}

    AppSession* session() const override;
    void LogoutCleanup() override { calls_.logout_cleanup(); }
    void AddLogLine(const QString& message) override { calls_.add_log_line(message); }
    bool ConfirmLogout() override { return calls_.confirm_logout(); }
    bool SessionActive() const override;
    void AfterLogout(std::function<void()> login) override;

  private:
    SessionController& session_;
    Calls calls_;
};

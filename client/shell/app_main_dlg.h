// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's main window. It makes its children once, lays them out with MainLayout and wires them:
// the session controller's events reach the tree, the vehicle list and the map through FleetPresenter,
// the menu bar's commands the dialogs and the grid. It switches the left panel and runs the client's
// one-second timer. Closing it logs out and destroys the display windows; the session goes after them.
// UI thread only.
#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/app_settings.h"
#include "corvel/corvel.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "grid/page_tab.h"
#include "map/map_view_host.h"
#include "shell/left_panels.h"
#include "shell/main_layout.h"
#include "shell/main_menu_bar.h"
#include "shell/page_keeper.h"

class AlarmDesk;
class TreeAlarmVehicles;
class ChannelActions;
class WorkspaceKeeper;
class CCycleDlg;
class CDevConfigDlg;
class CDevInfoDlg;
class COptionDlg;
class CRecordDlg;
class CSnapshotDlg;
class CMapDlg;
class CSearchDlg;
class DeviceStatusList;
class FleetFinder;
class FleetPresenter;
class LogList;
class MainDialogs;
class PanelSelector;
class SessionController;
class TreeGridOwner;
class StatusLine;
class QAction;

class CAppMainDlg : public QMainWindow, public DevTreeHost, public MapViewHost, public LoginHost {
    Q_OBJECT
  public:
    // Panels of the left column; the alarm list is ours, beside the three of the layout.
    enum Panel {
        kDeviceList = LeftPanels::kDeviceList,
        kLogInfo = LeftPanels::kLogInfo,
        kPlayback = LeftPanels::kPlayback,
        kAlarmList = LeftPanels::kAlarmList,
        kPanels = LeftPanels::kPanels
    };
    // The menu's commands (MainMenuBar's), as the window's own names.
    static constexpr int kCmdAddDevice = MainMenuBar::kCmdAddDevice;
    static constexpr int kCmdGrid1 = MainMenuBar::kCmdGrid1;
    static constexpr int kCmdGrid4 = MainMenuBar::kCmdGrid4;
    static constexpr int kCmdBufferSetting = MainMenuBar::kCmdBufferSetting;
    static constexpr int kCmdRecordSetting = MainMenuBar::kCmdRecordSetting;
    static constexpr int kCmdSnapshotSetting = MainMenuBar::kCmdSnapshotSetting;
    static constexpr int kCmdCyclePage = MainMenuBar::kCmdCyclePage;
    static constexpr int kCmdLogin = MainMenuBar::kCmdLogin;
    static constexpr int kCmdLoadPage = MainMenuBar::kCmdLoadPage;
    static constexpr int kCmdSavePage = MainMenuBar::kCmdSavePage;
    static constexpr int kCmdRecordings = MainMenuBar::kCmdRecordings;

    // The window reads and writes `settings` and shows `session`; both outlive it.
    CAppMainDlg(AppSettings& settings, SessionController& session, QWidget* parent = nullptr);
    // The same with a session of the window's own, destroyed after the display windows.
    explicit CAppMainDlg(AppSettings& settings, QWidget* parent = nullptr);
    ~CAppMainDlg() override;

    // Null when the session could not be made, and after close.
    AppSession* session() const override { return session_; }
    SessionController& sessionController() const { return session_ctl_; }

    // The event line: status line := message; log := "[time] message" (time: now when null).
    void AddLogLine(const QString* time, const QString& message) override;
    void AddLogLine(const QString& message) override { AddLogLine(nullptr, message); }
    void SelectDeviceNode(QTreeWidgetItem* node) override;
    void ShowChannelMenu(QTreeWidgetItem* node) override;
    void LogoutCleanup() override;
    void ShowPanel(int index);
    // Event 128: the window's caption counts the online devices.
    void ShowOnlineCount(int count);
    // Presses the login dialog's Login button (the --login command line).
    void PressLogin();
    // The "Click Anywhere"/"Click Device List" rules: cycling stops (CycleDuration := 0 in memory).
    void StopCycling();
    // The --page command line: the page file is loaded once the first device list has arrived.
    void LoadPageWhenListed(const QString& path);
    // F11 and --fullscreen.
    void ToggleFullScreen() { setWindowState(windowState() ^ Qt::WindowFullScreen); }
    // What User -> Recordings... does (the composition root opens the recordings window); unset, the
    // entry is disabled.
    void SetRecordingsCommand(std::function<void()> open_recordings);
    // Logout and Exit while channels record ask first (true: go on); a wall screen (--fullscreen) never
    // asks.
    bool ConfirmLosingRecordings();
    bool ConfirmLogout() override { return ConfirmLosingRecordings(); }
    void SetAskBeforeLosingRecordings(bool ask) { ask_before_losing_recordings_ = ask; }
    WorkspaceKeeper* workspace() const { return pages_ ? pages_->workspace() : nullptr; }
    ChannelActions& channelActions() { return *actions_; }
    // The "Map" command (32772): the map view floats, or docks again when it floats.
    void ToggleMapView();

    int currentPanel() const { return left_ ? left_->current() : kDeviceList; }
    const MainLayout& layout() const { return layout_; }
    QAction* commandAction(int command) const { return menu_ ? menu_->commandAction(command) : nullptr; }

    // Children, for the windows of later features and for tests.
    DevTree* tree() const { return tree_; }
    FleetPresenter* fleet() const { return fleet_; }
    LogList* log() const { return log_; }
    DeviceStatusList* vehicleList() const { return vehicle_list_; }
    FleetFinder* finder() const { return finder_; }
    StatusLine* statusLine() const { return status_line_; }
    PageTab* grid() const { return grid_; }
    CMapDlg* mapView() const { return map_view_; }
    CSearchDlg* searchPanel() const { return search_; }
    CAppLoginDlg* loginDialog() const { return login_; }
    CDevConfigDlg* devConfigDialog() const;
    CDevInfoDlg* devInfoDialog() const;
    CCycleDlg* cycleDialog() const;
    COptionDlg* optionDialog() const;
    CRecordDlg* recordDialog() const;
    CSnapshotDlg* snapshotDialog() const;
    PanelSelector* selector(int index) const { return left_->selector(index); }
    QWidget* panel(int index) const { return left_->panel(index); }
    AlarmDesk* alarms() const { return alarms_.get(); }
    // An alarm's or a double-clicked vehicle's way to video: the vehicle of tree row `row` is selected
    // (tree, list, map) and its channels open on a page of their own (GridModel::OpenOnOwnPage).
    void OpenVehicleVideo(int row);
    // The "show offline vehicles" switch: stores ShowAllDevice; on, the offline vehicles are asked for
    // now (and at every login); off, they are hidden from the tree, the list and the map.
    void SetShowOffline(bool show);
    // The rectangles the grid and the map view take in the central area.
    QRect gridSlot() const { return grid_slot_; }
    QRect mapSlot() const { return map_slot_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // `shared` when given, else `own`.
    CAppMainDlg(AppSettings& settings, std::unique_ptr<SessionController> own, SessionController* shared,
                QWidget* parent);

    // DevTreeHost.
    void TreeClicked() override;
    // MapViewHost.
    QWidget* MapDockParent() override { return central_; }
    QString VehicleIdAtRow(int row) const override;
    bool ShowsPlaybackPanel() const override { return currentPanel() == kPlayback; }
    QSize GridAreaSize() const override { return grid_ ? grid_->size() : QSize(); }

    void CreateChildren();
    // The session's signals to the children, through the fleet presenter.
    void ConnectSession();
    void ConnectMenu();
    // Wires the alarm desk to the panel, the selector, the highlights and the log.
    void ConnectAlarms();
    void RunMenuCommand(int command);
    // The Style menu's check follows the grid's size.
    void CheckGridSize();
    void Relayout(int width, int height);
    void Shutdown();

    AppSettings& settings_;
    std::unique_ptr<SessionController> own_session_;  // only when the window made its own
    SessionController& session_ctl_;
    AppSession* session_ = nullptr;
    MainLayout layout_;
    QWidget* central_ = nullptr;
    MainMenuBar* menu_ = nullptr;
    std::unique_ptr<TreeGridOwner> grid_owner_;  // declared before the grid it serves
    PageTab* grid_ = nullptr;
    DevTree* tree_ = nullptr;
    FleetPresenter* fleet_ = nullptr;
    LogList* log_ = nullptr;
    CSearchDlg* search_ = nullptr;
    DeviceStatusList* vehicle_list_ = nullptr;
    FleetFinder* finder_ = nullptr;
    CMapDlg* map_view_ = nullptr;
    CAppLoginDlg* login_ = nullptr;
    std::unique_ptr<MainDialogs> dialogs_;
    StatusLine* status_line_ = nullptr;
    LeftPanels* left_ = nullptr;
    std::unique_ptr<TreeAlarmVehicles> alarm_vehicles_;  // before alarms_, which reads it
    std::unique_ptr<AlarmDesk> alarms_;
    QRect grid_slot_;
    QRect map_slot_;
    int timer_id_ = 0;
    bool shut_down_ = false;
    bool shown_once_ = false;
    std::unique_ptr<ChannelActions> actions_;
    bool ask_before_losing_recordings_ = true;
    std::function<void()> open_recordings_;
    std::unique_ptr<PageKeeper> pages_;
};

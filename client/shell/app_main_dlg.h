// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's main window. It makes its children once, lays them out (CentralPlaces, from MainLayout)
// and wires them: the session controller's events reach the tree, the vehicle list and the map through
// FleetPresenter (ConnectSession), the menu bar's entries their commands (MenuCommands), and the views
// share one selected vehicle (VehicleSelection). It switches the left panel and runs the client's
// one-second timer. Closing it logs out and destroys the display windows; the session goes after them.
// UI thread only.
#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/app_settings.h"
#include "corvel/corvel.h"
#include "grid/page_tab.h"
#include "shell/central_places.h"
#include "shell/grid_side.h"
#include "shell/left_panels.h"
#include "shell/main_layout.h"
#include "shell/main_menu_bar.h"
#include "shell/page_keeper.h"
#include "shell/vehicle_selection.h"

class AlarmDesk;
class GeofenceKeeper;
class TreeAlarmVehicles;
class ChannelActions;
class WorkspaceKeeper;
class CMapDlg;
class CSearchDlg;
class DeviceStatusList;
class FleetFinder;
class FleetPresenter;
class PositionHistory;
class LogList;
class MainDialogs;
class MenuCommands;
class OwnSettings;
class EvidenceWiring;
class PanelSelector;
class PanelSplitter;
class SessionController;
class SettingsStore;
class StatusLine;
class QAction;

class CAppLoginDlg;
class DevTree;
class WindowLoginHost;
class WindowMapHost;
class WindowTreeHost;
class QTreeWidgetItem;

class CAppMainDlg : public QMainWindow {
    Q_OBJECT
  public:
    // Panels of the left column.
    enum Panel {
        kDeviceList = LeftPanels::kDeviceList,
        kLogInfo = LeftPanels::kLogInfo,
        kPlayback = LeftPanels::kPlayback,
        kAlarmList = LeftPanels::kAlarmList,
        kPanels = LeftPanels::kPanels
    };

    // The window reads and writes `settings`, the settings `store` (Config.ini) its dialogs read and save
    // through and `own` (Tavrin.ini), and shows `session`; all outlive it.
    CAppMainDlg(AppSettings& settings, SettingsStore& store, SessionController& session, OwnSettings& own,
                QWidget* parent = nullptr);
    ~CAppMainDlg() override;

    // The event line: status line := message; log := "[time] message" (time: now when null).
    void AddLogLine(const QString* time, const QString& message);
    void AddLogLine(const QString& message) { AddLogLine(nullptr, message); }
    void SelectDeviceNode(QTreeWidgetItem* node) {
        if (selection_) selection_->Select(node);
    }
    void ShowChannelMenu(QTreeWidgetItem* node);
    // Logs out and clears what the session showed (the login dialog's Logout, and closing).
    void LogoutCleanup();
    void ShowPanel(int index);
    // Event 128: the window's caption counts the online devices.
    void ShowOnlineCount(int count);
    // Presses the login dialog's Login button (the --login command line).
    void PressLogin();
    // The --page command line: the page file is loaded once the first device list has arrived.
    void LoadPageWhenListed(const QString& path) {
        if (grid_side_) grid_side_->pages().LoadWhenListed(path);
    }
    // --wall N:FILE: FILE plays on a wall on screen N (from 1) once the devices are listed. False when
    // there is no screen N.
    bool ShowWallPage(int screen, const QString& path);
    // F11 and --fullscreen.
    void ToggleFullScreen() { setWindowState(windowState() ^ Qt::WindowFullScreen); }
    // What User -> Recordings... does (the composition root opens the recordings window); unset, the
    // entry is disabled.
    void SetRecordingsCommand(std::function<void()> open_recordings);
    // Logout and Exit while channels record ask first (true: go on); a wall screen (--fullscreen) never
    // asks.
    bool ConfirmLosingRecordings();
    void SetAskBeforeLosingRecordings(bool ask) { ask_before_losing_recordings_ = ask; }
    // The "Map" command (32772): the map view floats, or docks again when it floats.
    void ToggleMapView();

    // The composition root sets up the alarm history dialog through it.
    AlarmDesk* alarms() const { return alarms_.get(); }
    // The position history, made with the window and living as long as it; the composition root hands
    // it to the evidence export and the route replay.
    PositionHistory* positions() const { return positions_.get(); }
    // Where the dragged width of the left column is kept, in the program folder.
    static constexpr const char* kOwnSettingsFile = "Tavrin.ini";
    static constexpr const char* kPanelWidthKey = "MainWindow/LeftPanelWidth";

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    int currentPanel() const { return left_ ? left_->current() : kDeviceList; }
    // Null once the window has shut down.
    PageTab* grid() const { return grid_side_ ? grid_side_->grid() : nullptr; }
    ChannelActions& channelActions() { return grid_side_->actions(); }
    // What the tree, the map view and the login dialog ask of the window.
    void MakeHosts();
    void CreateChildren();
    // The units that wire the children to each other, the session and the menu.
    void ConnectChildren();
    void ClickStopsCycling(CycleStopRules::Click click) {
        if (grid_side_) grid_side_->Clicked(click);
    }
    void Shutdown();
    // Every child in its place for the central area's size, the column handle in the gap beside the column.
    void PlaceCentral();
    // The column width the operator dragged to last time (Tavrin.ini), or the setting's.
    int RememberedPanelWidth() const;
    void DragPanel(int delta_px);
    void RememberPanelWidth() const;

    AppSettings& settings_;
    SettingsStore& store_;
    SessionController& session_ctl_;
    OwnSettings& own_settings_;
    AppSession* session_ = nullptr;
    std::unique_ptr<WindowTreeHost> tree_host_;
    std::unique_ptr<WindowMapHost> map_host_;
    std::unique_ptr<WindowLoginHost> login_host_;
    MainLayout layout_;
    QWidget* central_ = nullptr;
    MainMenuBar* menu_ = nullptr;
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
    std::unique_ptr<GeofenceKeeper> geofences_;
    std::unique_ptr<PositionHistory> positions_;
    std::unique_ptr<CentralPlaces> places_;  // gone at shutdown, with the children it places
    PanelSplitter* splitter_ = nullptr;
    int drag_start_width_ = 0;
    VehicleSelection* selection_ = nullptr;
    EvidenceWiring* evidence_ = nullptr;
    MenuCommands* commands_ = nullptr;
    int timer_id_ = 0;
    bool shut_down_ = false;
    bool shown_once_ = false;
    bool ask_before_losing_recordings_ = true;
    std::unique_ptr<GridSide> grid_side_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's main window and the owner of the one library session. It creates its children once, lays
// them out with MainLayout, receives the library's events (LibraryEventWindow -> LibraryEvent) and hands
// each to the child that deals with it through EventDispatch, keeps the vehicle list, switches the left
// panel, and runs the client's one-second timer. Closing it logs out, destroys the display windows and
// then the session. UI thread only.
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/app_settings.h"
#include "app/event_dispatch.h"
#include "app/library_event.h"
#include "corvel/corvel.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/center_link.h"
#include "fleet/dev_tree.h"
#include "grid/page_tab.h"
#include "map/map_view_host.h"
#include "shell/main_layout.h"

class AlarmDesk;
class TreeAlarmVehicles;
class ChannelActions;
class WorkspaceKeeper;

class CAppLoginDlg;
class CCycleDlg;
class CDevConfigDlg;
class CDevInfoDlg;
class COptionDlg;
class CRecordDlg;
class CSnapshotDlg;
class CMapDlg;
class CSearchDlg;
class DeviceStatusList;
class LogList;
class PanelSelector;
class StatusLine;
class QAction;

class CAppMainDlg : public QMainWindow,
                    public EventTarget,
                    public DevTreeHost,
                    public PageTabOwner,
                    public MapViewHost,
                    public LoginHost {
    Q_OBJECT
  public:
    // Panels of the left column.
    // Panels of the left column; the alarm list is ours, beside the three of the layout.
    enum Panel { kDeviceList = 0, kLogInfo = 1, kPlayback = 2, kAlarmList = 3, kPanels };
    // Menu command identifiers, carried as the actions' data.
    enum Command {
        kCmdAddDevice = 32783,
        kCmdGrid1 = 32784,
        kCmdGrid4 = 32787,
        kCmdBufferSetting = 32801,
        kCmdRecordSetting = 32802,
        kCmdSnapshotSetting = 32803,
        kCmdCyclePage = 32804,
        kCmdLogin = 32805,
        kCmdLoadPage = 32806,
        kCmdSavePage = 32807,
        kCmdRecordings = 32900,  // User -> Recordings..., beyond the commands of the original menus
    };

    // The window reads and writes `settings`, which outlives it, and hands it to the dialogs it makes.
    explicit CAppMainDlg(AppSettings& settings, QWidget* parent = nullptr);
    // The same with the running application's settings (CAppClient::Settings()).
    explicit CAppMainDlg(QWidget* parent = nullptr);
    ~CAppMainDlg() override;

    // Null when the session could not be made, and after close.
    AppSession* session() const override { return session_; }

    // The event line: status line := message; log := "[time] message" (time: now when null).
    void AddLogLine(const QString* time, const QString& message) override;
    void AddLogLine(const QString& message) override { AddLogLine(nullptr, message); }
    void SelectDeviceNode(QTreeWidgetItem* node) override;
    void UpdateStatusRow(const DevTreeEntry& record, int online) override;
    void ShowChannelMenu(QTreeWidgetItem* node) override;
    void LogoutCleanup() override;
    void ShowPanel(int index);
    void ShowOnlineCount(int count) override;
    // Presses the login dialog's Login button (the --login command line).
    void PressLogin();
    // The "Click Anywhere"/"Click Device List" rules: cycling stops (CycleDuration := 0 in memory).
    void StopCycling();
    // The Config command (32775) for a tree node: a channel node opens the device configuration dialog for
    // its channel, a device node the device dialog for its device; no node does nothing.
    void ConfigCommand(QTreeWidgetItem* node);
    // The --page command line: the page file is loaded once the first device list has arrived.
    void LoadPageWhenListed(const QString& path);
    // F11 and --fullscreen.
    void ToggleFullScreen();
    // What User -> Recordings... does (the composition root opens the recordings window); unset, the
    // entry is disabled.
    void SetRecordingsCommand(std::function<void()> open_recordings);
    // Logout and Exit while channels record ask first (true: go on); a wall screen (--fullscreen) never
    // asks.
    bool ConfirmLosingRecordings();
    bool ConfirmLogout() override { return ConfirmLosingRecordings(); }
    void SetAskBeforeLosingRecordings(bool ask) { ask_before_losing_recordings_ = ask; }
    WorkspaceKeeper* workspace() const { return workspace_.get(); }
    ChannelActions& channelActions() { return *actions_; }
    // The "Map" command (32772): the map view floats, or docks again when it floats.
    void ToggleMapView();

    // The vehicle list's speed cell: the speed when the position is valid, else why there is none.
    static QString SpeedCell(bool valid, double speed_kmh, const QByteArray& sentence);

    int currentPanel() const { return current_panel_; }
    const MainLayout& layout() const { return layout_; }
    QAction* commandAction(int command) const;

    // Children, for the windows of later features and for tests.
    DevTree* tree() const { return tree_; }
    LogList* log() const { return log_; }
    DeviceStatusList* vehicleList() const { return vehicle_list_; }
    StatusLine* statusLine() const { return status_line_; }
    PageTab* grid() const { return grid_; }
    CMapDlg* mapView() const { return map_view_; }
    CSearchDlg* searchPanel() const { return search_; }
    CAppLoginDlg* loginDialog() const { return login_; }
    CDevConfigDlg* devConfigDialog() const { return dev_config_; }
    CDevInfoDlg* devInfoDialog() const { return dev_info_; }
    CCycleDlg* cycleDialog() const { return cycle_; }
    COptionDlg* optionDialog() const { return option_; }
    CRecordDlg* recordDialog() const { return record_; }
    CSnapshotDlg* snapshotDialog() const { return snapshot_; }
    PanelSelector* selector(int index) const { return selectors_[index]; }
    QWidget* panel(int index) const { return panels_[index]; }
    AlarmDesk* alarms() const { return alarms_.get(); }
    // An alarm's or a double-clicked vehicle's way to video: the vehicle of tree row `row` is selected
    // (tree, list, map) and its channels open on a page of their own (GridModel::OpenOnOwnPage).
    void OpenVehicleVideo(int row);
    // The rectangles the grid and the map view take in the central area.
    QRect gridSlot() const { return grid_slot_; }
    QRect mapSlot() const { return map_slot_; }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QAction* recordings_action_ = nullptr;
    std::function<void()> open_recordings_;

    // EventTarget: the library's side.
    bool IsActive() override;
    void ReleaseOperation(AppOperation* operation) override;
    void ReleaseDevice(AppDevice* device) override;
    int OperationKind(AppOperation* operation) override;
    AppDevice* OperationDevice(AppOperation* operation) override;
    void ShowConnectionState(int code, intptr_t value) override;
    void ShowConfigStatus(const QString& text) override;
    void AddDevice(AppDevice* device, int online_allowed) override;
    void SetDeviceState(int online, AppDevice* device) override { tree_->SetDeviceState(online, device); }
    void ReportAlarm(AppDevice* device, int code) override;
    void SearchListBegin(int count) override;
    void SearchVehicle(AppDevice* device) override;
    bool TransferStatus(int code, AppChannel* channel) override;
    void PositionResult(AppOperation* operation, AppDevice* device) override;
    void ConfigResult(int kind, AppOperation* operation, AppDevice* device) override;
    // DevTreeHost.
    void TreeClicked() override;
    // PageTabOwner.
    void PlayChannel(QTreeWidgetItem* channelItem, CDevShowDlg* window) override;
    void StopChannel(CDevShowDlg* window) override;
    void RunChannelCommand(int command) override;
    QTreeWidgetItem* FindChannelNode(const QByteArray& device_id, int channel) override;
    bool AudioPlaying(AppDevice* device) override;
    bool Talking(AppDevice* device) override;
    QTreeWidgetItem* SelectedNode() override;
    QTreeWidgetItem* ChannelNode(int device, int channel) override {
        return tree_->ChannelNode(device, channel);
    }
    void LoadPendingPage();
    // The workspace file, when there is one and no page waits already, is loaded once the list is in.
    void RestoreWorkspaceAtLogin();
    // The Style menu's check follows the grid's size (none for a size it does not list).
    void CheckGridSize();
    void LoadPage();
    void SavePage();
    // MapViewHost.
    QWidget* MapDockParent() override { return central_; }
    QString VehicleIdAtRow(int row) const override;
    bool ShowsPlaybackPanel() const override { return current_panel_ == kPlayback; }
    QSize GridAreaSize() const override;

    void CreateMenu();
    void CreateChildren();
    // The modeless dialogs after the login dialog, created hidden, and the menu commands that show them.
    void CreateDialogs();
    void Relayout(int width, int height);
    // Writes SpeedCell of the map view's latest position into the row's speed cell.
    void ShowSpeed(int row, bool valid, const QByteArray& sentence);
    void Shutdown();

    AppSettings& settings_;
    LibraryEventWindow library_window_;
    EventDispatch dispatch_;
    AppSession* session_ = nullptr;
    MainLayout layout_;
    QWidget* central_ = nullptr;
    PageTab* grid_ = nullptr;
    DevTree* tree_ = nullptr;
    LogList* log_ = nullptr;
    CSearchDlg* search_ = nullptr;
    DeviceStatusList* vehicle_list_ = nullptr;
    CMapDlg* map_view_ = nullptr;
    CAppLoginDlg* login_ = nullptr;
    CDevConfigDlg* dev_config_ = nullptr;
    CDevInfoDlg* dev_info_ = nullptr;
    CCycleDlg* cycle_ = nullptr;
    COptionDlg* option_ = nullptr;
    CRecordDlg* record_ = nullptr;
    CSnapshotDlg* snapshot_ = nullptr;
    StatusLine* status_line_ = nullptr;
    int current_panel_ = kDeviceList;
    PanelSelector* selectors_[kPanels] = {};
    QWidget* panels_[kPanels] = {};
    std::unique_ptr<TreeAlarmVehicles> alarm_vehicles_;  // before alarms_, which reads it
    std::unique_ptr<AlarmDesk> alarms_;
    // Wires the alarm desk to the panel, the selector, the highlights and the log.
    void ConnectAlarms();
    QRect grid_slot_;
    QRect map_slot_;
    int timer_id_ = 0;
    // Drains the queued library events in slices of kEventSliceMs.
    QTimer event_drain_;
    static constexpr int kEventSliceMs = 8;
    bool shut_down_ = false;
    bool shown_once_ = false;
    std::unique_ptr<ChannelActions> actions_;
    CenterLink center_link_;
    std::unique_ptr<WorkspaceKeeper> workspace_;
    bool ask_before_losing_recordings_ = true;
    QString pending_page_;     // --page, until the first device list is in
    int listed_devices_ = -1;  // devices of the first list (event 128), -1 before it
    int page_wait_ticks_ = 0;  // timer ticks since then
};

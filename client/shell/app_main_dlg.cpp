// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_main_dlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSettings>
#include <QWindow>

#include "app/app_profile.h"
#include "app/own_settings.h"
#include "app/session_controller.h"
#include "app/settings_store.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/search_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_vehicles.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_finder.h"
#include "fleet/fleet_presenter.h"
#include "fleet/log_list.h"
#include "geofence/geofence_keeper.h"
#include "grid/channel_actions.h"
#include "grid/recording_guard.h"
#include "map/map_dlg.h"
#include "map/map_view_settings.h"
#include "positions/position_history.h"
#include "shell/evidence_wiring.h"
#include "shell/geofence_wiring.h"
#include "shell/keyboard_desk.h"
#include "shell/main_dialogs.h"
#include "shell/main_look.h"
#include "shell/menu_commands.h"
#include "shell/panel_splitter.h"
#include "shell/position_wiring.h"
#include "shell/session_wiring.h"
#include "shell/status_line.h"
#include "shell/wall_desk.h"
#include "shell/window_hosts.h"

CAppMainDlg::CAppMainDlg(AppSettings& settings, SettingsStore& store, SessionController& session,
                         OwnSettings& own, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      store_(store),
      session_ctl_(session),
      own_settings_(own),
      session_(session_ctl_.session()),
      layout_(settings.UIPanelWidth, QGuiApplication::layoutDirection()) {
    central_ = new QWidget(this);
    PaintBackground(*central_, settings);
    central_->installEventFilter(this);
    setCentralWidget(central_);
    if (!session_) return;  // the window stays up without the rest

    layout_.SetPanelWidth(RememberedPanelWidth());
    MakeHosts();
    login_ = new CAppLoginDlg(login_host_.get(), settings_, store_, this);
    setWindowTitle(MainCaption());
    menu_ = new MainMenuBar(this);
    setMenuBar(menu_);
    CreateChildren();
    dialogs_ = std::make_unique<MainDialogs>(settings_, store_, session_, grid(), *tree_, this);
    ConnectChildren();
    timer_id_ = startTimer(1000);
    PlaceMainWindow(*this);
}

CAppMainDlg::~CAppMainDlg() {
    Shutdown();
}

void CAppMainDlg::MakeHosts() {
    tree_host_ = std::make_unique<WindowTreeHost>(WindowTreeHost::Calls{
        [this](const QString* time, const QString& message) { AddLogLine(time, message); },
        [this](QTreeWidgetItem* node) { SelectDeviceNode(node); },
        [this](QTreeWidgetItem* node) { ShowChannelMenu(node); },
        [this] { ClickStopsCycling(CycleStopRules::kDeviceList); }});
    map_host_ = std::make_unique<WindowMapHost>(
        *central_, WindowMapHost::Calls{
                       [this](int row) { return selection_ ? selection_->VehicleIdAtRow(row) : QString(); },
                       [this] { return currentPanel() == kPlayback; },
                       [this] { return grid() ? grid()->size() : QSize(); }});
    login_host_ = std::make_unique<WindowLoginHost>(
        session_ctl_, WindowLoginHost::Calls{[this] { LogoutCleanup(); },
                                             [this](const QString& message) { AddLogLine(message); },
                                             [this] { return ConfirmLosingRecordings(); }});
}

void CAppMainDlg::CreateChildren() {
    const QString skin = store_.skinFolder();
    tree_ = new DevTree(central_);
    log_ = new LogList(central_);
    search_ = new CSearchDlg(settings_, store_, central_);
    vehicle_list_ = new DeviceStatusList(central_);
    map_view_ = new CMapDlg(*map_host_, ReadMapViewSettings(settings_, store_));
    status_line_ = new StatusLine(central_);
    fleet_ = new FleetPresenter(
        *tree_, *vehicle_list_, [this](const QString* time, const QString& line) { AddLogLine(time, line); },
        this);
    // Right to left the window mirrors, but not the map: west stays on the left.
    map_view_->setLayoutDirection(Qt::LeftToRight);
    alarm_vehicles_ = std::make_unique<TreeAlarmVehicles>(tree_);
    alarms_ = std::make_unique<AlarmDesk>(
        AlarmSettings::Read(store_.programFolder()),
        [](const QString& text) { return AppProfile::Translate(text); }, alarm_vehicles_.get());
    geofences_ = std::make_unique<GeofenceKeeper>(
        store_.programFolder().isEmpty() ? QString()
                                         : store_.programFolder() + QLatin1String(GeofenceKeeper::kFileName),
        [](const QString& text) { return AppProfile::Translate(text); },
        this);  // a child to be found among the window's; owned here, it goes before the window's children
    positions_ = std::make_unique<PositionHistory>(
        PositionHistory::ReadOptions(own_settings_, store_.programFolder()));
    left_ = new LeftPanels(central_, layout_, {tree_, log_, search_, alarms_->Panel(central_)}, skin,
                           AppSettings::Color(settings_.TextColor));
    // VehicleSelection sets the switch from Tavrin.ini before the first vehicle arrives.
    finder_ = new FleetFinder(*tree_, *vehicle_list_, true,
                              {AppProfile::Translate(QStringLiteral("Find vehicle")),
                               AppProfile::Translate(QStringLiteral("Show offline vehicles"))});
    status_line_->SetText(MainCaption() + QStringLiteral("  "));
    tree_->Setup(tree_host_.get(), skin, settings_);
    tree_->SetProvinces(store_.provinces());
    vehicle_list_->InsertColumns();
    ApplyLook(settings_, skin, {*status_line_, *vehicle_list_, *log_, *alarms_->Panel(central_)});
    grid_side_ = std::make_unique<GridSide>(
        *tree_, settings_, store_, session_ctl_, central_, store_.programFolder(),
        GridSide::WindowSide{[this](QTreeWidgetItem* node) { SelectDeviceNode(node); },
                             [this](QTreeWidgetItem* node) { ShowChannelMenu(node); },
                             [this](const QString& line) { AddLogLine(line); },
                             [this] {
                                 if (commands_) commands_->CheckGridSize();
                             }},
        own_settings_);
    places_ = std::make_unique<CentralPlaces>(
        layout_, CentralPlaces::Children{*left_, *status_line_, *tree_, *log_, *search_, *vehicle_list_,
                                         *map_view_, *grid()});
    splitter_ = new PanelSplitter(central_);
    connect(splitter_, &PanelSplitter::pressed, this, [this] { drag_start_width_ = layout_.panelWidth(); });
    connect(splitter_, &PanelSplitter::dragged, this, &CAppMainDlg::DragPanel);
    connect(splitter_, &PanelSplitter::released, this, &CAppMainDlg::RememberPanelWidth);
}

void CAppMainDlg::PlaceCentral() {
    if (!places_) return;
    const int width = central_->width(), height = central_->height();
    places_->Place(width, height, currentPanel() == kPlayback);
    // The gap between the column and the grid (or the map view standing in for it).
    const QRect column = layout_.Place(MainLayout::kTree, width, height);
    const QRect grid = layout_.Place(MainLayout::kGrid, width, height);
    const int gap_left = column.right() < grid.left() ? column.right() + 1 : grid.right() + 1;
    const int gap_right = column.right() < grid.left() ? grid.left() - 1 : column.left() - 1;
    if (splitter_)
        splitter_->setGeometry(QRect(QPoint(gap_left, column.top()), QPoint(gap_right, column.bottom())));
}

int CAppMainDlg::RememberedPanelWidth() const {
    const QString folder = store_.programFolder();
    if (folder.isEmpty()) return settings_.UIPanelWidth;
    const QSettings own(folder + QLatin1String(kOwnSettingsFile), QSettings::IniFormat);
    bool ok = false;
    const int width = own.value(QLatin1String(kPanelWidthKey)).toInt(&ok);
    if (!ok || width < AppSettings::kMinPanelWidth || width > PanelSplitter::kMaxPanelWidthPx)
        return settings_.UIPanelWidth;
    return width;
}

void CAppMainDlg::DragPanel(int delta_px) {
    // Right to left the column stands on the right: dragging left widens it.
    if (layout_.mirrored()) delta_px = -delta_px;
    const int width = PanelSplitter::PanelWidthFor(drag_start_width_, delta_px, central_->width(),
                                                   AppSettings::kMinPanelWidth);
    if (width == layout_.panelWidth()) return;
    layout_.SetPanelWidth(width);
    PlaceCentral();
}

void CAppMainDlg::RememberPanelWidth() const {
    const QString folder = store_.programFolder();
    if (folder.isEmpty()) return;
    QSettings own(folder + QLatin1String(kOwnSettingsFile), QSettings::IniFormat);
    own.setValue(QLatin1String(kPanelWidthKey), layout_.panelWidth());
}

void CAppMainDlg::ConnectChildren() {
    const auto log_line = [this](const QString& line) { AddLogLine(line); };
    new KeyboardDesk(*this,
                     KeyboardDesk::ForMainWindow(
                         *grid(), channelActions(), [this](QTreeWidgetItem* node) { SelectDeviceNode(node); },
                         *alarms_->Panel(central_), *finder_, settings_));
    selection_ = new VehicleSelection(
        {*tree_, *vehicle_list_, *finder_, *fleet_, *alarms_, map_view_, grid()}, own_settings_,
        {[this] { ClickStopsCycling(CycleStopRules::kAnywhere); },
         [this] {
             if (session_) VelqApp_ShowAllDevice(session_);
         },
         log_line,
         [this]() -> PageTab* {
             return grid_side_ && grid_side_->walls() ? grid_side_->walls()->AlarmGrid() : nullptr;
         }},
        this);
    commands_ = new MenuCommands({*menu_, *dialogs_, grid_side_->pages(), grid(), login_, *this},
                                 {[this] { ToggleFullScreen(); },
                                  [this] {
                                      if (ConfirmLosingRecordings()) close();
                                  }},
                                 this);
    ConnectSession(session_ctl_,
                   {login_, *fleet_, *status_line_, map_view_, *alarms_, grid_side_->pages(), *tree_, search_,
                    *dialogs_->devConfig(), grid(), log_line, [this](int count) { ShowOnlineCount(count); }},
                   this);
    ConnectGeofences(*fleet_, *geofences_, *alarms_, this);
    ConnectGeofenceMap(map_view_, *geofences_, *menu_, this);
    connect(geofences_.get(), &GeofenceKeeper::problemReported, this, log_line);
    if (!geofences_->problem().isEmpty()) AddLogLine(nullptr, geofences_->problem());
    ConnectPositions(*fleet_, *positions_, map_view_, this, log_line);
    connect(left_, &LeftPanels::chosen, this, &CAppMainDlg::ShowPanel);
    channelActions().SetMapToggle([this] { ToggleMapView(); });
    channelActions().SetConfigCommand([this](QTreeWidgetItem* node) { dialogs_->ConfigCommand(node); });
    channelActions().SetOpenAllCommand(
        [this](QTreeWidgetItem* node) { selection_->OpenVideo(node->data(0, Qt::UserRole).toInt()); });
    // Search shows the playback page in the map view (which keeps it until the Playback panel is left).
    search_->SetOpener([this](const QString& address) {
        AddLogLine(nullptr, address);
        map_view_->ShowPlaybackPage(QUrl(address));
    });
    alarms_->SetUserSource([this] { return login_->userEdit()->text(); });
    evidence_ =
        new EvidenceWiring({*grid(), *tree_, *alarms_, *menu_, settings_, own_settings_}, log_line, this);
    left_->FollowAlarmCount(*alarms_);
    connect(alarms_.get(), &AlarmDesk::problemReported, this, log_line);
    // A row's "History..." opens the history dialog on that vehicle.
    connect(alarms_->Panel(central_), &AlarmPanel::vehicleHistoryRequested, this,
            [this](const QString& device) {
                alarms_->ShowHistory(this);
                if (AlarmHistoryDlg* history = alarms_->historyDialog()) {
                    history->vehicleEdit()->setText(device);
                    history->Search();
                }
            });
}

void CAppMainDlg::SetRecordingsCommand(std::function<void()> open_recordings) {
    if (commands_) commands_->SetRecordingsCommand(std::move(open_recordings));
}

void CAppMainDlg::ShowPanel(int index) {
    const int previous = currentPanel();
    if (!session_ || !left_->Show(index)) return;
    if (previous == kPlayback || index == kPlayback) places_->TradeGridAndMap();
    if (index == kPlayback) VelqOpt_QueryAllDevice(session_);
    // Leaving Playback brings the live map back in place of the playback page.
    if (map_view_->Index == CMapDlg::kPlaybackPage && index != kPlayback) map_view_->BackToMap();
    map_view_->PostRefresh();
}

bool CAppMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == central_) {
        if (event->type() == QEvent::Resize) {
            PlaceCentral();
        } else if (event->type() == QEvent::MouseButtonPress &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            ClickStopsCycling(CycleStopRules::kAnywhere);
            // Pressing anywhere on the background moves the whole window.
            if (QWindow* window = windowHandle()) window->startSystemMove();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CAppMainDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_id_ && grid_side_) grid_side_->Tick();
}

void CAppMainDlg::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The login dialog comes up with the main window the first time it is shown.
    if (!shown_once_ && login_) {
        shown_once_ = true;
        login_->show();
    }
}

void CAppMainDlg::closeEvent(QCloseEvent* event) {
    // The window manager's close button asks like Exit; a close by the program (a signal) never does.
    if (event->spontaneous() && !shut_down_ && !ConfirmLosingRecordings()) {
        event->ignore();
        return;
    }
    Shutdown();
    QMainWindow::closeEvent(event);
}

void CAppMainDlg::Shutdown() {
    if (shut_down_) return;
    shut_down_ = true;
    if (!session_) return;
    if (timer_id_) killTimer(timer_id_);
    timer_id_ = 0;
    LogoutCleanup();
    // Logged out now: what is still queued is given back or dropped.
    session_ctl_.DrainAll();
    places_.reset();
    delete login_;
    login_ = nullptr;
    delete map_view_;
    map_view_ = nullptr;
    delete search_;
    search_ = nullptr;
    left_->Forget(kPlayback);
    // Its timer walks the grid's windows: it goes before them.
    delete evidence_;
    evidence_ = nullptr;
    grid_side_->DestroyGrid();  // the display windows go with the grid, before the session
    session_ = nullptr;
}

void CAppMainDlg::AddLogLine(const QString* time, const QString& message) {
    status_line_->SetText(message + QStringLiteral("  "));
    const QString stamp =
        time ? *time : QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    log_->AddLine(u'[' + stamp + QStringLiteral("] ") + message);
}

void CAppMainDlg::ShowOnlineCount(int count) {
    if (grid_side_) grid_side_->pages().ListBegins(count);
    setWindowTitle(MainCaption(count));
}

void CAppMainDlg::ShowChannelMenu(QTreeWidgetItem* node) {
    if (node) SelectDeviceNode(node);
    channelActions().ShowMenu(node, QCursor::pos(), this);
}

bool CAppMainDlg::ConfirmLosingRecordings() {
    if (!ask_before_losing_recordings_ || !grid_side_ || shut_down_) return true;
    const int recording = grid_side_->RecordingChannels();
    return recording == 0 || AskToStopRecording(this, recording);
}

void CAppMainDlg::ToggleMapView() {
    if (map_view_) map_view_->ToggleFloating();
}

void CAppMainDlg::LogoutCleanup() {
    if (!session_) return;
    search_->VehicleListBegin(0);
    dialogs_->CloseDeviceDialogs();
    grid_side_->ResetGrids();
    if (evidence_) evidence_->LoggedOut();
    session_ctl_.Logout();
    alarms_->ForgetVehicles();
    geofences_->ForgetVehicles();
    fleet_->Reset();
    finder_->Clear();
    map_view_->Clear();
    setWindowTitle(MainCaption());
    grid_side_->pages().LoggedOut();
    login_->ShowConnectionState(1, 0);
}

bool CAppMainDlg::ShowWallPage(int screen, const QString& path) {
    return grid_side_ && grid_side_->walls() && grid_side_->walls()->ShowPageFile(screen, path);
}

void CAppMainDlg::PressLogin() {
    if (session_ && !session_ctl_.LoggedIn()) login_->OnOK();
}

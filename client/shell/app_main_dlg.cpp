// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_main_dlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include "app/app_profile.h"
#include "app/session_controller.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/dev_config_dlg.h"
#include "dialogs/search_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_vehicles.h"
#include "fleet/device_info.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_finder.h"
#include "fleet/fleet_presenter.h"
#include "fleet/log_list.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/recording_guard.h"
#include "grid/tree_channel.h"
#include "map/map_dlg.h"
#include "map/map_view_settings.h"
#include "shell/main_dialogs.h"
#include "shell/panel_selector.h"
#include "shell/status_line.h"

namespace {

// Between the alarm list's selector and what the status line draws beside it.
constexpr int kSelectorGapPx = 4;

QString Title() {
    return AppProfile::Translate(QStringLiteral("Lumetra Client Application"));
}

QString ProgramFolder() {
    return AppProfile::Current() ? AppProfile::Current()->programFolder() : QString();
}

}  // namespace

CAppMainDlg::CAppMainDlg(AppSettings& settings, QWidget* parent)
    : CAppMainDlg(settings, std::make_unique<SessionController>(), nullptr, parent) {}

CAppMainDlg::CAppMainDlg(AppSettings& settings, SessionController& session, QWidget* parent)
    : CAppMainDlg(settings, nullptr, &session, parent) {}

CAppMainDlg::CAppMainDlg(AppSettings& settings, std::unique_ptr<SessionController> own,
                         SessionController* shared, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      own_session_(std::move(own)),
      session_ctl_(shared ? *shared : *own_session_),
      session_(session_ctl_.session()),
      layout_(settings.UIPanelWidth, QGuiApplication::layoutDirection()) {
    central_ = new QWidget(this);
    central_->setAutoFillBackground(true);
    QPalette background = central_->palette();
    background.setColor(QPalette::Window, AppSettings::Color(settings.MainBkColor));
    central_->setPalette(background);
    central_->installEventFilter(this);
    setCentralWidget(central_);
    if (!session_) return;  // the window stays up without the rest

    login_ = new CAppLoginDlg(this, settings_, this);
    setWindowTitle(Title());
    menu_ = new MainMenuBar(this);
    setMenuBar(menu_);
    CreateChildren();
    dialogs_ = std::make_unique<MainDialogs>(settings_, session_, grid_, *tree_, this);
    ConnectMenu();
    ConnectAlarms();
    ConnectSession();
    timer_id_ = startTimer(1000);

    setMinimumSize(640, 480);
    // 1024 x 768 is the client area the layout is made for; the menu bar comes on top of it.
    resize(1024, 768 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

CAppMainDlg::~CAppMainDlg() {
    Shutdown();
}

void CAppMainDlg::CreateChildren() {
    const QString skin = AppProfile::Current() ? AppProfile::Current()->skinFolder() : QString();
    tree_ = new DevTree(central_);
    grid_owner_ = std::make_unique<TreeGridOwner>(
        *tree_, settings_, session_ctl_,
        TreeGridOwner::WindowSide{[this](QTreeWidgetItem* node) { SelectDeviceNode(node); },
                                  [this](QTreeWidgetItem* node) { ShowChannelMenu(node); },
                                  [this](int command) { actions_->Run(command); },
                                  [this](const QString& line) { AddLogLine(nullptr, line); }});
    grid_ = new PageTab(grid_owner_.get(), settings_, central_);
    grid_->stackUnder(tree_);  // the stacking order the children had when the grid came first
    log_ = new LogList(central_);
    search_ = new CSearchDlg(settings_, central_);
    vehicle_list_ = new DeviceStatusList(central_);
    map_view_ = new CMapDlg(*this, ReadMapViewSettings(settings_));
    status_line_ = new StatusLine(central_);
    fleet_ = new FleetPresenter(
        *tree_, *vehicle_list_, [this](const QString* time, const QString& line) { AddLogLine(time, line); },
        this);
    // Right to left the window mirrors, but not what shows the world: the video tiles keep the camera's
    // left and right, and the map keeps west on the left.
    grid_->setLayoutDirection(Qt::LeftToRight);
    map_view_->setLayoutDirection(Qt::LeftToRight);
    alarm_vehicles_ = std::make_unique<TreeAlarmVehicles>(tree_);
    alarms_ = std::make_unique<AlarmDesk>(
        AlarmSettings::Read(ProgramFolder()), [](const QString& text) { return AppProfile::Translate(text); },
        alarm_vehicles_.get());
    left_ = new LeftPanels(central_, layout_, {tree_, log_, search_, alarms_->Panel(central_)}, skin,
                           AppSettings::Color(settings_.TextColor));
    connect(left_, &LeftPanels::chosen, this, &CAppMainDlg::ShowPanel);
    const auto row_chosen = [this](int row) {
        if (const DevTreeEntry* record = tree_->Entry(row)) SelectDeviceNode(record->item);
        if (settings_.CycleStopMode & AppSettings::kStopCycleAnywhere) StopCycling();
    };
    connect(vehicle_list_, &DeviceStatusList::rowClicked, this, row_chosen);
    connect(vehicle_list_, &DeviceStatusList::rowDragStarted, this, row_chosen);
    finder_ = new FleetFinder(*tree_, *vehicle_list_, settings_.ShowAllDevice != 0,
                              {AppProfile::Translate(QStringLiteral("Find vehicle")),
                               AppProfile::Translate(QStringLiteral("Show offline vehicles"))});
    connect(finder_, &FleetFinder::showOfflineChanged, this, &CAppMainDlg::SetShowOffline);
    map_view_->SetShowOffline(settings_.ShowAllDevice != 0);
    connect(fleet_, &FleetPresenter::vehicleShown, this,
            [this](int row, const QString& name, const QString& id, const QString& driver, bool online) {
                finder_->UpdateVehicle(row, name, id, driver, online);
                map_view_->SetVehicleOnline(row, online);
            });
    connect(map_view_, &CMapDlg::vehicleClicked, this, [this](int row) {
        if (const DevTreeEntry* record = tree_->Entry(row)) SelectDeviceNode(record->item);
    });
    connect(map_view_, &CMapDlg::vehicleActivated, this, &CAppMainDlg::OpenVehicleVideo);

    status_line_->SetText(Title() + QStringLiteral("  "));
    status_line_->SetImages(QPixmap(skin + QStringLiteral("top-bg.bmp")),
                            QPixmap(skin + QStringLiteral("logo.bmp")));
    tree_->Setup(this, skin, settings_);
    if (AppProfile::Current()) tree_->SetProvinces(AppProfile::Current()->Provinces());
    log_->SetHorizontalExtent(2 * settings_.UIPanelWidth);
    QFont event_font(settings_.Event_FontName);
    event_font.setPixelSize(qBound(6, settings_.Event_FontSize, 200));
    event_font.setWeight(QFont::Black);
    status_line_->setFont(event_font);
    const QColor text = AppSettings::Color(settings_.TextColor),
                 back = AppSettings::Color(settings_.ChildBkColor);
    status_line_->SetTextColor(text);
    vehicle_list_->InsertColumns();
    vehicle_list_->SetColors(text, back);
    log_->SetColors(text, back);
    alarms_->Panel(central_)->SetColors(text, back);
    grid_->InitFromSettings();
    pages_ = std::make_unique<PageKeeper>(
        *grid_, ProgramFolder(), [this] { CheckGridSize(); },
        [this](const QString& line) { AddLogLine(nullptr, line); });
    actions_ = std::make_unique<ChannelActions>(tree_, grid_, session_ctl_.eventTarget(), settings_,
                                                [this](const QString& line) { AddLogLine(nullptr, line); });
    actions_->SetMapToggle([this] { ToggleMapView(); });
    actions_->SetConfigCommand([this](QTreeWidgetItem* node) { dialogs_->ConfigCommand(node); });
    connect(tree_, &DevTree::channelActivated, this, [this] { actions_->Run(kCommandPlay); });
    connect(tree_, &DevTree::vehicleActivated, this, &CAppMainDlg::OpenVehicleVideo);
    // Search shows the playback page in the map view (which keeps it until the Playback panel is left).
    search_->SetOpener([this](const QString& address) {
        AddLogLine(nullptr, address);
        map_view_->ShowPlaybackPage(QUrl(address));
    });
}

void CAppMainDlg::ConnectSession() {
    SessionController* session = &session_ctl_;
    // The login dialog's caption first: the presenter's status text for a center that is away comes after.
    connect(session, &SessionController::connectionState, login_, &CAppLoginDlg::ShowConnectionState);
    fleet_->Follow(*session);
    connect(fleet_, &FleetPresenter::centerStatus, status_line_,
            [this](const QString& text) { status_line_->SetText(text + QStringLiteral("  ")); });
    connect(fleet_, &FleetPresenter::positionReported, this, [this](int row, const QByteArray& sentence) {
        if (map_view_) map_view_->Position(sentence, row);
    });
    connect(fleet_, &FleetPresenter::deviceListed, this, [this](int row, const QString& id) {
        alarms_->VehicleListed(row, id);
        pages_->DevicesListed(tree_->EntryCount());
    });
    // The alarm episodes follow the words themselves (the alarm desk reads them), which also shows a word
    // going back to 0; each accepted login asks for the words the vehicles already have.
    connect(session, &SessionController::connectionState, this, [this](int code, qintptr) {
        if (code == VELQ_EV_LOGIN_OK || code == VELQ_EV_LOGIN_VERSION) AskStatusWords(session_);
    });
    connect(session, &SessionController::problem, this,
            [this](const QString& text) { AddLogLine(nullptr, text); });
    connect(session, &SessionController::configStatus, dialogs_->devConfig(), &CDevConfigDlg::SetStatus);
    connect(session, &SessionController::listBegins, this, &CAppMainDlg::ShowOnlineCount);
    connect(session, &SessionController::vehicleListBegins, search_, &CSearchDlg::VehicleListBegin);
    connect(session, &SessionController::vehicleListed, search_, &CSearchDlg::AddVehicle);
    connect(session, &SessionController::transferStatus, this, [this](int code, AppChannel* channel) {
        if (grid_) grid_->TransferStatus(code, channel);
    });
    connect(session, &SessionController::configResult, this,
            [this](int kind, AppOperation* operation, AppDevice* device) {
                if (device && device == dialogs_->devConfig()->device())
                    dialogs_->devConfig()->Result(kind, operation);
            });
}

void CAppMainDlg::ConnectMenu() {
    connect(menu_, &MainMenuBar::commandChosen, this, &CAppMainDlg::RunMenuCommand);
    connect(menu_, &MainMenuBar::gridSizeChosen, this, [this](int side) {
        if (grid_->Model().Rows() != side || grid_->Model().Cols() != side) grid_->SetGrid(side, side);
        CheckGridSize();
    });
    connect(menu_, &MainMenuBar::fullScreenToggled, this, &CAppMainDlg::ToggleFullScreen);
    connect(menu_, &MainMenuBar::exitChosen, this, [this] {
        if (ConfirmLosingRecordings()) close();
    });
    CheckGridSize();
}

void CAppMainDlg::RunMenuCommand(int command) {
    if (dialogs_->Open(command)) return;
    if (command == kCmdLogin) {
        login_->show();
        login_->raise();
        login_->activateWindow();
    } else if (command == kCmdLoadPage) {
        pages_->LoadPage(this);
    } else if (command == kCmdSavePage) {
        pages_->SavePage(this);
    } else if (command == kCmdRecordings && open_recordings_) {
        open_recordings_();
    }
}

void CAppMainDlg::SetRecordingsCommand(std::function<void()> open_recordings) {
    open_recordings_ = std::move(open_recordings);
    if (menu_) menu_->SetRecordingsEnabled(static_cast<bool>(open_recordings_));
}

void CAppMainDlg::Relayout(int width, int height) {
    if (!session_) return;
    left_->Place(layout_, width, height);
    const QRect status_rect = layout_.Place(MainLayout::kStatusLine, width, height);
    status_line_->setGeometry(status_rect);
    // The alarm list's selector stands over one end of the status line, which keeps its rectangle and
    // draws banner, logo and text beside the selector.
    const QRect alarm_selector = layout_.PlaceSelector(kAlarmList, width);
    left_->selector(kAlarmList)->setGeometry(alarm_selector);
    const QRect covered = alarm_selector.intersected(status_rect);
    if (covered.isEmpty())
        status_line_->SetCovered(0, 0);
    else if (covered.center().x() < status_rect.center().x())
        status_line_->SetCovered(covered.right() + 1 - status_rect.left() + kSelectorGapPx, 0);
    else
        status_line_->SetCovered(0, status_rect.right() + 1 - covered.left() + kSelectorGapPx);
    tree_->setGeometry(layout_.Place(MainLayout::kTree, width, height));
    log_->setGeometry(layout_.Place(MainLayout::kLog, width, height));
    search_->setGeometry(layout_.Place(MainLayout::kSearch, width, height));
    vehicle_list_->setGeometry(layout_.Place(MainLayout::kVehicleList, width, height));
    const QRect map_rect = layout_.Place(MainLayout::kMapView, width, height);
    const QRect grid_rect = layout_.Place(MainLayout::kGrid, width, height);
    // While "Playback" is shown the map view and the grid trade places.
    grid_slot_ = currentPanel() == kPlayback ? map_rect : grid_rect;
    map_slot_ = currentPanel() == kPlayback ? grid_rect : map_rect;
    map_view_->SetDockedRect(map_slot_);
    grid_->setGeometry(grid_slot_);
}

void CAppMainDlg::ShowPanel(int index) {
    const int previous = currentPanel();
    if (!session_ || !left_->Show(index)) return;
    if (previous == kPlayback || index == kPlayback) {
        grid_slot_ = map_slot_;
        map_slot_ = grid_->geometry();
        map_view_->SetDockedRect(map_slot_);
        grid_->setGeometry(grid_slot_);
    }
    if (index == kPlayback && session_) VelqOpt_QueryAllDevice(session_);
    // Leaving Playback brings the live map back in place of the playback page.
    if (map_view_->Index == CMapDlg::kPlaybackPage && index != kPlayback) map_view_->BackToMap();
    map_view_->PostRefresh();
}

bool CAppMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == central_) {
        if (event->type() == QEvent::Resize) {
            Relayout(central_->width(), central_->height());
        } else if (event->type() == QEvent::MouseButtonPress &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            if (settings_.CycleStopMode & AppSettings::kStopCycleAnywhere) StopCycling();
            // Pressing anywhere on the background moves the whole window.
            if (QWindow* window = windowHandle()) window->startSystemMove();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CAppMainDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_id_ || !grid_) return;
    grid_->CycleTick();
    pages_->Tick();
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
    delete login_;
    login_ = nullptr;
    delete map_view_;
    map_view_ = nullptr;
    delete search_;
    search_ = nullptr;
    left_->Forget(kPlayback);
    delete grid_;  // the display windows go with the grid, before the session
    grid_ = nullptr;
    session_ = nullptr;
    own_session_.reset();
}

void CAppMainDlg::AddLogLine(const QString* time, const QString& message) {
    status_line_->SetText(message + QStringLiteral("  "));
    const QString stamp =
        time ? *time : QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    log_->AddLine(u'[' + stamp + QStringLiteral("] ") + message);
}

void CAppMainDlg::ShowOnlineCount(int count) {
    if (pages_) pages_->ListBegins(count);
    if (count != 0)
        setWindowTitle(Title() + QStringLiteral(" - %1 ").arg(count) +
                       AppProfile::Translate(QStringLiteral("Online Devices")));
    else
        setWindowTitle(Title() + QStringLiteral(" - ") +
                       AppProfile::Translate(QStringLiteral("No Device Active")));
}

void CAppMainDlg::SelectDeviceNode(QTreeWidgetItem* node) {
    if (!node) return;
    tree_->setCurrentItem(node);
    if (node->parent()) {
        // A channel shown in a window other than the active one makes that window active.
        CDevShowDlg* active = grid_->ActiveWindow();
        CDevShowDlg* shown = grid_->FindWindowOfNode(node);
        if (shown && (!active || active->channelItem != node))
            grid_->Model().SelectWindow(grid_->Model().PageOf(shown), shown);
        node = node->parent();
    }
    const int index = node->data(0, Qt::UserRole).toInt();
    vehicle_list_->SelectRow(index);
    const DevTreeEntry* record = tree_->Entry(index);
    if (!record) return;
    map_view_->SelectVehicle(index);
    map_view_->Position(DeviceBytes(record->device, VELQ_DEV_POSITION, 128), index);
}

void CAppMainDlg::ShowChannelMenu(QTreeWidgetItem* node) {
    if (node) SelectDeviceNode(node);
    actions_->ShowMenu(node, QCursor::pos(), this);
}

bool CAppMainDlg::ConfirmLosingRecordings() {
    if (!ask_before_losing_recordings_ || !grid_ || shut_down_) return true;
    const int recording = RecordingChannels(grid_->Model());
    return recording == 0 || AskToStopRecording(this, recording);
}

void CAppMainDlg::CheckGridSize() {
    if (menu_ && grid_) menu_->CheckGridSize(grid_->Model().Rows(), grid_->Model().Cols());
}

void CAppMainDlg::LoadPageWhenListed(const QString& path) {
    if (pages_) pages_->LoadWhenListed(path);
}

void CAppMainDlg::TreeClicked() {
    if (settings_.CycleStopMode & AppSettings::kStopCycleOnTree) StopCycling();
}

void CAppMainDlg::StopCycling() {
    if (grid_) grid_->StopCycling();
    settings_.StopCycling();
}

void CAppMainDlg::ToggleMapView() {
    if (map_view_) map_view_->ToggleFloating();
}

QString CAppMainDlg::VehicleIdAtRow(int row) const {
    return row >= 0 && row < vehicle_list_->rowCount() ? vehicle_list_->Cell(row, 0) : QString();
}

void CAppMainDlg::LogoutCleanup() {
    if (!session_) return;
    search_->VehicleListBegin(0);
    dialogs_->CloseDeviceDialogs();
    grid_->ResetGrid();
    session_ctl_.Logout();
    alarms_->ForgetVehicles();
    fleet_->Reset();
    finder_->Clear();
    map_view_->Clear();
    setWindowTitle(Title());
    pages_->LoggedOut();
    login_->ShowConnectionState(1, 0);
}

void CAppMainDlg::PressLogin() {
    if (session_ && !session_ctl_.LoggedIn()) login_->OnOK();
}

void CAppMainDlg::ConnectAlarms() {
    alarms_->SetUserSource([this] { return login_->userEdit()->text(); });
    const auto show_count = [this](int count) { left_->ShowAlarmCount(count); };
    show_count(alarms_->unacknowledged());
    connect(alarms_.get(), &AlarmDesk::unacknowledgedChanged, this, show_count);
    connect(alarms_.get(), &AlarmDesk::problemReported, this,
            [this](const QString& text) { AddLogLine(nullptr, text); });
    connect(alarms_.get(), &AlarmDesk::vehicleHighlightChanged, this, [this](int row, bool on) {
        const DevTreeEntry* record = tree_->Entry(row);
        if (record && record->item)
            record->item->setBackground(0, on ? QBrush(QColor(150, 32, 32)) : QBrush());
        vehicle_list_->SetRowHighlight(row, on);
        map_view_->SetVehicleAlarm(row, on);
    });
    connect(alarms_.get(), &AlarmDesk::videoRequested, this, &CAppMainDlg::OpenVehicleVideo);
}

void CAppMainDlg::OpenVehicleVideo(int row) {
    const DevTreeEntry* record = tree_->Entry(row);
    if (!record || !record->item) return;
    SelectDeviceNode(record->item);
    std::vector<QTreeWidgetItem*> channels;
    for (int i = 0; i < record->item->childCount(); ++i) channels.push_back(record->item->child(i));
    grid_->Model().OpenOnOwnPage(channels);
}

CDevConfigDlg* CAppMainDlg::devConfigDialog() const {
    return dialogs_ ? dialogs_->devConfig() : nullptr;
}
CDevInfoDlg* CAppMainDlg::devInfoDialog() const {
    return dialogs_ ? dialogs_->devInfo() : nullptr;
}
CCycleDlg* CAppMainDlg::cycleDialog() const {
    return dialogs_ ? dialogs_->cycle() : nullptr;
}
COptionDlg* CAppMainDlg::optionDialog() const {
    return dialogs_ ? dialogs_->option() : nullptr;
}
CRecordDlg* CAppMainDlg::recordDialog() const {
    return dialogs_ ? dialogs_->record() : nullptr;
}
CSnapshotDlg* CAppMainDlg::snapshotDialog() const {
    return dialogs_ ? dialogs_->snapshot() : nullptr;
}

void CAppMainDlg::SetShowOffline(bool show) {
    settings_.ShowAllDevice = show ? 1 : 0;
    AppProfile::WriteString(QStringLiteral("ShowAllDevice"), QString::number(settings_.ShowAllDevice));
    finder_->SetShowOffline(show);
    map_view_->SetShowOffline(show);
    // Logged in, the offline vehicles the login did not ask for come now (no effect when logged out).
    if (show && session_) VelqApp_ShowAllDevice(session_);
}

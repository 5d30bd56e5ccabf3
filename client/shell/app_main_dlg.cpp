// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_main_dlg.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include "app/app_client.h"
#include "app/app_profile.h"
#include "app/app_settings.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/cycle_dlg.h"
#include "dialogs/dev_config_dlg.h"
#include "dialogs/dev_info_dlg.h"
#include "dialogs/option_dlg.h"
#include "dialogs/record_dlg.h"
#include "dialogs/search_dlg.h"
#include "dialogs/snapshot_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_vehicles.h"
#include "fleet/device_info.h"
#include "fleet/device_status_list.h"
#include "fleet/log_list.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "grid/recording_guard.h"
#include "grid/tree_channel.h"
#include "grid/workspace_keeper.h"
#include "map/map_dlg.h"
#include "map/map_view_settings.h"
#include "shell/panel_selector.h"
#include "shell/status_line.h"

namespace {

// Between the alarm list's selector and what the status line draws beside it.
constexpr int kSelectorGapPx = 4;

QString Title() {
    return AppProfile::Translate(QStringLiteral("Lumetra Client Application"));
}

}  // namespace

CAppMainDlg::CAppMainDlg(QWidget* parent) : CAppMainDlg(CAppClient::Settings(), parent) {}

CAppMainDlg::CAppMainDlg(AppSettings& settings, QWidget* parent)
    : QMainWindow(parent),
      settings_(settings),
      library_window_(this),
      dispatch_(*this),
      layout_(settings.UIPanelWidth, QGuiApplication::layoutDirection()) {
    central_ = new QWidget(this);
    central_->setAutoFillBackground(true);
    QPalette background = central_->palette();
    background.setColor(QPalette::Window, AppSettings::Color(settings.MainBkColor));
    central_->setPalette(background);
    central_->installEventFilter(this);
    setCentralWidget(central_);

    event_drain_.setSingleShot(true);
    event_drain_.setInterval(0);
    connect(&event_drain_, &QTimer::timeout, this, [this] {
        if (dispatch_.Drain(kEventSliceMs)) event_drain_.start();
    });
    session_ = VelqApp_Construct(&library_window_, VELQ_MESSAGE);
    if (!session_) return;  // the window stays up without the rest

    login_ = new CAppLoginDlg(this, settings_, this);
    setWindowTitle(Title());
    CreateMenu();
    CreateChildren();
    CreateDialogs();
    ConnectAlarms();

    status_line_->SetText(Title() + QStringLiteral("  "));
    const QString skin = AppProfile::Current() ? AppProfile::Current()->skinFolder() : QString();
    status_line_->SetImages(QPixmap(skin + QStringLiteral("top-bg.bmp")),
                            QPixmap(skin + QStringLiteral("logo.bmp")));
    tree_->Setup(this, skin);
    if (AppProfile::Current()) tree_->SetProvinces(AppProfile::Current()->Provinces());
    log_->SetHorizontalExtent(2 * settings.UIPanelWidth);
    QFont event_font(settings.Event_FontName);
    event_font.setPixelSize(qBound(6, settings.Event_FontSize, 200));
    event_font.setWeight(QFont::Black);
    status_line_->setFont(event_font);
    status_line_->SetTextColor(AppSettings::Color(settings.TextColor));
    vehicle_list_->InsertColumns();
    vehicle_list_->SetColors(AppSettings::Color(settings.TextColor),
                             AppSettings::Color(settings.ChildBkColor));
    log_->SetColors(AppSettings::Color(settings.TextColor), AppSettings::Color(settings.ChildBkColor));
    grid_->InitFromSettings();
    workspace_ = std::make_unique<WorkspaceKeeper>(
        *grid_, AppProfile::Current() ? AppProfile::Current()->programFolder() : QString());
    if (const std::optional<QSize> size = workspace_->StoredSize())
        grid_->SetGrid(size->height(), size->width());
    RestoreWorkspaceAtLogin();
    CheckGridSize();
    actions_ = std::make_unique<ChannelActions>(tree_, grid_, &library_window_,
                                                [this](const QString& line) { AddLogLine(nullptr, line); });
    actions_->SetMapToggle([this] { ToggleMapView(); });
    actions_->SetConfigCommand([this](QTreeWidgetItem* node) { ConfigCommand(node); });
    connect(tree_, &DevTree::channelActivated, this, [this] { actions_->Run(kCommandPlay); });
    connect(tree_, &DevTree::vehicleActivated, this, &CAppMainDlg::OpenVehicleVideo);
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

void CAppMainDlg::SetRecordingsCommand(std::function<void()> open_recordings) {
    open_recordings_ = std::move(open_recordings);
    if (recordings_action_ != nullptr) recordings_action_->setEnabled(static_cast<bool>(open_recordings_));
}

CAppMainDlg::~CAppMainDlg() {
    Shutdown();
}

void CAppMainDlg::CreateMenu() {
    const auto add = [this](QMenu* menu, const QString& text, int command, bool enabled) {
        QAction* action = menu->addAction(text);
        action->setData(command);
        action->setEnabled(enabled);
        return action;
    };
    QMenu* user = menuBar()->addMenu(AppProfile::Translate(QStringLiteral("User")));
    connect(add(user, AppProfile::Translate(QStringLiteral("Login")), kCmdLogin, true), &QAction::triggered,
            this, [this] {
                login_->show();
                login_->raise();
                login_->activateWindow();
            });
    connect(add(user, AppProfile::Translate(QStringLiteral("Load Page")), kCmdLoadPage, true),
            &QAction::triggered, this, &CAppMainDlg::LoadPage);
    connect(add(user, AppProfile::Translate(QStringLiteral("Save Page")), kCmdSavePage, true),
            &QAction::triggered, this, &CAppMainDlg::SavePage);
    user->addSeparator();
    recordings_action_ =
        add(user, AppProfile::Translate(QStringLiteral("Recordings...")), kCmdRecordings, false);
    connect(recordings_action_, &QAction::triggered, this, [this] {
        if (open_recordings_) open_recordings_();
    });
    user->addSeparator();
    QAction* quit = user->addAction(AppProfile::Translate(QStringLiteral("Exit")));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, [this] {
        if (ConfirmLosingRecordings()) close();
    });

    QAction* add_device = menuBar()->addAction(AppProfile::Translate(QStringLiteral("Add Device")));
    add_device->setData(int(kCmdAddDevice));

    QMenu* style = menuBar()->addMenu(AppProfile::Translate(QStringLiteral("Style")));
    auto* grid_sizes = new QActionGroup(this);
    // Radio entries: choosing the size already shown keeps it checked and leaves the grid as it is.
    grid_sizes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const char* const sizes[] = {"1 x 1", "2 x 2", "3 x 3", "4 x 4"};
    for (int n = 0; n < 4; ++n) {
        QAction* action = add(style, QLatin1String(sizes[n]), kCmdGrid1 + n, true);
        action->setCheckable(true);
        grid_sizes->addAction(action);
        connect(action, &QAction::triggered, this, [this, n] {
            if (grid_->Model().Rows() != n + 1 || grid_->Model().Cols() != n + 1)
                grid_->SetGrid(n + 1, n + 1);
            CheckGridSize();
        });
    }
    style->addSeparator();
    QAction* full_screen = style->addAction(AppProfile::Translate(QStringLiteral("Full Screen")));
    full_screen->setShortcut(Qt::Key_F11);
    full_screen->setShortcutContext(Qt::ApplicationShortcut);
    connect(full_screen, &QAction::triggered, this, &CAppMainDlg::ToggleFullScreen);
    add(style, AppProfile::Translate(QStringLiteral("Cycle Page")), kCmdCyclePage, true);

    QMenu* option = menuBar()->addMenu(AppProfile::Translate(QStringLiteral("Option")));
    add(option, AppProfile::Translate(QStringLiteral("Buffer Setting")), kCmdBufferSetting, true);
    add(option, AppProfile::Translate(QStringLiteral("Record Setting")), kCmdRecordSetting, true);
    add(option, AppProfile::Translate(QStringLiteral("Snapshot Setting")), kCmdSnapshotSetting, true);
}

QAction* CAppMainDlg::commandAction(int command) const {
    for (QAction* action : findChildren<QAction*>())
        if (action->data().toInt() == command) return action;
    return nullptr;
}

void CAppMainDlg::CreateChildren() {
    const AppSettings& settings = settings_;
    grid_ = new PageTab(this, settings_, central_);
    tree_ = new DevTree(central_);
    log_ = new LogList(central_);
    search_ = new CSearchDlg(settings_, central_);
    vehicle_list_ = new DeviceStatusList(central_);
    map_view_ = new CMapDlg(*this, ReadMapViewSettings());
    status_line_ = new StatusLine(central_);
    // Right to left the window mirrors, but not what shows the world: the video tiles keep the camera's
    // left and right, and the map keeps west on the left.
    grid_->setLayoutDirection(Qt::LeftToRight);
    map_view_->setLayoutDirection(Qt::LeftToRight);
    panels_[kDeviceList] = tree_;
    panels_[kLogInfo] = log_;
    panels_[kPlayback] = search_;
    alarm_vehicles_ = std::make_unique<TreeAlarmVehicles>(tree_);
    alarms_ = std::make_unique<AlarmDesk>(
        AlarmSettings::Read(AppProfile::Current() ? AppProfile::Current()->programFolder() : QString()),
        [](const QString& text) { return AppProfile::Translate(text); }, alarm_vehicles_.get());
    panels_[kAlarmList] = alarms_->Panel(central_);
    const QString names[kPanels] = {AppProfile::Translate(QStringLiteral("Device List")),
                                    AppProfile::Translate(QStringLiteral("Log Info")),
                                    AppProfile::Translate(QStringLiteral("Playback")),
                                    AppProfile::Translate(QStringLiteral("Alarm List"))};
    const char* const files[kPanels] = {"Device List", "Log Info", "Playback", "Alarm List"};
    const QString skin = AppProfile::Current() ? AppProfile::Current()->skinFolder() : QString();
    current_panel_ = kDeviceList;
    for (int i = 0; i < kPanels; ++i) {
        auto* selector = new PanelSelector(central_);
        selectors_[i] = selector;
        const QString base = skin + QLatin1String(files[i]);
        selector->LoadImages(base + QStringLiteral("-on.bmp"), base + QStringLiteral("-off.bmp"));
        selector->setToolTip(names[i]);
        selector->SetOn(i == current_panel_);
        selector->SetText(names[i]);
        selector->SetTextColor(AppSettings::Color(settings.TextColor));
        selector->setGeometry(layout_.PlaceSelector(i, central_->width()));
        connect(selector, &PanelSelector::clicked, this, [this, i] { ShowPanel(i); });
        panels_[i]->setVisible(i == current_panel_);
    }
    // The fourth selector sits where the status line's banner begins, over it: the status line keeps its
    // documented rectangle and its right-aligned text.
    selectors_[kAlarmList]->raise();
    connect(vehicle_list_, &DeviceStatusList::rowClicked, this, [this](int row) {
        if (const DevTreeEntry* record = tree_->Entry(row)) SelectDeviceNode(record->item);
        if (settings_.CycleStopMode & AppSettings::kStopCycleAnywhere) StopCycling();
    });
    connect(vehicle_list_, &DeviceStatusList::rowDragStarted, this, [this](int row) {
        if (const DevTreeEntry* record = tree_->Entry(row)) SelectDeviceNode(record->item);
        if (settings_.CycleStopMode & AppSettings::kStopCycleAnywhere) StopCycling();
    });
}

void CAppMainDlg::CreateDialogs() {
    dev_config_ = new CDevConfigDlg(settings_, this);
    dev_info_ =
        new CDevInfoDlg(settings_, session_,
                        AppProfile::Current() ? AppProfile::Current()->Provinces() : QStringList(), this);
    // Saving the cycle preferences restarts the grid's countdown with the new duration (0 stops it); saving
    // the buffer time applies it to every channel the grid shows.
    cycle_ = new CCycleDlg(settings_,
                           CycleCountdown{[this] { return grid_->Model().CycleCountdown() != 0; },
                                          [this](int) { grid_->StartCycling(); }},
                           this);
    option_ = new COptionDlg(
        settings_,
        [this] {
            QList<AppChannel*> channels;
            for (CDevShowDlg* window : grid_->Windows())
                if (window->channel) channels << window->channel;
            return channels;
        },
        this);
    record_ = new CRecordDlg(settings_, this);
    snapshot_ = new CSnapshotDlg(settings_, this);
    // Search shows the playback page in the map view (which keeps it until the Playback panel is left).
    search_->SetOpener([this](const QString& address) {
        AddLogLine(nullptr, address);
        map_view_->ShowPlaybackPage(QUrl(address));
    });
    const auto on = [this](int command, auto&& handler) {
        if (QAction* action = commandAction(command)) connect(action, &QAction::triggered, this, handler);
    };
    on(kCmdAddDevice, [this] {
        dev_info_->Open(nullptr);
        dev_info_->show();
        dev_info_->raise();
        dev_info_->activateWindow();
    });
    on(kCmdCyclePage, [this] { cycle_->ShowCurrent(); });
    on(kCmdBufferSetting, [this] { option_->ShowCurrent(); });
    on(kCmdRecordSetting, [this] { record_->ShowCurrent(); });
    on(kCmdSnapshotSetting, [this] { snapshot_->ShowCurrent(); });
}

void CAppMainDlg::ConfigCommand(QTreeWidgetItem* node) {
    if (!node) return;
    QTreeWidgetItem* device_node = node->parent() ? node->parent() : node;
    const DevTreeEntry* record = tree_->Entry(device_node->data(0, Qt::UserRole).toInt());
    if (!record) return;
    if (node->parent()) {
        dev_config_->setWindowTitle(device_node->text(0) + QStringLiteral(": ") + node->text(0) +
                                    QLatin1Char(' ') +
                                    AppProfile::Translate(QStringLiteral("Device Config Dialog")));
        dev_config_->Open(record->device, node->data(0, Qt::UserRole).toInt());
        return;
    }
    dev_info_->Open(record->device);
    dev_info_->show();
    dev_info_->raise();
    dev_info_->activateWindow();
}

void CAppMainDlg::Relayout(int width, int height) {
    if (!session_) return;
    for (int i = 0; i < 3; ++i)
        if (selectors_[i]) selectors_[i]->setGeometry(layout_.PlaceSelector(i, width));
    const QRect status_rect = layout_.Place(MainLayout::kStatusLine, width, height);
    status_line_->setGeometry(status_rect);
    // The alarm list's selector stands over one end of the status line, which keeps its rectangle and
    // draws banner, logo and text beside the selector.
    const QRect alarm_selector = layout_.PlaceSelector(kAlarmList, width);
    if (selectors_[kAlarmList]) selectors_[kAlarmList]->setGeometry(alarm_selector);
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
    panels_[kAlarmList]->setGeometry(layout_.Place(MainLayout::kTree, width, height));
    vehicle_list_->setGeometry(layout_.Place(MainLayout::kVehicleList, width, height));
    const QRect map_rect = layout_.Place(MainLayout::kMapView, width, height);
    const QRect grid_rect = layout_.Place(MainLayout::kGrid, width, height);
    // While "Playback" is shown the map view and the grid trade places.
    grid_slot_ = current_panel_ == kPlayback ? map_rect : grid_rect;
    map_slot_ = current_panel_ == kPlayback ? grid_rect : map_rect;
    map_view_->SetDockedRect(map_slot_);
    grid_->setGeometry(grid_slot_);
}

void CAppMainDlg::ShowPanel(int index) {
    if (!session_ || index == current_panel_ || index < 0 || index >= kPanels) return;
    selectors_[current_panel_]->SetOn(false);
    panels_[current_panel_]->hide();
    selectors_[index]->SetOn(true);
    panels_[index]->show();
    if (current_panel_ == kPlayback || index == kPlayback) {
        grid_slot_ = map_slot_;
        current_panel_ = index;
        map_slot_ = grid_->geometry();
        map_view_->SetDockedRect(map_slot_);
        grid_->setGeometry(grid_slot_);
    }
    current_panel_ = index;
    if (index == kPlayback && session_) VelqOpt_QueryAllDevice(session_);
    // Leaving Playback brings the live map back in place of the playback page.
    if (map_view_->Index == CMapDlg::kPlaybackPage && index != kPlayback) map_view_->BackToMap();
    map_view_->PostRefresh();
}

bool CAppMainDlg::event(QEvent* event) {
    if (event->type() == LibraryEvent::TypeId()) {
        const auto* library_event = static_cast<LibraryEvent*>(event);
        if (session_ && library_event->message() == VELQ_MESSAGE) {
            dispatch_.Enqueue(library_event->code(), library_event->value());
            if (!event_drain_.isActive()) event_drain_.start();
        }
        return true;
    }
    return QMainWindow::event(event);
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
    // The workspace follows the operator's grid only while a session is listed and nothing waits to be
    // restored: a logout or a list still arriving is no change of theirs.
    if (workspace_ && pending_page_.isEmpty() && listed_devices_ >= 0) workspace_->SaveIfChanged();
    // --page: a list that came without the devices it announced is taken as it is after a second.
    if (!pending_page_.isEmpty() && listed_devices_ >= 0 && ++page_wait_ticks_ >= 3) LoadPendingPage();
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
    while (dispatch_.Drain(1000)) {
    }
    event_drain_.stop();
    delete login_;
    login_ = nullptr;
    delete map_view_;
    map_view_ = nullptr;
    delete search_;
    search_ = nullptr;
    panels_[kPlayback] = nullptr;
    delete grid_;  // the display windows go with the grid
    grid_ = nullptr;
    VelqApp_Destruct(session_);
    session_ = nullptr;
}

void CAppMainDlg::AddLogLine(const QString* time, const QString& message) {
    status_line_->SetText(message + QStringLiteral("  "));
    const QString stamp =
        time ? *time : QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    log_->AddLine(u'[' + stamp + QStringLiteral("] ") + message);
}

void CAppMainDlg::ShowOnlineCount(int count) {
    if (listed_devices_ < 0) {
        listed_devices_ = count;
        if (count == 0 && !pending_page_.isEmpty()) LoadPendingPage();
    }
    if (count != 0)
        setWindowTitle(Title() + QStringLiteral(" - %1 ").arg(count) +
                       AppProfile::Translate(QStringLiteral("Online Devices")));
    else
        setWindowTitle(Title() + QStringLiteral(" - ") +
                       AppProfile::Translate(QStringLiteral("No Device Active")));
}

QString CAppMainDlg::SpeedCell(bool valid, double speed_kmh, const QByteArray& sentence) {
    if (valid) return QString::asprintf("%.2f km/h", speed_kmh);
    if (sentence.contains("$GPRMC")) return AppProfile::Translate(QStringLiteral("GPS invalid"));
    return AppProfile::Translate(QStringLiteral("GPS not valid"));
}

void CAppMainDlg::ShowSpeed(int row, bool valid, const QByteArray& sentence) {
    vehicle_list_->SetCell(row, 2, SpeedCell(valid, map_view_->SpeedBar, sentence));
}

void CAppMainDlg::UpdateStatusRow(const DevTreeEntry& record, int online) {
    const int row = VelqDev_GetUserData(record.device);
    const QString name = record.item ? record.item->text(0) : QString();
    vehicle_list_->SetRowName(row, name);
    vehicle_list_->SetCell(row, 1, DeviceText(record.device, VELQ_DEV_TEXT2, 32));
    if (online != 0) {
        const QByteArray sentence = DeviceBytes(record.device, VELQ_DEV_POSITION, 128);
        ShowSpeed(row, map_view_->Position(sentence, row) != 0, sentence);
        int32_t when = 0;
        if (VelqDev_GetDevInfo(record.device, VELQ_DEV_LAST_REPORT, &when, sizeof(when)) == 4 && when != 0)
            vehicle_list_->SetCell(row, 3,
                                   QDateTime::fromSecsSinceEpoch(uint32_t(when))
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    if (online == record.online) return;
    const QString id = DeviceText(record.device, VELQ_DEV_ID, 64);
    const QString device_part = u'[' + id + QStringLiteral(" - ") + name + QStringLiteral("] ");
    if (online != 0) {
        const QString time = vehicle_list_->Cell(row, 3);
        AddLogLine(&time, device_part + AppProfile::Translate(QStringLiteral("Online")));
    } else {
        AddLogLine(nullptr, device_part + AppProfile::Translate(QStringLiteral("Offline")));
    }
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

void CAppMainDlg::RunChannelCommand(int command) {
    actions_->Run(command);
}

void CAppMainDlg::PlayChannel(QTreeWidgetItem* channelItem, CDevShowDlg* window) {
    PlayTreeChannel(*tree_, channelItem, window);
}

void CAppMainDlg::StopChannel(CDevShowDlg* window) {
    StopTreeChannel(*tree_, window);
}

QTreeWidgetItem* CAppMainDlg::FindChannelNode(const QByteArray& device_id, int channel) {
    return tree_->FindChannelNode(device_id, channel);
}

bool CAppMainDlg::AudioPlaying(AppDevice* device) {
    const DevTreeEntry* record = tree_->Entry(VelqDev_GetUserData(device));
    return record && record->device == device && record->audio_channel &&
           VelqChn_IsAudioPlaying(record->audio_channel);
}

bool CAppMainDlg::Talking(AppDevice* device) {
    const auto talking = [](const DevTreeEntry* record) {
        return record && record->audio_channel && VelqChn_IsTalking(record->audio_channel);
    };
    if (device) {
        const DevTreeEntry* record = tree_->Entry(VelqDev_GetUserData(device));
        return record && record->device == device && talking(record);
    }
    for (int i = 0; i < tree_->EntryCount(); ++i) {
        if (talking(tree_->Entry(i))) return true;
    }
    return false;
}

QTreeWidgetItem* CAppMainDlg::SelectedNode() {
    return tree_->currentItem();
}

void CAppMainDlg::AddDevice(AppDevice* device, int online_allowed) {
    tree_->AddDevice(device, online_allowed);
    alarms_->VehicleListed(VelqDev_GetUserData(device), DeviceText(device, VELQ_DEV_ID, 64));
    if (!pending_page_.isEmpty() && listed_devices_ >= 0 && tree_->EntryCount() >= listed_devices_)
        LoadPendingPage();
}

void CAppMainDlg::LoadPendingPage() {
    const QString path = pending_page_;
    pending_page_.clear();
    grid_->LoadPageFile(path);
    CheckGridSize();
    // What was just restored is no change of the operator's: the workspace file stays as it is (a --page
    // file or channels the center did not list this time do not replace it) until they change the grid.
    if (workspace_) workspace_->MarkSaved();
}

void CAppMainDlg::RestoreWorkspaceAtLogin() {
    if (pending_page_.isEmpty() && workspace_ && workspace_->HasFile()) pending_page_ = workspace_->path();
}

bool CAppMainDlg::ConfirmLosingRecordings() {
    if (!ask_before_losing_recordings_ || !grid_ || shut_down_) return true;
    const int recording = RecordingChannels(grid_->Model());
    return recording == 0 || AskToStopRecording(this, recording);
}

void CAppMainDlg::CheckGridSize() {
    const int rows = grid_->Model().Rows();
    for (int n = 1; n <= 4; ++n) {
        if (QAction* size = commandAction(kCmdGrid1 + n - 1))
            size->setChecked(rows == n && grid_->Model().Cols() == n);
    }
}

void CAppMainDlg::LoadPageWhenListed(const QString& path) {
    pending_page_ = path;
    if (listed_devices_ == 0) LoadPendingPage();
}

namespace {

QString PageFileDialog(QWidget* parent, bool save) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("ini"));
    dialog.setNameFilter(QStringLiteral("Config File(*.ini)"));
    const QString folder = AppProfile::Current() ? AppProfile::Current()->programFolder() : QString();
    dialog.setDirectory(folder);
    dialog.selectFile(folder + QStringLiteral("PageConfig.ini"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

void CAppMainDlg::LoadPage() {
    const QString path = PageFileDialog(this, false);
    if (shut_down_) return;  // the window closed while the dialog was open
    if (!path.isEmpty()) grid_->LoadPageFile(path);
    CheckGridSize();
}

void CAppMainDlg::SavePage() {
    const QString path = PageFileDialog(this, true);
    if (shut_down_) return;
    if (!path.isEmpty() && !grid_->SavePageFile(path))
        AddLogLine(nullptr,
                   AppProfile::Translate(QStringLiteral("Save Page failed")) + QStringLiteral(": ") + path);
}

void CAppMainDlg::ToggleFullScreen() {
    setWindowState(windowState() ^ Qt::WindowFullScreen);
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

QSize CAppMainDlg::GridAreaSize() const {
    return grid_ ? grid_->size() : QSize();
}

void CAppMainDlg::LogoutCleanup() {
    if (!session_) return;
    search_->VehicleListBegin(0);
    dev_info_->hide();
    dev_config_->Close();
    grid_->ResetGrid();
    VelqApp_Logout(session_);
    alarms_->ForgetVehicles();
    tree_->DeleteAll();
    vehicle_list_->DeleteAllItems();
    center_link_.Reset();
    map_view_->Clear();
    setWindowTitle(Title());
    listed_devices_ = -1;
    page_wait_ticks_ = 0;
    RestoreWorkspaceAtLogin();
    login_->ShowConnectionState(1, 0);
}

void CAppMainDlg::PressLogin() {
    if (session_ && !VelqApp_IsActive(session_)) login_->OnOK();
}

bool CAppMainDlg::IsActive() {
    return session_ && VelqApp_IsActive(session_);
}

void CAppMainDlg::ReleaseOperation(AppOperation* operation) {
    VelqOpt_Release(session_, operation);
}

void CAppMainDlg::ReleaseDevice(AppDevice* device) {
    VelqDev_Release(device);
}

int CAppMainDlg::OperationKind(AppOperation* operation) {
    return VelqOpt_GetType(operation);
}

AppDevice* CAppMainDlg::OperationDevice(AppOperation* operation) {
    return VelqOpt_GetDevice(operation);
}

void CAppMainDlg::ShowConnectionState(int code, intptr_t value) {
    login_->ShowConnectionState(code, value);
    // Each accepted login asks for the words the vehicles already have (after the login's device list).
    if (code == VELQ_EV_LOGIN_OK || code == VELQ_EV_LOGIN_VERSION) AskStatusWords(session_);
    if (center_link_.OnConnectionState(code, QDateTime::currentDateTime())) {
        tree_->SetStatesUnknown(center_link_.down());
        vehicle_list_->SetStatesUnknown(center_link_.down());
        if (center_link_.down()) AddLogLine(nullptr, center_link_.StatusText());
    }
    // The reconnection attempts' words do not hide that the center is still away.
    if (center_link_.down()) status_line_->SetText(center_link_.StatusText() + QStringLiteral("  "));
}

void CAppMainDlg::ShowConfigStatus(const QString& text) {
    dev_config_->SetStatus(text);
}

void CAppMainDlg::SearchListBegin(int count) {
    search_->VehicleListBegin(count);
}

void CAppMainDlg::SearchVehicle(AppDevice* device) {
    search_->AddVehicle(device);
}

bool CAppMainDlg::TransferStatus(int code, AppChannel* channel) {
    return grid_->TransferStatus(code, channel);
}

void CAppMainDlg::PositionResult(AppOperation* operation, AppDevice* device) {
    if (!device) return;
    const int row = VelqDev_GetUserData(device);
    const auto* data = static_cast<const char*>(VelqOpt_GetGPSResult(operation));
    const QByteArray sentence = data ? QByteArray(data, int(qstrnlen(data, 256))) : QByteArray();
    if (map_view_->Position(sentence, row))
        vehicle_list_->SetCell(row, 2, QString::asprintf("%.2f km/h", map_view_->SpeedBar));
    else
        vehicle_list_->SetCell(row, 2, AppProfile::Translate(QStringLiteral("GPS not valid")));
}

void CAppMainDlg::ConfigResult(int kind, AppOperation* operation, AppDevice* device) {
    // The dispatch releases the operation afterwards.
    if (device && device == dev_config_->device()) dev_config_->Result(kind, operation);
}

void CAppMainDlg::ReportAlarm(AppDevice* device, int code) {
    // The alarm episodes follow the words themselves (the alarm desk watches them), which also show a
    // word going back to 0; the event only says a word changed between two non-zero values.
    tree_->ReportAlarm(device, code);
}

void CAppMainDlg::ConnectAlarms() {
    alarms_->SetUserSource([this] { return login_->userEdit()->text(); });
    alarms_->Panel(central_)->SetColors(AppSettings::Color(CAppClient::Settings().TextColor),
                                        AppSettings::Color(CAppClient::Settings().ChildBkColor));
    const auto show_count = [this](int count) {
        const QString name = AppProfile::Translate(QStringLiteral("Alarm List"));
        selectors_[kAlarmList]->SetText(count > 0 ? name + QStringLiteral(" (%1)").arg(count) : name);
    };
    show_count(alarms_->unacknowledged());
    connect(alarms_.get(), &AlarmDesk::unacknowledgedChanged, this, show_count);
    connect(alarms_.get(), &AlarmDesk::problemReported, this,
            [this](const QString& text) { AddLogLine(nullptr, text); });
    connect(alarms_.get(), &AlarmDesk::vehicleHighlightChanged, this, [this](int row, bool on) {
        const DevTreeEntry* record = tree_->Entry(row);
        if (record && record->item)
            record->item->setBackground(0, on ? QBrush(QColor(150, 32, 32)) : QBrush());
        vehicle_list_->SetRowHighlight(row, on);
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

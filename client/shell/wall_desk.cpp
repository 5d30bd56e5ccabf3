// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/wall_desk.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTreeWidgetItem>

#include "app/app_profile.h"
#include "app/own_settings.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"
#include "grid/page_file.h"
#include "grid/page_tab.h"
#include "grid/workspace_keeper.h"
#include "shell/wall_window.h"

namespace {

QScreen* ScreenNumber(int screen) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screen >= 1 && screen <= screens.size() ? screens[screen - 1] : nullptr;
}

// The current page of `grid`: its size and its bound windows' channels.
PageFileContent CurrentPageOf(const PageTab& grid) {
    const GridModel& model = grid.Model();
    PageFileContent content;
    content.pageName = model.PageNames().value(model.CurrentPage());
    content.rows = model.Rows();
    content.cols = model.Cols();
    const int first = model.CurrentPage() * model.Cells();
    const int end = std::min(first + model.Cells(), model.BoundCount());
    for (int i = first; i < end; ++i) {
        const GridSlot* slot = model.Windows()[size_t(i)];
        if (!slot->channel_item || !slot->channel_item->parent() || !slot->device) continue;
        PageFileEntry entry;
        entry.index = int(content.entries.size()) + 1;
        entry.deviceId = DeviceBytes(slot->device, VELQ_DEV_ID, 64);
        entry.vehicleId = slot->channel_item->parent()->text(0);
        entry.channel = slot->channel_item->data(0, Qt::UserRole).toInt();
        content.entries.push_back(entry);
    }
    content.liveCount = int(content.entries.size());
    return content;
}

}  // namespace

WallDesk::WallDesk(Parts parts, QObject* parent)
    : QObject(parent), parts_(std::move(parts)), alarm_screen_(parts_.own) {
    for (const QString& number :
         parts_.own.ReadString(kScreensKey, QString()).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int screen = number.trimmed().toInt(&ok);
        // Bounded: a damaged file names no more walls than a desk has screens.
        if (ok && screen >= 1 && screen <= 16) kept_.insert(screen);
    }
    connect(&parts_.session.events(), &EventDispatch::listBegins, this, &WallDesk::ListBegins);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this] { Arrange(); });
    // Removed: Qt still lists the screen while it tells; the walls are arranged once it is gone.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this,
            [this] { QMetaObject::invokeMethod(this, &WallDesk::Arrange, Qt::QueuedConnection); });
    Arrange();
}

WallDesk::~WallDesk() {
    CloseAll();
}

QString WallDesk::FolderOf(int screen) const {
    return parts_.program_folder + QStringLiteral("Walls/Screen%1/").arg(screen);
}

QScreen* WallDesk::MainScreen() const {
    QWidget* main = parts_.main_grid.window();
    return main ? main->screen() : QGuiApplication::primaryScreen();
}

WallWindow* WallDesk::WallOn(int screen) const {
    const auto it = walls_.find(screen);
    return it == walls_.end() ? nullptr : it->second;
}

PageTab* WallDesk::AlarmGrid() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    const int screen = alarm_screen_.Target(int(screens.size()), int(screens.indexOf(MainScreen())) + 1);
    if (screen == 0) return nullptr;
    WallWindow* wall = MakeWall(screen);
    // Made for the alarm, the wall stays like a sent one, so the next start shows it again.
    if (kept_.insert(screen).second) KeepScreens();
    return wall->grid();
}

WallWindow* WallDesk::MakeWall(int screen) {
    if (WallWindow* wall = WallOn(screen)) return wall;
    auto* wall = new WallWindow(parts_.tree, parts_.settings, parts_.store, parts_.session, parts_.channels,
                                FolderOf(screen), parts_.log);
    wall->setWindowTitle(AppProfile::Translate(QStringLiteral("Wall on Screen %1")).arg(screen));
    walls_[screen] = wall;
    if (listed_) wall->ListBegins(parts_.tree.EntryCount());
    wall->ShowOn(ScreenNumber(screen));
    return wall;
}

bool WallDesk::SendCurrentPage(int screen) {
    QScreen* target = ScreenNumber(screen);
    if (!target || target == MainScreen()) return false;
    const QString folder = FolderOf(screen);
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral("Sent.ini");
    if (!WritePageFile(file, CurrentPageOf(parts_.main_grid))) {
        parts_.log(AppProfile::Translate(QStringLiteral("Save Page failed")) + QStringLiteral(": ") + file);
        return false;
    }
    WallWindow* wall = MakeWall(screen);
    // The page replaces what the wall showed.
    wall->CloseChannels();
    wall->WantPage(file);
    kept_.insert(screen);
    KeepScreens();
    return true;
}

bool WallDesk::ShowPageFile(int screen, const QString& file) {
    if (!ScreenNumber(screen)) return false;
    MakeWall(screen)->WantPage(file);
    return true;
}

void WallDesk::CloseWall(int screen) {
    const auto it = walls_.find(screen);
    if (it != walls_.end()) {
        delete it->second;
        walls_.erase(it);
    }
    if (kept_.erase(screen)) KeepScreens();
}

void WallDesk::CloseAll() {
    for (auto& [screen, wall] : walls_) delete wall;
    walls_.clear();
}

void WallDesk::KeepScreens() {
    QStringList numbers;
    for (int screen : kept_) numbers << QString::number(screen);
    if (!parts_.own.WriteString(kScreensKey, numbers.join(u',')))
        parts_.log(AppProfile::Translate(QStringLiteral("Settings not saved")) + QStringLiteral(": ") +
                   parts_.own.path());
}

void WallDesk::Arrange() {
    // A wall whose screen went gives its channels to the main grid.
    for (auto it = walls_.begin(); it != walls_.end();) {
        QScreen* screen = ScreenNumber(it->first);
        if (screen && screen != MainScreen()) {
            if (it->second->screen() != screen) it->second->ShowOn(screen);
            ++it;
            continue;
        }
        WallWindow* wall = it->second;
        wall->Tick();  // its page file as it is now
        const QString file = wall->HasPageFile() ? wall->PageFilePath() : QString();
        delete wall;
        it = walls_.erase(it);
        if (!file.isEmpty()) ToMainGrid(file);
    }
    for (int number : kept_) {
        if (WallOn(number)) continue;
        QScreen* screen = ScreenNumber(number);
        if (screen && screen != MainScreen()) {
            MakeWall(number);
        } else if (const QString file = FolderOf(number) + QLatin1String(WorkspaceKeeper::kFileName);
                   QFileInfo::exists(file)) {
            ToMainGrid(file);
        }
    }
}

void WallDesk::ToMainGrid(const QString& file) {
    if (listed_) {
        parts_.main_grid.LoadPageFile(file);
        return;
    }
    fallback_files_.push_back(file);
    fallback_schedule_.Want(file);
}

void WallDesk::ListBegins(int devices) {
    for (auto& [screen, wall] : walls_) wall->ListBegins(devices);
    if (fallback_schedule_.ListBegins(devices)) Tick();
}

void WallDesk::Tick() {
    for (auto& [screen, wall] : walls_) wall->Tick();
    if (fallback_schedule_.DevicesListed(parts_.tree.EntryCount()) || fallback_schedule_.Tick()) {
        fallback_schedule_.Take();
        for (const QString& file : fallback_files_) parts_.main_grid.LoadPageFile(file);
        fallback_files_.clear();
    }
    listed_ = fallback_schedule_.savesAllowed();
}

void WallDesk::LoggedOut() {
    for (auto& [screen, wall] : walls_) wall->LoggedOut();
    fallback_schedule_.LoggedOut();
    listed_ = false;
}

void WallDesk::FillMenu(QMenu& menu) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int number = 1; number <= screens.size(); ++number) {
        if (screens[number - 1] == MainScreen()) continue;
        QAction* send =
            menu.addAction(AppProfile::Translate(QStringLiteral("Send Page to Screen %1")).arg(number));
        send->setObjectName(QStringLiteral("sendPageToScreen%1").arg(number));
        connect(send, &QAction::triggered, this, [this, number] { SendCurrentPage(number); });
    }
    if (!walls_.empty()) menu.addSeparator();
    for (const auto& [number, wall] : walls_) {
        QAction* close =
            menu.addAction(AppProfile::Translate(QStringLiteral("Close Wall on Screen %1")).arg(number));
        close->setObjectName(QStringLiteral("closeWallOnScreen%1").arg(number));
        connect(close, &QAction::triggered, this, [this, number = number] { CloseWall(number); });
    }
    if (menu.isEmpty()) {
        menu.addAction(AppProfile::Translate(QStringLiteral("No other screen")))->setEnabled(false);
    } else {
        menu.addSeparator();
        AddAlarmChoice(menu, 0, AppProfile::Translate(QStringLiteral("Alarm Video on Main Window")));
        for (int number = 1; number <= screens.size(); ++number) {
            if (screens[number - 1] == MainScreen()) continue;
            AddAlarmChoice(menu, number,
                           AppProfile::Translate(QStringLiteral("Alarm Video on Screen %1")).arg(number));
        }
    }
}

void WallDesk::AddAlarmChoice(QMenu& menu, int screen, const QString& text) {
    QAction* choice = menu.addAction(text);
    choice->setObjectName(QStringLiteral("alarmVideoOnScreen%1").arg(screen));
    choice->setCheckable(true);
    choice->setChecked(alarm_screen_.chosen() == screen);
    connect(choice, &QAction::triggered, this, [this, screen] {
        if (!alarm_screen_.Choose(screen))
            parts_.log(AppProfile::Translate(QStringLiteral("Settings not saved")) + QStringLiteral(": ") +
                       parts_.own.path());
    });
}

void WallDesk::AddMenu(QMenuBar& bar) {
    QMenu* menu = bar.addMenu(AppProfile::Translate(QStringLiteral("Screens")));
    menu->setObjectName(QStringLiteral("screensMenu"));
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        FillMenu(*menu);
    });
    FillMenu(*menu);
}

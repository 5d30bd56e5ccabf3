// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/keyboard_desk.h"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidgetItem>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "dialogs/config_values.h"
#include "fleet/alarm_panel.h"
#include "fleet/fleet_finder.h"
#include "grid/channel_actions.h"
#include "grid/channel_commands.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "shell/shortcut_table.h"
#include "shell/shortcuts_dlg.h"

namespace {

// The device dialog's hold buttons the camera keys stand for.
int ControlOf(ShortcutId id) {
    switch (id) {
        case ShortcutId::kPtzUp:
            return 1200;
        case ShortcutId::kPtzDown:
            return 1201;
        case ShortcutId::kPtzLeft:
            return 1202;
        case ShortcutId::kPtzRight:
            return 1203;
        case ShortcutId::kPtzZoomIn:
            return 1208;
        case ShortcutId::kPtzZoomOut:
            return 1209;
        default:
            return 0;
    }
}

}  // namespace

KeyboardDesk::KeyboardDesk(QMainWindow& window, Commands commands)
    : QObject(&window), window_(window), commands_(std::move(commands)) {
    ptz_ = new PtzKeys(&window, commands_.ptz_target, commands_.ptz_settings, commands_.ptz_send);
    const auto bind = [this](const ShortcutEntry& entry, int index, std::function<void()> run) {
        auto* action = new QAction(AppProfile::Translate(QString::fromLatin1(entry.text)), &window_);
        action->setObjectName(QStringLiteral("shortcut%1_%2").arg(int(entry.id)).arg(index));
        action->setShortcut(KeysOf(entry).value(index));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, std::move(run));
        window_.addAction(action);
    };
    for (const ShortcutEntry& entry : ShortcutTable()) {
        switch (entry.id) {
            case ShortcutId::kTile:
                for (int cell = 0; cell < KeysOf(entry).size(); ++cell)
                    bind(entry, cell, [this, cell] { commands_.pick_tile(cell); });
                break;
            case ShortcutId::kPreviousPage:
                bind(entry, 0, [this] { commands_.turn_page(-1); });
                break;
            case ShortcutId::kNextPage:
                bind(entry, 0, [this] { commands_.turn_page(1); });
                break;
            case ShortcutId::kPlay:
                bind(entry, 0, [this] { commands_.channel(kCommandPlay); });
                break;
            case ShortcutId::kRecord:
                bind(entry, 0, [this] { commands_.channel(kCommandRecord); });
                break;
            case ShortcutId::kSnapshot:
                bind(entry, 0, [this] { commands_.channel(kCommandSnapshot); });
                break;
            case ShortcutId::kAcknowledge:
                bind(entry, 0, [this] { commands_.acknowledge(); });
                break;
            case ShortcutId::kFindVehicle:
                bind(entry, 0, [this] { commands_.find_vehicle(); });
                break;
            case ShortcutId::kShortcuts:
                bind(entry, 0, [this] { ShowShortcuts(); });
                break;
            case ShortcutId::kPtzUp:
            case ShortcutId::kPtzDown:
            case ShortcutId::kPtzLeft:
            case ShortcutId::kPtzRight:
            case ShortcutId::kPtzZoomIn:
            case ShortcutId::kPtzZoomOut:
                ptz_->Bind(KeysOf(entry).first()[0], ControlOf(entry.id));
                break;
            default:
                // Full screen has its menu entry; the grid answers its own keys while it has the focus.
                break;
        }
    }
    if (QMenuBar* bar = window_.menuBar()) {
        QMenu* help = bar->addMenu(AppProfile::Translate(QStringLiteral("Help")));
        help->setObjectName(QStringLiteral("helpMenu"));
        QAction* shortcuts = help->addAction(AppProfile::Translate(QStringLiteral("Shortcuts")));
        shortcuts->setObjectName(QStringLiteral("showShortcuts"));
        connect(shortcuts, &QAction::triggered, this, &KeyboardDesk::ShowShortcuts);
    }
}

void KeyboardDesk::ShowShortcuts() {
    if (!shortcuts_) shortcuts_ = new ShortcutsDlg(&window_);
    shortcuts_->show();
    shortcuts_->raise();
    shortcuts_->activateWindow();
}

KeyboardDesk::Commands KeyboardDesk::ForMainWindow(PageTab& grid, ChannelActions& actions,
                                                   std::function<void(QTreeWidgetItem*)> select_node,
                                                   AlarmPanel& alarms, FleetFinder& finder,
                                                   const AppSettings& settings) {
    Commands commands;
    commands.pick_tile = [&grid](int cell) {
        if (cell < grid.Model().Cells()) grid.Model().PickCell(cell);
    };
    commands.turn_page = [&grid](int step) {
        GridModel& model = grid.Model();
        model.OnTabSelected((model.CurrentPage() + step + model.Pages()) % model.Pages());
    };
    commands.channel = [&grid, &actions, select_node](int command) {
        if (command != kCommandPlay) {
            const CDevShowDlg* active = grid.ActiveWindow();
            if (!active || !active->channel_item) return;
            select_node(active->channel_item);
        }
        actions.Run(command);
    };
    commands.acknowledge = [&alarms] {
        if (alarms.acknowledgeButton()->isEnabled()) alarms.acknowledgeButton()->click();
    };
    commands.find_vehicle = [&finder] {
        finder.edit()->setFocus(Qt::ShortcutFocusReason);
        finder.edit()->selectAll();
    };
    commands.ptz_target = [&grid]() -> PtzKeys::Camera {
        const CDevShowDlg* active = grid.ActiveWindow();
        if (!active || !active->device || !active->channel_item) return {};
        return {active->device, active->channel_item->data(0, Qt::UserRole).toInt()};
    };
    commands.ptz_settings = [&settings] {
        return PtzSettings{settings.Ptz_Speed, settings.Ptz_Laser, settings.Ptz_Spot};
    };
    commands.ptz_send = [](const PtzKeys::Camera& camera, int32_t value) {
        return VelqOpt_QueryControl(camera.device, config_values::kCameraControl, camera.channel, value, 0) !=
               0;
    };
    return commands;
}

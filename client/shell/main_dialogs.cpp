// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_dialogs.h"

#include <QPointer>
#include <QTreeWidgetItem>

#include "app/app_profile.h"
#include "app/settings_store.h"
#include "dialogs/cycle_dlg.h"
#include "dialogs/dev_config_dlg.h"
#include "dialogs/dev_info_dlg.h"
#include "dialogs/option_dlg.h"
#include "dialogs/record_dlg.h"
#include "dialogs/snapshot_dlg.h"
#include "fleet/dev_tree.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "shell/main_menu_bar.h"

MainDialogs::MainDialogs(AppSettings& settings, SettingsStore& store, AppSession* session,
                         PageTab* grid_widget, const DevTree& tree, QWidget* parent)
    : tree_(tree) {
    const QPointer<PageTab> grid(grid_widget);
    dev_config_ = new CDevConfigDlg(settings, store, parent);
    dev_info_ = new CDevInfoDlg(settings, session, store.provinces(), parent);
    cycle_ = new CCycleDlg(settings, store,
                           CycleCountdown{[grid] { return grid && grid->Model().CycleCountdown() != 0; },
                                          [grid](int) {
                                              if (grid) grid->StartCycling();
                                          }},
                           parent);
    option_ = new COptionDlg(
        settings, store,
        [grid] {
            QList<AppChannel*> channels;
            if (!grid) return channels;
            for (CDevShowDlg* window : grid->Windows())
                if (window->channel) channels << window->channel;
            return channels;
        },
        parent);
    record_ = new CRecordDlg(settings, store, parent);
    snapshot_ = new CSnapshotDlg(settings, store, parent);
}

bool MainDialogs::Open(int command) {
    switch (command) {
        case MainMenuBar::kCmdAddDevice:
            OpenDevice(nullptr);
            return true;
        case MainMenuBar::kCmdCyclePage:
            cycle_->ShowCurrent();
            return true;
        case MainMenuBar::kCmdBufferSetting:
            option_->ShowCurrent();
            return true;
        case MainMenuBar::kCmdRecordSetting:
            record_->ShowCurrent();
            return true;
        case MainMenuBar::kCmdSnapshotSetting:
            snapshot_->ShowCurrent();
            return true;
        default:
            return false;
    }
}

void MainDialogs::OpenDevice(AppDevice* device) {
    dev_info_->Open(device);
    dev_info_->show();
    dev_info_->raise();
    dev_info_->activateWindow();
}

void MainDialogs::ConfigCommand(QTreeWidgetItem* node) {
    if (!node) return;
    QTreeWidgetItem* device_node = node->parent() ? node->parent() : node;
    const DevTreeEntry* record = tree_.Entry(device_node->data(0, Qt::UserRole).toInt());
    if (!record) return;
    if (!node->parent()) {
        OpenDevice(record->device);
        return;
    }
    dev_config_->setWindowTitle(device_node->text(0) + QStringLiteral(": ") + node->text(0) +
                                QLatin1Char(' ') +
                                AppProfile::Translate(QStringLiteral("Device Config Dialog")));
    dev_config_->Open(record->device, node->data(0, Qt::UserRole).toInt());
}

void MainDialogs::CloseDeviceDialogs() {
    dev_info_->hide();
    dev_config_->Close();
}

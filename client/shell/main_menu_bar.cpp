// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_menu_bar.h"

#include <QActionGroup>

#include "app/app_profile.h"

namespace {

QString Tr(const char* text) {
    return AppProfile::Translate(QString::fromLatin1(text));
}

}  // namespace

MainMenuBar::MainMenuBar(QWidget* parent) : QMenuBar(parent) {
    const auto add = [this](QMenu* menu, const QString& text, int command) {
        QAction* action = menu->addAction(text);
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { emit commandChosen(command); });
        return action;
    };
    QMenu* user = addMenu(Tr("User"));
    add(user, Tr("Login"), kCmdLogin);
    add(user, Tr("Load Page"), kCmdLoadPage);
    add(user, Tr("Save Page"), kCmdSavePage);
    user->addSeparator();
    // Enabled once the composition root says how to open the recordings.
    add(user, Tr("Recordings..."), kCmdRecordings)->setEnabled(false);
    user->addSeparator();
    QAction* quit = user->addAction(Tr("Exit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &MainMenuBar::exitChosen);

    QAction* add_device = addAction(Tr("Add Device"));
    add_device->setData(int(kCmdAddDevice));
    connect(add_device, &QAction::triggered, this, [this] { emit commandChosen(kCmdAddDevice); });

    QMenu* style = addMenu(Tr("Style"));
    auto* grid_sizes = new QActionGroup(this);
    // Radio entries: choosing the size already shown keeps it checked.
    grid_sizes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const char* const sizes[] = {"1 x 1", "2 x 2", "3 x 3", "4 x 4"};
    for (int n = 0; n < 4; ++n) {
        QAction* action = style->addAction(QLatin1String(sizes[n]));
        action->setData(kCmdGrid1 + n);
        action->setCheckable(true);
        grid_sizes->addAction(action);
        connect(action, &QAction::triggered, this, [this, n] { emit gridSizeChosen(n + 1); });
    }
    style->addSeparator();
    QAction* full_screen = style->addAction(Tr("Full Screen"));
    full_screen->setShortcut(Qt::Key_F11);
    full_screen->setShortcutContext(Qt::ApplicationShortcut);
    connect(full_screen, &QAction::triggered, this, &MainMenuBar::fullScreenToggled);
    add(style, Tr("Cycle Page"), kCmdCyclePage);

    QMenu* option = addMenu(Tr("Option"));
    add(option, Tr("Buffer Setting"), kCmdBufferSetting);
    add(option, Tr("Record Setting"), kCmdRecordSetting);
    add(option, Tr("Snapshot Setting"), kCmdSnapshotSetting);
}

QAction* MainMenuBar::commandAction(int command) const {
    for (QAction* action : findChildren<QAction*>())
        if (action->data().toInt() == command) return action;
    return nullptr;
}

void MainMenuBar::CheckGridSize(int rows, int cols) {
    for (int n = 1; n <= 4; ++n) {
        if (QAction* size = commandAction(kCmdGrid1 + n - 1)) size->setChecked(rows == n && cols == n);
    }
}

void MainMenuBar::SetRecordingsEnabled(bool enabled) {
    if (QAction* recordings = commandAction(kCmdRecordings)) recordings->setEnabled(enabled);
}

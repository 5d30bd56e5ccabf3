// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/menu_commands.h"

#include "shell/main_dialogs.h"
#include "shell/main_menu_bar.h"
#include "shell/page_keeper.h"

MenuCommands::MenuCommands(const Targets& targets, WindowSide window_side, QObject* parent)
    : QObject(parent),
      menu_(targets.menu),
      dialogs_(targets.dialogs),
      pages_(targets.pages),
      grid_(targets.grid),
      login_(targets.login),
      window_(targets.window),
      window_side_(std::move(window_side)) {
    connect(&menu_, &MainMenuBar::commandChosen, this, &MenuCommands::Run);
    connect(&menu_, &MainMenuBar::gridSizeChosen, this, [this](int side) {
        if (!grid_) return;
        if (grid_->Model().Rows() != side || grid_->Model().Cols() != side) grid_->SetGrid(side, side);
        CheckGridSize();
    });
    connect(&menu_, &MainMenuBar::fullScreenToggled, this, [this] { window_side_.toggle_full_screen(); });
    connect(&menu_, &MainMenuBar::exitChosen, this, [this] { window_side_.exit(); });
    CheckGridSize();
}

void MenuCommands::Run(int command) {
    if (dialogs_.Open(command)) return;
    if (command == MainMenuBar::kCmdLogin && login_) {
        login_->show();
        login_->raise();
        login_->activateWindow();
    } else if (command == MainMenuBar::kCmdLoadPage) {
        pages_.LoadPage(&window_);
    } else if (command == MainMenuBar::kCmdSavePage) {
        pages_.SavePage(&window_);
    } else if (command == MainMenuBar::kCmdRecordings && open_recordings_) {
        open_recordings_();
    }
}

void MenuCommands::SetRecordingsCommand(std::function<void()> open_recordings) {
    open_recordings_ = std::move(open_recordings);
    menu_.SetRecordingsEnabled(static_cast<bool>(open_recordings_));
}

void MenuCommands::CheckGridSize() {
    if (grid_) menu_.CheckGridSize(grid_->Model().Rows(), grid_->Model().Cols());
}

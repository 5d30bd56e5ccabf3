// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's menus: User (Login, Load Page, Save Page, Recordings..., Exit), Add Device, Style (the
// grid sizes, Full Screen, Cycle Page) and Option (Buffer, Record and Snapshot Setting). The bar only
// says what was chosen; the window wires each signal to what does it. UI thread only.
#include <QMenuBar>

class MainMenuBar : public QMenuBar {
    Q_OBJECT
  public:
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

    explicit MainMenuBar(QWidget* parent = nullptr);

    // The entry of a command (by its data), or null.
    QAction* commandAction(int command) const;
    // The Style menu's check follows the grid's size: n x n for a square grid of 1..4, none otherwise.
    void CheckGridSize(int rows, int cols);
    void SetRecordingsEnabled(bool enabled);

  signals:
    // A command of the list above was chosen (not the grid sizes, Exit and Full Screen).
    void commandChosen(int command);
    // Style -> n x n (1..4).
    void gridSizeChosen(int side);
    void fullScreenToggled();
    void exitChosen();
};

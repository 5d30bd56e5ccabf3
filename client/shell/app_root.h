// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the client's windows for an application that has started (CAppClient::InitInstance done). UI thread
// only.
#include <QString>
#include <vector>

class CAppClient;

// Makes the main window, shows it (pressing Login first when `login`; full screen when `fullscreen`;
// loading page file `page` once the first device list is in, when not empty), runs the event loop until
// the window closes, then destroys it. Returns the program's exit code.
// `walls`: page files played on walls of other screens (--wall), each once the devices are listed; a
// screen that does not exist is said on standard error and its file not played.
struct WallPage {
    int screen = 0;  // from 1, as Qt lists the screens
    QString file;
};
constexpr int kMaxWallScreen = 16;
int RunMainWindow(CAppClient& client, bool login, const QString& page = QString(), bool fullscreen = false,
                  const std::vector<WallPage>& walls = {});

// `tavrin FILE.avi`: a player window on the recording, without the main window and without logging in,
// until it closes. A file that cannot be played gets its message (in a message box, and on standard
// error) and exit code 1.
int RunPlayerWindow(CAppClient& client, const QString& file);

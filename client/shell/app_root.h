// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the client's windows for an application that has started (CAppClient::InitInstance done). UI thread
// only.
#include <QString>

class CAppClient;

// Makes the main window, shows it (pressing Login first when `login`; full screen when `fullscreen`;
// loading page file `page` once the first device list is in, when not empty), runs the event loop until
// the window closes, then destroys it. Returns the program's exit code.
int RunMainWindow(CAppClient& client, bool login, const QString& page = QString(), bool fullscreen = false);

// `tavrin FILE.avi`: a player window on the recording, without the main window and without logging in,
// until it closes. A file that cannot be played gets its message (in a message box, and on standard
// error) and exit code 1.
int RunPlayerWindow(CAppClient& client, const QString& file);

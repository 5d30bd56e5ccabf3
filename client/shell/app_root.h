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

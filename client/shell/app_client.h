#pragma once
// The application object: starts the client in its fixed order, keeps the settings read at start-up and
// runs the main window until it closes. One exists while the client runs (tests make their own); every
// window reaches the settings and the main window through it. UI thread only.
#include <QString>
#include <memory>

#include "shell/app_folders.h"
#include "shell/app_settings.h"

class CAppMainDlg;

class CAppClient {
  public:
    // Makes the process's AppProfile for `folders`.
    explicit CAppClient(const AppFolders& folders);
    ~CAppClient();
    CAppClient(const CAppClient&) = delete;
    CAppClient& operator=(const CAppClient&) = delete;

    // Start-up after the application object exists: language and skin, the locale, the cached settings.
    void InitInstance();
    // Makes the main window, shows it (pressing Login first when `login`; full screen when `fullscreen`;
    // loading page file `page` once the first device list is in, when not empty), runs until it closes,
    // destroys it. Returns the program's exit code.
    int Run(bool login, const QString& page = QString(), bool fullscreen = false);

    static CAppClient* Get();
    // The running client's settings; the defaults when no client exists.
    static AppSettings& Settings();

    AppSettings settings;
    CAppMainDlg* mainWindow() const { return main_window_; }

  private:
    CAppMainDlg* main_window_ = nullptr;
};

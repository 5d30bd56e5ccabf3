// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: makes the process's profile, starts the client in its fixed order and keeps the
// settings read at start-up. One exists while the client runs (tests make their own). UI thread only.
#include <QString>
#include <memory>

#include "app/app_folders.h"
#include "app/app_settings.h"

class AppProfile;
class HeapKeeper;
class QtTranslations;

class CAppClient {
  public:
    // Makes the process's AppProfile for `folders`.
    explicit CAppClient(const AppFolders& folders);
    ~CAppClient();
    CAppClient(const CAppClient&) = delete;
    CAppClient& operator=(const CAppClient&) = delete;

    // Start-up after the application object exists: the heap's keeper, language and skin, the locale, Qt's
    // own texts and the layout direction of the language (when its file was found), the cached settings,
    // and a short scheduling slice for the calling (UI) thread. UI thread.
    void InitInstance();
    // The process's profile this client made (null once a test replaced it with none).
    AppProfile* profile() const;

    AppSettings settings;

  private:
    std::unique_ptr<HeapKeeper> heap_keeper_;
    std::unique_ptr<QtTranslations> qt_translations_;
    bool mirrored_ = false;  // this client made the application right to left
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client tests' main window, built from the collaborators the composition root hands it: the settings
// store over the client's profile, Tavrin.ini's reader in the program folder and a session controller.
// The fixture owns them and the window, and destroys the window first: its display windows release their
// channels while the session is still there.
#include <QWidget>
#include <memory>

#include "app/app_client.h"
#include "app/own_settings.h"
#include "app/session_controller.h"
#include "app/settings_store.h"
#include "main_window_parts.h"  // how the tests reach the window's children
#include "shell/app_main_dlg.h"

class MainWindowFixture {
  public:
    // `client` outlives the fixture.
    explicit MainWindowFixture(CAppClient& client, QWidget* parent = nullptr)
        : store_(client.profile()),
          own_(store_.programFolder()),
          window_(std::make_unique<CAppMainDlg>(client.settings, store_, session_, own_, parent)) {}
    ~MainWindowFixture() { window_.reset(); }
    MainWindowFixture(const MainWindowFixture&) = delete;
    MainWindowFixture& operator=(const MainWindowFixture&) = delete;

    CAppMainDlg& window() { return *window_; }
    SessionController& session() { return session_; }
    SettingsStore& store() { return store_; }
    OwnSettings& own() { return own_; }

  private:
    SettingsStore store_;
    OwnSettings own_;
    SessionController session_;
    std::unique_ptr<CAppMainDlg> window_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The live client of the client tests: velq-sim's whole platform in the test process on 127.0.0.1, the
// scratch folder's Config.ini pointing the client at it, the client started on that folder; and the
// operator's login that waits until the fleet is listed.
#include <QString>
#include <QTest>
#include <memory>

#include "../client/client_fixture.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "main_window_parts.h"
#include "shell/app_main_dlg.h"

// The default fleet's vehicles that are online: what the tree lists once the login is through.
inline constexpr int kOnlineVehicles = 6;

class LiveClient {
  public:
    ~LiveClient() { Stop(); }

    // Starts velq-sim, writes Config.ini with its center's ports and `settings` (more lines of the
    // [Tavrin] section, each ending in a newline) and makes the client. False, with the reason in the test
    // log, when velq-sim does not start.
    bool Start(const ScratchHome& home, const QString& settings = QString()) {
        platform_ = StartSimPlatform();
        if (!platform_) return false;
        home.WriteFile("Config.ini", QStringLiteral("[Tavrin]\nCenterServer_Address=127.0.0.1\n"
                                                    "CenterServer_TcpPort=%1\nCenterServer_UdpPort=%2\n")
                                             .arg(platform_->center().tcp_port())
                                             .arg(platform_->center().udp_port())
                                             .toUtf8() +
                                         settings.toUtf8());
        client_ = home.StartClient();
        return true;
    }
    // The client goes first: its session logs out while the simulator still answers.
    void Stop() {
        client_.reset();
        if (platform_) platform_->Stop();
        platform_.reset();
    }
    velq_sim::SimPlatform& platform() { return *platform_; }
    CAppClient& client() { return *client_; }

  private:
    std::unique_ptr<velq_sim::SimPlatform> platform_;
    std::unique_ptr<CAppClient> client_;
};

// Presses Login (the settings' credentials) and waits up to 15 s until the tree lists the online
// vehicles. False when it did not.
[[nodiscard]] inline bool LogInAndWaitForFleet(CAppMainDlg& window) {
    window.PressLogin();
    return QTest::qWaitFor([&] { return TreeOf(window)->EntryCount() == kOnlineVehicles; }, 15000);
}

// Shows the main window, waits until it is on the screen, puts away the login dialog that opens with it
// and logs in as LogInAndWaitForFleet does.
[[nodiscard]] inline bool ShowAndLogIn(CAppMainDlg& window) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return false;
    LoginDialogOf(window)->hide();
    return LogInAndWaitForFleet(window);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the dialogs' tests: the whole simulated platform (center, transfer and web side) on
// kernel-picked ports of 127.0.0.1, and a main window of a client started on a scratch folder that is
// logged in to it.
#include <QTest>
#include <memory>
#include <string>

#include "../client_fixture.h"
#include "fleet/dev_tree.h"
#include "main_window_fixture.h"
#include "platform.h"
#include "shell/app_main_dlg.h"

class SimWithWeb {
  public:
    explicit SimWithWeb(velq_sim::Fleet fleet = velq_sim::Fleet::Default()) {
        platform_ = StartSimPlatform(200, std::move(fleet));
        started_ = platform_ != nullptr;
    }
    ~SimWithWeb() {
        if (platform_) platform_->Stop();
    }
    bool started() const { return started_; }
    velq_sim::SimPlatform& platform() { return *platform_; }
    velq_sim::CenterServer& center() { return platform_->center(); }
    uint16_t http_port() { return platform_->http().port(); }
    // Config.ini lines pointing the client at this platform, its playback page on the web port.
    QByteArray ConfigLines() {
        return QStringLiteral(
                   "CenterServer_Address=127.0.0.1\nCenterServer_TcpPort=%1\nCenterServer_UdpPort=%2\n"
                   "Playback_WebPage=:%3/playback.aspx\n")
            .arg(center().tcp_port())
            .arg(center().udp_port())
            .arg(http_port())
            .toUtf8();
    }

  private:
    std::unique_ptr<velq_sim::SimPlatform> platform_;
    bool started_ = false;
};

// The tree's device with this id; null when the tree has none.
inline AppDevice* TreeDevice(CAppMainDlg& window, const QByteArray& id) {
    for (int i = 0; i < TreeOf(window)->EntryCount(); ++i) {
        AppDevice* device = TreeOf(window)->Entry(i)->device;
        char text[65] = {};
        VelqDev_GetDevInfo(device, VELQ_DEV_ID, text, 64);
        if (id == text) return device;
    }
    return nullptr;
}

// Logs the window in and waits for the device list (the default fleet has 6 online vehicles); a test failure
// when it does not come.
inline void LogIn(CAppMainDlg& window, int devices = 6) {
    window.PressLogin();
    QTRY_VERIFY2_WITH_TIMEOUT(TreeOf(window)->EntryCount() >= devices,
                              qPrintable(QStringLiteral("%1 devices").arg(TreeOf(window)->EntryCount())),
                              15000);
}

inline std::vector<std::string> CameraLogSince(velq_sim::CenterServer& center, size_t from) {
    auto log = center.camera_log();
    return {log.begin() + static_cast<std::ptrdiff_t>(std::min(from, log.size())), log.end()};
}

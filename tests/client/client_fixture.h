// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the client's tests: a scratch program folder (never the real HOME) with a client started on
// it, and a velq-sim center server in the test process on kernel-picked ports.
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "app/app_client.h"
#include "app/app_folders.h"
#include "app/app_profile.h"
#include "center_server.h"
#include "fleet.h"
#include "platform.h"

class ScratchHome {
  public:
    ScratchHome() { QStandardPaths::setTestModeEnabled(true); }

    QString path() const { return home_.path() + u'/'; }
    void WriteFile(const QString& relative, const QByteArray& content) const {
        const QString file_path = path() + relative;
        QDir().mkpath(QFileInfo(file_path).path());
        QFile file(file_path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray ReadFile(const QString& relative) const {
        QFile file(path() + relative);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Copies shipped language files into Language/ (e.g. "de_DE").
    void CopyLanguage(const QString& code, const QString& as_name = QString()) const {
        QDir().mkpath(path() + QStringLiteral("Language"));
        QFile::copy(
            QStringLiteral(CORVEL_SOURCE_DIR "/client/resources/Language/") + code + QStringLiteral(".ini"),
            path() + QStringLiteral("Language/") + (as_name.isEmpty() ? code : as_name) +
                QStringLiteral(".ini"));
    }
    // The program folder is the scratch folder; the "executable's folder" is an empty one, so nothing of
    // the build folder is found.
    AppFolders Folders() const {
        return AppFolders::From(home_.path(), beside_.path(), QString(), QString());
    }
    // A client on this folder, started as the program starts it (language, locale, settings).
    std::unique_ptr<CAppClient> StartClient() const {
        auto client = std::make_unique<CAppClient>(Folders());
        client->InitInstance();
        return client;
    }

  private:
    QTemporaryDir home_;
    QTemporaryDir beside_;
};

// A quiet center on kernel-picked ports of 127.0.0.1, without alarms; the fleet moves every tick_ms (0:
// never).
inline velq_sim::CenterConfig QuietCenterConfig(uint32_t tick_ms) {
    velq_sim::CenterConfig config;
    config.tcp_port = 0;
    config.udp_port = 0;
    config.log = false;
    config.tick_ms = tick_ms;
    config.alarm_chance = 0.0;
    return config;
}

// A center server of velq-sim answering on 127.0.0.1.
class SimCenter {
  public:
    explicit SimCenter(velq_sim::Fleet fleet = velq_sim::Fleet::Default(), uint32_t tick_ms = 200) {
        server_ = std::make_unique<velq_sim::CenterServer>(QuietCenterConfig(tick_ms), std::move(fleet));
        std::string error;
        started_ = server_->Start(&error);
        if (!started_) qWarning("velq-sim center did not start: %s", error.c_str());
    }
    ~SimCenter() { server_->Stop(); }
    bool started() const { return started_; }
    velq_sim::CenterServer& server() { return *server_; }
    // Config.ini lines pointing the client at this server.
    QByteArray ConfigLines() const {
        return QStringLiteral(
                   "CenterServer_Address=127.0.0.1\nCenterServer_TcpPort=%1\nCenterServer_UdpPort=%2\n")
            .arg(server_->tcp_port())
            .arg(server_->udp_port())
            .toUtf8();
    }

  private:
    std::unique_ptr<velq_sim::CenterServer> server_;
    bool started_ = false;
};

// The whole simulated platform (center, transfer and web side, streaming its fleet) on 127.0.0.1, quiet and
// without alarms; the fleet stands still unless tick_ms moves it. Null when it does not start (the reason
// goes to the test log).
inline std::unique_ptr<velq_sim::SimPlatform> StartSimPlatform(
    uint32_t tick_ms = 0, velq_sim::Fleet fleet = velq_sim::Fleet::Default()) {
    velq_sim::TransferConfig transfer;
    transfer.log = false;
    auto platform =
        std::make_unique<velq_sim::SimPlatform>(QuietCenterConfig(tick_ms), transfer, std::move(fleet));
    std::string error;
    if (!platform->Start(&error)) {
        qWarning("velq-sim did not start: %s", error.c_str());
        return nullptr;
    }
    return platform;
}

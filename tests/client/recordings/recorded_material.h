// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings made the way the client makes them: velq-sim's platform runs in the test process on
// kernel-picked ports and the real velq program records one of its channels with the library's recorder
// (H.264 from the simulated camera, its sound decoded to PCM).
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <memory>
#include <string>

#include "platform.h"
#include "recordings/recording_player.h"

class RecordedMaterial {
  public:
    RecordedMaterial() {
        velq_sim::CenterConfig center;
        center.tcp_port = 0;
        center.udp_port = 0;
        center.log = false;
        center.tick_ms = 0;
        center.alarm_chance = 0.0;
        velq_sim::TransferConfig transfer;
        transfer.log = false;
        platform_ = std::make_unique<velq_sim::SimPlatform>(center, transfer, velq_sim::Fleet::Default());
        std::string error;
        started_ = platform_->Start(&error);
        if (!started_) qWarning("velq-sim did not start: %s", error.c_str());
    }
    ~RecordedMaterial() {
        for (auto& process : running_) process->kill(), process->waitForFinished(5000);
        if (platform_) platform_->Stop();
    }
    bool started() const { return started_; }

    // Starts `velq record` of a device's channel into folder/<file_base>-YYYY-MM-DD-HH-MM-SS.avi (split
    // by the hour, as the client names its files), running for `seconds` (0: an hour) or until stopped
    // (terminate: velq closes the file as after Ctrl-C).
    QProcess* StartRecording(const QString& folder, const QString& device, int channel,
                             const QString& file_base, int seconds) {
        auto process = std::make_unique<QProcess>();
        QStringList arguments{
            QStringLiteral("record"),     device,
            QString::number(channel),     folder + u'/' + file_base + QStringLiteral(".avi"),
            QStringLiteral("--split"),    QStringLiteral("3600"),
            QStringLiteral("--tcp-port"), QString::number(platform_->center().tcp_port()),
            QStringLiteral("--udp-port"), QString::number(platform_->center().udp_port())};
        arguments << QStringLiteral("--duration") << QString::number(seconds > 0 ? seconds : 3600);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVEL_SOUND_OUT"), QStringLiteral("null"));
        environment.insert(QStringLiteral("CORVEL_SOUND_IN"), QStringLiteral("null"));
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(CORVEL_TEST_BUILD_DIR "/tools/velq/velq"), arguments);
        running_.push_back(std::move(process));
        return running_.back().get();
    }

    // Records camera 1 of MDVR-10001 into `folder` (made when missing) as <file_base>-<time>.avi until
    // the recording is at least `ms` long, then stops velq as Ctrl-C does. Returns the recording's path;
    // empty, with a warning, when the recording fell short of `ms` or velq did not end cleanly.
    QString RecordClip(const QString& folder, const QString& file_base, double ms) {
        QDir().mkpath(folder);
        QProcess* velq = StartRecording(folder, QStringLiteral("MDVR-10001"), 1, file_base, 0);
        const double reached_ms = WaitForLength(folder, ms);
        velq->terminate();
        if (!velq->waitForFinished(30000) || velq->exitStatus() != QProcess::NormalExit ||
            velq->exitCode() != 0) {
            qWarning("velq record did not end cleanly (exit code %d)", velq->exitCode());
            return {};
        }
        if (reached_ms < ms) {
            qWarning("the recording reached %.0f ms of %.0f", reached_ms, ms);
            return {};
        }
        return Recordings(folder).value(0);
    }

    // Length of the first recording in a folder as the player reads it now, also while it is written
    // (0 while there is none).
    static double RecordedMs(const QString& folder) {
        const QStringList made = Recordings(folder);
        recordings::RecordingPlayer player;
        return !made.isEmpty() && player.Open(made.front(), nullptr) ? player.duration_ms() : 0;
    }
    // Waits until the recording in the folder is at least `ms` long: recordings are made by length
    // rather than by time, which a loaded machine stretches. Returns the length reached (less on time-out).
    static double WaitForLength(const QString& folder, double ms, int timeout_ms = 90000) {
        QElapsedTimer waited;
        waited.start();
        double length = 0;
        while ((length = RecordedMs(folder)) < ms && waited.elapsed() < timeout_ms) QTest::qWait(250);
        return length;
    }

    // The recordings (*.avi) in a folder.
    static QStringList Recordings(const QString& folder) {
        QStringList paths;
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.avi")}, QDir::Files, QDir::Name))
            paths << folder + u'/' + name;
        return paths;
    }

  private:
    std::unique_ptr<velq_sim::SimPlatform> platform_;
    std::vector<std::unique_ptr<QProcess>> running_;
    bool started_ = false;
};

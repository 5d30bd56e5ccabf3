// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpv_peer.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "cpu_sampler.h"
#include "h264_loop.h"

namespace {

// Asks a running mpv for a property over its IPC socket; -1 when it does not answer.
double MpvPropertyOnce(const QString& socketPath, const char* property) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath.toLocal8Bit();
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.constData());
    double value = -1;
    timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        const QByteArray request = QByteArray("{\"command\":[\"get_property\",\"") + property + "\"]}\n";
        if (::send(fd, request.constData(), request.size(), MSG_NOSIGNAL) == request.size()) {
            char reply[512] = {};
            const ssize_t got = ::recv(fd, reply, sizeof(reply) - 1, 0);
            const char* data = got > 0 ? std::strstr(reply, "\"data\":") : nullptr;
            if (data) value = std::atof(data + 7);
        }
    }
    ::close(fd);
    return value;
}

double MpvProperty(const QString& socketPath, const char* property) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const double value = MpvPropertyOnce(socketPath, property);
        if (value >= 0) return value;
        QThread::msleep(100);
    }
    return -1;
}

}  // namespace

QString WriteSimulatorStream(const QString& folder) {
    std::string error;
    // The loop the simulator streams for CIF at 25 frames a second.
    const auto frames = velq_sim::EncodeTestPattern(352, 288, velq_sim::EncodeOptions{}, &error);
    if (frames.empty()) {
        std::fprintf(stderr, "gui_grid: cannot encode the stream: %s\n", error.c_str());
        return {};
    }
    const QString raw = folder + QStringLiteral("/stream.h264");
    QFile file(raw);
    if (!file.open(QIODevice::WriteOnly)) return {};
    for (const auto& frame : frames) {
        file.write(reinterpret_cast<const char*>(frame.bytes.data()),
                   static_cast<qint64>(frame.bytes.size()));
    }
    file.close();
    // A container gives the frames their times, so that mpv plays (and loops) at 25 frames a second.
    const QString muxed = folder + QStringLiteral("/stream.mkv");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-r"), QStringLiteral("25"), QStringLiteral("-i"), raw, QStringLiteral("-c"),
                  QStringLiteral("copy"), muxed});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) return {};
    return muxed;
}

PeerFigures RunMpvPeers(const QString& stream, const QString& folder, int count, int seconds) {
    PeerFigures figures;
    std::vector<std::unique_ptr<QProcess>> players;
    std::vector<QString> sockets;
    const int side = 4;
    for (int i = 0; i < count; ++i) {
        auto player = std::make_unique<QProcess>();
        const QString socket = folder + QStringLiteral("/mpv-%1.sock").arg(i);
        const QString geometry =
            QStringLiteral("300x230+%1+%2").arg(20 + (i % side) * 310).arg(20 + (i / side) * 240);
        player->start(
            QStringLiteral("mpv"),
            {QStringLiteral("--vo=x11"), QStringLiteral("--no-audio"), QStringLiteral("--loop-file=inf"),
             QStringLiteral("--no-config"), QStringLiteral("--really-quiet"), QStringLiteral("--no-border"),
             QStringLiteral("--geometry=") + geometry, QStringLiteral("--input-ipc-server=") + socket,
             stream});
        sockets.push_back(socket);
        players.push_back(std::move(player));
    }
    for (auto& player : players) player->waitForStarted(10000);
    QThread::sleep(3);  // every player up and playing
    std::vector<qint64> pids;
    for (auto& player : players) pids.push_back(player->processId());
    const CpuSample before = SampleProcesses(pids);
    std::vector<double> dropsBefore;
    for (const QString& s : sockets) dropsBefore.push_back(MpvProperty(s, "frame-drop-count"));
    QThread::sleep(seconds);
    const CpuSample after = SampleProcesses(pids);
    double dropped = 0;
    int answered = 0;
    for (size_t i = 0; i < sockets.size(); ++i) {
        const double now = MpvProperty(sockets[i], "frame-drop-count");
        if (now >= 0 && dropsBefore[i] >= 0) {
            dropped += std::max(0.0, now - dropsBefore[i]);  // the count starts again with a new loop
            ++answered;
        }
    }
    figures.cpuPerSecond = (after.total_s - before.total_s) / (after.wall_s - before.wall_s);
    figures.mainThreadPerSecond = (after.main_s - before.main_s) / (after.wall_s - before.wall_s);
    figures.dropped = dropped;
    figures.answered = answered;
    figures.running = 0;
    for (auto& player : players) figures.running += player->state() == QProcess::Running;
    for (auto& player : players) {
        player->terminate();
        if (!player->waitForFinished(5000)) player->kill();
    }
    return figures;
}

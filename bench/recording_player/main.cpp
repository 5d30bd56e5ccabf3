// SPDX-License-Identifier: GPL-3.0-or-later
// The recordings player against its targets: a CIF recording played at 1x in the player window costs no
// more CPU than mpv playing the same file in a window of the same picture size on the same display (Xvfb
// when none is set), and seeks to 100 random positions of a one-hour recording take a median of at most
// 50 ms. The recordings are written by the library's AVI writer with the simulator's CIF stream at 25
// frames a second and 8 kHz PCM sound, as the recorder writes them.
// Usage: recording_player [seconds measured, default 20]
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cpu_sampler.h"
#include "h264_loop.h"
#include "media/avi_file.h"
#include "mpv_install.h"
#include "recordings/player_window.h"
#include "recordings/recording_player.h"

namespace {

bool WriteRecording(const QString& path, int seconds) {
    std::string error;
    const auto frames = velq_sim::EncodeTestPattern(352, 288, velq_sim::EncodeOptions{}, &error);
    if (frames.empty()) {
        std::fprintf(stderr, "recording_player: cannot encode the stream: %s\n", error.c_str());
        return false;
    }
    corvel::CAviFile file;
    if (!file.Create(QFile::encodeName(path).toStdString(), 352, 288, 25, 8000, 16, 1)) return false;
    // 40 ms of a 400 Hz tone per frame.
    std::vector<int16_t> tone(320);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI / 20));
    for (int n = 0; n < seconds * 25; ++n) {
        const auto& frame = frames[n % frames.size()];
        if (!file.WriteVideo(frame.bytes.data(), static_cast<uint32_t>(frame.bytes.size())) ||
            !file.WriteAudio(tone.data(), static_cast<uint32_t>(tone.size() * 2)))
            return false;
    }
    file.Close();
    return true;
}

// The child: the player window on the file, playing at 1x until killed.
int PlayInWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    auto* window = new recordings::PlayerWindow(QDir::tempPath(), [](const QString& text) { return text; });
    QString error;
    if (!window->Open(QString::fromLocal8Bit(argv[2]), &error)) {
        std::fprintf(stderr, "recording_player: %s\n", qPrintable(error));
        return 1;
    }
    window->resize(720, 700);  // a picture area of about 704 x 576, as mpv's window
    window->show();
    window->TogglePlay();
    return app.exec();
}

double MeasureCpu(QProcess& process, int seconds) {
    QThread::sleep(3);  // up and playing
    const std::vector<qint64> pids{process.processId()};
    const CpuSample before = SampleProcesses(pids);
    QThread::sleep(seconds);
    const CpuSample after = SampleProcesses(pids);
    const double share = (after.total_s - before.total_s) / (after.wall_s - before.wall_s);
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill(), process.waitForFinished(5000);
    return share;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--play") return PlayInWindow(argc, argv);
    // Without a display the benchmark runs itself again under Xvfb.
    if (!getenv("DISPLAY")) {
        std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                   const_cast<char*>("-s"), const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("recording_player: xvfb-run");
        return 1;
    }
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString cif = folder.path() + QStringLiteral("/AB-3127-chn01-2026-12-08-09-00-00.avi");
    const QString hour = folder.path() + QStringLiteral("/AB-3127-chn01-2026-12-08-10-00-00.avi");
    QElapsedTimer timer;
    timer.start();
    if (!WriteRecording(cif, 120) || !WriteRecording(hour, 3600)) {
        std::fprintf(stderr, "recording_player: cannot write the recordings in %s\n",
                     qPrintable(folder.path()));
        return 1;
    }
    std::printf("recordings written in %.1f s (one hour: %.0f MiB)\n", timer.elapsed() / 1000.0,
                QFileInfo(hour).size() / 1048576.0);

    // Seeks in the one-hour recording.
    recordings::RecordingPlayer player;
    recordings::UserText failure;
    timer.restart();
    if (!player.Open(hour, &failure)) {
        std::fprintf(stderr, "recording_player: %s\n", qPrintable(failure.English()));
        return 1;
    }
    std::printf("open one hour (%zu frames): %.1f ms\n", player.frame_count(), timer.nsecsElapsed() / 1e6);
    std::mt19937 random(26);
    std::uniform_real_distribution<double> anywhere(0, player.duration_ms());
    std::vector<double> seek_ms;
    int off_target = 0;
    for (int i = 0; i < 100; ++i) {
        const double target = anywhere(random);
        timer.restart();
        player.Seek(target);
        seek_ms.push_back(timer.nsecsElapsed() / 1e6);
        off_target +=
            !(player.position_ms() <= target && target - player.position_ms() < player.frame_period_ms());
    }
    std::sort(seek_ms.begin(), seek_ms.end());
    std::printf(
        "seek, 100 random positions in one hour: median %.1f ms, 90th %.1f ms, max %.1f ms "
        "(target <= 50 ms median); %d off their frame\n",
        seek_ms[50], seek_ms[90], seek_ms.back(), off_target);

    // Playing at 1x: the player window against mpv.
    QProcess ours;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CORVEL_SOUND_OUT"), QStringLiteral("null"));
    ours.setProcessEnvironment(environment);
    ours.setProcessChannelMode(QProcess::ForwardedChannels);
    ours.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--play"), cif});
    if (!ours.waitForStarted(10000)) return 1;
    const double ours_share = MeasureCpu(ours, seconds);
    std::printf("player window, CIF at 1x: %.1f %% of a core\n", ours_share * 100);
    if (!EnsureMpv()) {
        std::printf("mpv is missing: no comparison\n");
        return 0;
    }
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"),
              {QStringLiteral("--vo=x11"), QStringLiteral("--no-audio"), QStringLiteral("--no-config"),
               QStringLiteral("--really-quiet"), QStringLiteral("--geometry=704x576+0+0"), cif});
    if (!mpv.waitForStarted(10000)) return 1;
    const double mpv_share = MeasureCpu(mpv, seconds);
    std::printf("mpv, the same file at 1x: %.1f %% of a core\n", mpv_share * 100);
    std::printf("player / mpv: %.2f (target <= 1)\n", ours_share / mpv_share);
    return 0;
}

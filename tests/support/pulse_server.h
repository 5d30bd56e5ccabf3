// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private PulseAudio sound server for one test: a null sink "out" whose monitor is the default source,
// in a scratch runtime folder, so that the PortAudio backends (PortAudio -> ALSA -> PulseAudio) play into
// something a test can record and record from something a test can play into. The server and its tools
// run as child processes of the test (child_process.h), which end with it.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "test_wait.h"

namespace corvel::test {

inline bool OnPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The sound server. Construction points this process (and every child started later) at the scratch
// folder: XDG_RUNTIME_DIR, HOME and a client configuration that never spawns a server of its own, so a
// test that kills the server sees it gone rather than replaced by a default one.
class PulseServer {
  public:
    explicit PulseServer(const std::string& dir) : dir_(dir) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ + "/run");
        chmod((dir_ + "/run").c_str(), 0700);
        std::ofstream(dir_ + "/client.conf") << "autospawn = no\n";
        // The sink keeps the server's default rate (44100 Hz stereo), as a desktop's does, so the players'
        // 8000 Hz mono goes through the server's resampler as it does for users.
        std::ofstream(dir_ + "/server.pa") << "load-module module-null-sink sink_name=out\n"
                                              "load-module module-native-protocol-unix auth-anonymous=1\n"
                                              "set-default-sink out\n"
                                              "set-default-source out.monitor\n";
        setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
        setenv("HOME", dir_.c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
        unsetenv("PULSE_SERVER");
    }
    ~PulseServer() {
        daemon_.Stop();
        std::filesystem::remove_all(dir_);
    }

    // Starts the server and waits until it answers; false (with the reason) when it cannot start here.
    bool Start(std::string* why) {
        if (!OnPath("pulseaudio") || !OnPath("pactl") || !OnPath("parec")) {
            *why = "pulseaudio, pactl or parec is not installed (scripts/setup installs them)";
            return false;
        }
        if (!daemon_.Start({"pulseaudio", "-n", "-F", dir_ + "/server.pa", "--daemonize=no",
                            "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr"},
                           "", dir_ + "/pulseaudio.log")) {
            *why = "cannot start pulseaudio";
            return false;
        }
        if (!WaitUntil([&] { return !daemon_.running() || Pactl("info"); }, std::chrono::seconds(10)) ||
            !daemon_.running()) {
            std::ifstream log(dir_ + "/pulseaudio.log");
            std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
            *why = "pulseaudio did not come up: " + text.substr(text.size() > 600 ? text.size() - 600 : 0);
            daemon_.Stop(SIGKILL);
            return false;
        }
        return true;
    }
    // The server dies as a crashed one does, leaving its socket file behind.
    void Kill() { daemon_.Stop(SIGKILL); }

    // Runs pactl with these arguments; true when it succeeded.
    bool Pactl(const std::string& arguments) {
        return std::system(("pactl " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }

    const std::string& dir() const { return dir_; }
    // The running server's process id; -1 when none runs.
    pid_t pid() const { return daemon_.pid(); }

  private:
    std::string dir_;
    ChildProcess daemon_;
};

// Records the sink's monitor as raw 16-bit mono samples at 8000 samples/s into a file while it lives.
class MonitorRecording {
  public:
    explicit MonitorRecording(std::string path) : path_(std::move(path)) {
        std::filesystem::remove(path_);
        recorder_.Start({"parec", "-d", "out.monitor", "--raw", "--format=s16le", "--rate=8000",
                         "--channels=1", "--latency-msec=20", path_});
    }
    // Waits until the recorder delivers (the monitor gives silence while nothing plays), so that nothing
    // played from now on is missed however slowly a loaded machine starts parec. False after timeout_ms.
    bool WaitRecording(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        return WaitUntil([&] { return !Samples().empty(); }, timeout);
    }
    // The samples recorded so far.
    std::vector<int16_t> Samples() const {
        std::ifstream in(path_, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> samples(bytes.size() / 2);
        // An empty recording has no buffer to copy from (data() may be null).
        if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }
    void Stop() { recorder_.Stop(); }
    // The running recorder's process id; -1 when none runs.
    pid_t pid() const { return recorder_.pid(); }

  private:
    std::string path_;
    ChildProcess recorder_;
};

inline int PeakOf(const std::vector<int16_t>& samples, size_t from = 0) {
    int peak = 0;
    for (size_t i = from; i < samples.size(); ++i) peak = std::max(peak, std::abs(int{samples[i]}));
    return peak;
}

// Where `piece` matches `signal` best: the largest normalised correlation over every offset, and the
// offset. Normalising each window makes the answer independent of the level the server mixed at.
struct BestMatch {
    double correlation = 0;
    size_t offset = 0;
};
inline BestMatch FindPiece(const std::vector<int16_t>& signal, const std::vector<int16_t>& piece) {
    BestMatch best;
    if (piece.empty() || signal.size() < piece.size()) return best;
    double piece_energy = 0;
    for (int16_t s : piece) piece_energy += static_cast<double>(s) * s;
    if (piece_energy == 0) return best;
    double window_energy = 0;
    for (size_t i = 0; i < piece.size(); ++i) window_energy += static_cast<double>(signal[i]) * signal[i];
    for (size_t at = 0; at + piece.size() <= signal.size(); ++at) {
        if (at > 0) {
            const double gone = signal[at - 1];
            const double added = signal[at + piece.size() - 1];
            window_energy += added * added - gone * gone;
        }
        if (window_energy <= 1) continue;
        double dot = 0;
        for (size_t i = 0; i < piece.size(); ++i) dot += static_cast<double>(signal[at + i]) * piece[i];
        const double correlation = dot / std::sqrt(piece_energy * window_energy);
        if (correlation > best.correlation) best = {correlation, at};
    }
    return best;
}

// The power of one frequency in the samples (Goertzel), averaged over 50 ms windows so that a tone whose
// phase jumps between the codec's frames still counts; multiples of 20 Hz fall on whole cycles per window.
inline double ToneLevel(const std::vector<int16_t>& samples, double hz, double rate = 8000) {
    constexpr size_t kWindow = 400;
    const double coefficient = 2 * std::cos(2 * M_PI * hz / rate);
    double total = 0;
    size_t windows = 0;
    for (size_t at = 0; at + kWindow <= samples.size(); at += kWindow, ++windows) {
        double s1 = 0, s2 = 0;
        for (size_t i = at; i < at + kWindow; ++i) {
            const double s0 = samples[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        total += s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    }
    return windows == 0 ? 0 : total / static_cast<double>(windows);
}

// The reference cut into 50 ms pieces from sample `from` to `to`: how many of the sounding ones turn up
// in `heard` (correlation above 0.95), and the best correlation of each that did not. Piece by piece,
// because a loaded machine makes a real device's player skip or repeat blocks, which shifts everything
// after them; short pieces, because under heavy load that happens every few hundred milliseconds.
struct PiecesHeard {
    int pieces = 0;
    int found = 0;
    std::string missed;
};
inline PiecesHeard FindPieces(const std::vector<int16_t>& heard, const std::vector<int16_t>& reference,
                              size_t from, size_t to) {
    PiecesHeard result;
    constexpr size_t kPiece = 400;
    for (size_t at = from; at + kPiece <= std::min(to, reference.size()); at += kPiece) {
        const std::vector<int16_t> piece(reference.begin() + at, reference.begin() + at + kPiece);
        if (PeakOf(piece) < 1000) continue;  // a gap of the reference run: nothing to look for
        ++result.pieces;
        const BestMatch match = FindPiece(heard, piece);
        if (match.correlation > 0.95) {
            ++result.found;
        } else {
            result.missed.append(1, ' ').append(std::to_string(at)).append(1, ':');
            result.missed.append(std::to_string(match.correlation));
        }
    }
    return result;
}

// The frequency of a tone by its zero crossings over the stretches louder than 500; `loud` gets how many
// samples that was.
inline double CrossingHz(const std::vector<int16_t>& samples, size_t* loud, double rate = 8000) {
    size_t crossings = 0;
    *loud = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (std::abs(int{samples[i]}) < 500 && std::abs(int{samples[i - 1]}) < 500) continue;
        ++*loud;
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    }
    return *loud == 0 ? 0 : rate * static_cast<double>(crossings) / 2 / static_cast<double>(*loud);
}

}  // namespace corvel::test

// SPDX-License-Identifier: GPL-3.0-or-later
// velq watch against a center that floods poll answers with ever newer stamps and never answers the status
// requests they bring: prints velq's resident memory once a second, with what the center saw and sent.
//
//   status_flood [--seconds N] [--velq PATH] [--answer-polls-only]
//
// --velq runs another build's velq (say, one from before a change) against the same flood.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "child_process.h"
#include "flooding_center.h"

namespace {

// velq of this build tree: ../tools/velq/velq beside this program's folder.
std::string BuiltVelq() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "velq" : (self.parent_path().parent_path() / "tools/velq/velq").string();
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 15;
    std::string velq = BuiltVelq();
    bool blast = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--velq" && i + 1 < argc) {
            velq = argv[++i];
        } else if (arg == "--answer-polls-only") {
            blast = false;
        } else {
            std::fprintf(stderr, "usage: status_flood [--seconds N] [--velq PATH] [--answer-polls-only]\n");
            return 2;
        }
    }
    corvel::test::FloodingCenter center;
    std::string error;
    if (!center.Start(blast, &error)) {
        std::fprintf(stderr, "status_flood: %s\n", error.c_str());
        return 1;
    }
    corvel::test::ChildProcess watch;
    if (!watch.Start({velq, "watch", "--tcp-port", std::to_string(center.tcp_port()), "--udp-port",
                      std::to_string(center.udp_port())})) {
        std::fprintf(stderr, "status_flood: cannot start %s\n", velq.c_str());
        return 1;
    }
    std::printf("%4s %10s %16s %14s\n", "s", "RSS MiB", "poll answers", "192 requests");
    size_t peak_bytes = 0;
    for (int s = 1; s <= seconds && watch.running(); ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const size_t rss = corvel::test::ResidentBytes(watch.pid());
        peak_bytes = std::max(peak_bytes, rss);
        std::printf("%4d %10.1f %16llu %14llu\n", s, rss / 1048576.0,
                    static_cast<unsigned long long>(center.poll_answers()),
                    static_cast<unsigned long long>(center.status_requests()));
        std::fflush(stdout);
    }
    std::printf("peak RSS %.1f MiB after %d s of flood\n", peak_bytes / 1048576.0, seconds);
    if (watch.running()) kill(watch.pid(), SIGINT);
    watch.Wait(std::chrono::seconds(15));
    center.Stop();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Refreshing a large device list: velq-sim (in a child process, so its work is not counted) serves 10k and
// 100k devices; the client logs in, registers the list once, then refreshes it several times. Printed per
// refresh: wall time from the request to the last event 130, and the client process's CPU time.
//
// Usage: center_refresh [DEVICES...]   (default 10000 100000)
#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "center_server.h"
#include "corvel/corvel.h"
#include "session/session.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts events as a client's queue would receive them, without keeping them.
class CountingWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t code, intptr_t) override {
        if (code == VELQ_EV_LOGIN_OK) logged_in.store(true);
        if (code == VELQ_EV_DEVICE_NEW || code == VELQ_EV_DEVICE_CHANGED) {
            listed.fetch_add(1, std::memory_order_release);
        }
    }
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }
    std::atomic<bool> logged_in{false};
    std::atomic<uint64_t> listed{0};
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool WaitFor(const std::function<bool()>& done, int timeout_s) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeout_s);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// The server runs in a forked child (forked before this process starts any thread); it reports its ports
// through a pipe and ends when the pipe's other direction closes.
struct ServerProcess {
    pid_t pid = -1;
    uint16_t tcp = 0, udp = 0;
};

ServerProcess StartServer(uint32_t devices) {
    int ports[2], stop[2];
    if (pipe(ports) != 0 || pipe(stop) != 0) std::exit(1);
    ServerProcess server;
    server.pid = fork();
    if (server.pid == 0) {
        close(ports[0]);
        close(stop[1]);
        velq_sim::CenterConfig config;
        config.tcp_port = 0;
        config.udp_port = 0;
        config.tick_ms = 0;
        config.log = false;
        velq_sim::CenterServer center(config, velq_sim::Fleet::Generated(devices));
        std::string error;
        if (!center.Start(&error)) _exit(1);
        const uint16_t bound[2] = {center.tcp_port(), center.udp_port()};
        if (write(ports[1], bound, sizeof(bound)) != sizeof(bound)) _exit(1);
        char byte;
        while (read(stop[0], &byte, 1) > 0) {
        }
        center.Stop();
        _exit(0);
    }
    close(ports[1]);
    close(stop[0]);
    uint16_t bound[2] = {};
    if (read(ports[0], bound, sizeof(bound)) != sizeof(bound)) {
        std::fprintf(stderr, "center_refresh: the server did not start\n");
        std::exit(1);
    }
    server.tcp = bound[0];
    server.udp = bound[1];
    // Closing our end of `stop` at exit (or below) ends the child.
    static std::vector<int> stop_ends;
    stop_ends.push_back(stop[1]);
    return server;
}

// A UDP port that nobody answers, so the status poll adds no list of its own during the measurement.
uint16_t SilentUdpPort(int* socket_out) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    *socket_out = s;
    return ntohs(address.sin_port);
}

struct Figures {
    double wall_ms, cpu_ms;
};

Figures Measure(const ServerProcess& server, uint32_t devices, int refreshes) {
    CountingWindow window;
    int silent = -1;
    const uint16_t udp = SilentUdpPort(&silent);
    auto session = std::make_unique<AppSession>(&window, VELQ_MESSAGE);
    corvel::CenterTiming timing;
    timing.status_interval_ms = 600000;  // no keep-alive list in the middle of a measurement
    session->set_center_timing(timing);
    VelqApp_SetCenterServer(session.get(), "127.0.0.1", server.tcp, udp);
    VelqApp_Login(session.get(), "orvi", "480913");
    if (!WaitFor([&] { return window.logged_in.load(); }, 30)) std::exit(1);
    // The opening status list registers every device.
    if (!WaitFor([&] { return window.listed.load() >= devices; }, 120)) std::exit(1);

    Figures total{0, 0};
    for (int i = 0; i < refreshes; ++i) {
        const uint64_t target = window.listed.load() + devices;
        const double cpu = CpuSeconds();
        const auto start = Clock::now();
        VelqApp_ShowAllDevice(session.get());
        if (!WaitFor([&] { return window.listed.load(std::memory_order_acquire) >= target; }, 120))
            std::exit(1);
        total.wall_ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        total.cpu_ms += (CpuSeconds() - cpu) * 1000.0;
    }
    session->Logout();
    close(silent);
    return {total.wall_ms / refreshes, total.cpu_ms / refreshes};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    if (sizes.empty()) sizes = {10000, 100000};
    // Every server is forked before the client starts a thread.
    std::vector<ServerProcess> servers;
    for (uint32_t n : sizes) servers.push_back(StartServer(n));

    constexpr int kRefreshes = 5;
    std::printf("%10s %22s %22s %18s\n", "devices", "request->last 130 ms", "client CPU ms/refresh",
                "CPU us per device");
    std::vector<Figures> results;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const Figures f = Measure(servers[i], sizes[i], kRefreshes);
        results.push_back(f);
        std::printf("%10u %22.1f %22.1f %18.3f\n", sizes[i], f.wall_ms, f.cpu_ms,
                    f.cpu_ms * 1000.0 / sizes[i]);
    }
    if (results.size() >= 2) {
        const double size_ratio = static_cast<double>(sizes.back()) / sizes.front();
        std::printf("growth for %.0fx devices: wall %.1fx, CPU %.1fx (linear = %.0fx)\n", size_ratio,
                    results.back().wall_ms / results.front().wall_ms,
                    results.back().cpu_ms / results.front().cpu_ms, size_ratio);
    }
    for (const auto& server : servers) kill(server.pid, SIGTERM);
    for (const auto& server : servers) waitpid(server.pid, nullptr, 0);
    return 0;
}

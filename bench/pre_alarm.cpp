// SPDX-License-Identifier: GPL-3.0-or-later
// What keeping the seconds before an alarm costs: 16 CIF channels (4 generated vehicles x 4 channels of
// velq-sim in a child process, 25 frames a second each) receive their video through the library, first
// without VELQ_DEV_PRE_RECORD_SECONDS, then with every device keeping KEEP seconds. The channels' sources
// run but nothing is decoded, so the difference between the two windows is the pre-record buffer's own
// cost: CPU of this whole process in % of one core, and resident memory per channel once the buffers are
// full (the reference CPU is the mean of a window before and one after). The targets line judges them
// against 3 % of a core for the 16 channels and 4 MiB a channel.
//
// Usage: pre_alarm [MEASURE_SECONDS] [KEEP_SECONDS]   (default 15 10)
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "corvel/corvel.h"
#include "ports_file.h"
#include "session/session.h"

namespace {

constexpr int kVehicles = 4;
constexpr int kChannelsPerVehicle = 4;
constexpr int kChannels = kVehicles * kChannelsPerVehicle;
constexpr double kCpuTargetPercent = 3.0;
constexpr double kMemoryTargetMiB = 4.0;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double RssMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

class NullWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t code, intptr_t) override {
        if (code == VELQ_EV_LOGIN_OK) logged_in = true;
    }
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }
    std::atomic<bool> logged_in{false};
};

struct Window {
    double cpu_percent = 0;  // of one core, the whole process
    double rss_mib = 0;      // at the end of the window
};

Window Measure(int seconds) {
    const double cpu_before = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {100.0 * (ProcessCpuSeconds() - cpu_before) / wall_s, RssMiB()};
}

// The simulator beside this program in the build tree (bench/pre_alarm -> sim/velq-sim).
std::string SimulatorPath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path().parent_path() / "sim" / "velq-sim").string();
}

}  // namespace

int main(int argc, char** argv) {
    const int measure_s = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int keep_s = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 60) : 10;

    const std::string ports_path =
        (std::filesystem::temp_directory_path() / ("pre_alarm_ports_" + std::to_string(getpid()))).string();
    std::filesystem::remove(ports_path);
    corvel::test::ChildProcess sim;
    if (!sim.Start({SimulatorPath(), "--tcp-port", "0", "--udp-port", "0", "--devices",
                    std::to_string(kVehicles), "--tick-ms", "0", "--quiet", "--ports-file", ports_path})) {
        std::fprintf(stderr, "pre_alarm: cannot start %s\n", SimulatorPath().c_str());
        return 1;
    }
    std::optional<velq_sim::BoundPorts> ports;
    for (int i = 0; i < 200 && !ports; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(ports_path);
        std::string line;
        if (std::getline(in, line)) ports = velq_sim::ParsePortsLine(line);
    }
    std::filesystem::remove(ports_path);
    if (!ports) {
        std::fprintf(stderr, "pre_alarm: the simulator did not start\n");
        return 1;
    }

    NullWindow events;
    auto session = std::make_unique<AppSession>(&events, VELQ_MESSAGE);
    VelqApp_SetCenterServer(session.get(), "127.0.0.1", ports->tcp, ports->udp);
    VelqApp_Login(session.get(), "orvi", "480913");
    while (!events.logged_in) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    VelqApp_ShowAllDevice(session.get());
    while (session->DeviceCount() < kVehicles) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::vector<AppDevice*> devices = session->Devices();

    NullWindow display;
    std::vector<AppChannel*> channels;
    for (int i = 0; i < kChannels; ++i) {
        AppChannel* channel =
            VelqDev_CreateChannel(devices[i / kChannelsPerVehicle], i % kChannelsPerVehicle + 1, &display);
        VelqChn_VSourceStart(channel);
        channels.push_back(channel);
    }
    // Every stream up and paced, and the start's allocations and connections behind us.
    std::this_thread::sleep_for(std::chrono::seconds(5));

    std::printf("pre_alarm: %d CIF channels (sources running, nothing decoded), %d s windows\n", kChannels,
                measure_s);
    const Window without = Measure(measure_s);
    std::printf("without pre-record:  CPU %6.2f %% of a core, RSS %7.1f MiB\n", without.cpu_percent,
                without.rss_mib);
    const int32_t seconds = keep_s;
    for (AppDevice* device : devices) VelqDev_SetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &seconds, 4);
    std::this_thread::sleep_for(std::chrono::seconds(keep_s + 1));  // every buffer full
    const Window with = Measure(measure_s);
    std::printf("keeping %2d s:        CPU %6.2f %% of a core, RSS %7.1f MiB\n", keep_s, with.cpu_percent,
                with.rss_mib);

    // The machine may be shared: a second window without, after the buffers are freed again, and the mean
    // of both as the reference, so a drift of the load does not pass for the buffer's cost.
    const int32_t off = 0;
    for (AppDevice* device : devices) VelqDev_SetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS, &off, 4);
    const Window without_again = Measure(measure_s);
    std::printf("without again:       CPU %6.2f %% of a core\n", without_again.cpu_percent);
    const double cpu_percent = with.cpu_percent - (without.cpu_percent + without_again.cpu_percent) / 2;
    const double mib_per_channel = (with.rss_mib - without.rss_mib) / kChannels;
    std::printf(
        "pre-record cost: CPU %.2f %% of a core for %d channels (%.3f %% each), memory %.2f MiB per "
        "channel for %d s\n",
        cpu_percent, kChannels, cpu_percent / kChannels, mib_per_channel, keep_s);
    // The targets are for 10 s; other times are scaled to them.
    const double memory_10s = mib_per_channel * 10.0 / keep_s;
    std::printf("targets: CPU <= %.0f %% of a core: %s; memory <= %.0f MiB a channel for 10 s (%.2f): %s\n",
                kCpuTargetPercent, cpu_percent <= kCpuTargetPercent ? "met" : "not met", kMemoryTargetMiB,
                memory_10s, memory_10s <= kMemoryTargetMiB ? "met" : "not met");

    for (AppChannel* channel : channels) VelqChn_Release(channel);
    VelqApp_Logout(session.get());
    session.reset();
    sim.Stop();
    return 0;
}

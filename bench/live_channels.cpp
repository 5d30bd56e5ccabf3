// SPDX-License-Identifier: GPL-3.0-or-later
// Live CIF channels through the whole pipeline (transfer, buffer, decode, convert, present into null
// windows) against velq-sim in a child process. Printed per step of N playing channels, CPU per
// channel-second counted per 25 frames shown:
//  - floor: a bare libavcodec decode + sws_scale of the same frames, N decoders taking a frame in turn
//    back to back on one thread (what the cores can do when they never rest);
//  - paced: the same bare decode + convert in N threads, each at 25 frames a second and sleeping in
//    between, as a live channel must (a thread back from a 40 ms sleep finds cold caches, which on this
//    machine costs as much again as the decode while the cores are not saturated);
//  - the client's CPU (all its threads), its ratio to the paced and to the back-to-back floor, and the
//    share of its video threads and receiving threads;
//  - the simulator's CPU (its sending threads share the cores with the client);
//  - frames shown per second by the slowest and the fastest channel (25 is real time) and RSS per
//    playing channel;
//  - the largest N held in real time (every channel shows its 25 frames a second within 3 %, neither
//    falling behind nor still catching up on a backlog) against the
//    decode-bound limit that the back-to-back floor gives for all cores, for the CPU the simulator leaves
//    to the client, and the limit that the paced floor gives for all cores.
//
// Usage: live_channels [SECONDS_PER_STEP] [N...]
//        (default 4 s; 8 16 32 64 96 128 160 192 224 240 256 272 288)
#include <dirent.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "corvel/corvel.h"
#include "h264_loop.h"
#include "platform.h"
#include "session/channel.h"
#include "session/session.h"

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// CPU seconds of the threads of a process by name, from the scheduler's exact run time of each
// (stat's utime and stime are sampled at the tick, which misses threads that run briefly and often).
std::map<std::string, double> ThreadCpuSecondsByName(const std::string& process = "self") {
    std::map<std::string, double> by_name;
    const std::string folder = "/proc/" + process + "/task";
    DIR* tasks = opendir(folder.c_str());
    if (tasks == nullptr) return by_name;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const std::string base = folder + "/" + entry->d_name;
        std::ifstream comm(base + "/comm");
        std::string name;
        std::getline(comm, name);
        std::ifstream schedstat(base + "/schedstat");
        double run_ns = 0;
        if (schedstat >> run_ns) by_name[name] += run_ns / 1e9;
    }
    closedir(tasks);
    return by_name;
}

double TotalSeconds(const std::map<std::string, double>& by_name) {
    double sum = 0;
    for (const auto& [name, seconds] : by_name) sum += seconds;
    return sum;
}

long RssKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class NullWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t code, intptr_t) override {
        if (code == VELQ_EV_LOGIN_OK) logged_in = true;
    }
    VelqPresentResult PresentPicture(const VelqPicture&) override {
        presented.fetch_add(1, std::memory_order_relaxed);
        return VELQ_PRESENT_OK;
    }
    std::atomic<bool> logged_in{false};
    std::atomic<uint64_t> presented{0};
};

// A bare libavcodec decoder with its converter to BGRA: what a channel must do at the least per frame.
class BareStream {
  public:
    BareStream() : bgra_(352 * 288 * 4) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        context_ = avcodec_alloc_context3(codec);
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context_->thread_count = 1;
        avcodec_open2(context_, codec, nullptr);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
    }
    ~BareStream() {
        sws_freeContext(sws_);
        avcodec_free_context(&context_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }
    BareStream(const BareStream&) = delete;
    BareStream& operator=(const BareStream&) = delete;

    void DecodeAndConvert(const velq_sim::EncodedFrame& encoded) {
        packet_->data = const_cast<uint8_t*>(encoded.bytes.data());
        packet_->size = static_cast<int>(encoded.bytes.size());
        avcodec_send_packet(context_, packet_);
        while (avcodec_receive_frame(context_, frame_) == 0) {
            sws_ = sws_getCachedContext(
                sws_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
                frame_->width, frame_->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
            uint8_t* planes[1] = {bgra_.data()};
            const int strides[1] = {352 * 4};
            sws_scale(sws_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
        }
    }

  private:
    AVCodecContext* context_ = nullptr;
    SwsContext* sws_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::vector<uint8_t> bgra_;
};

// The floor: `decoders` independent decoders (one per channel) take the simulator's own CIF loop frame by
// frame in turn on one thread that never rests, so the floor pays the cache misses between streams that
// the channels do, but none of a thread's return from sleep.
double FloorMsPerChannelSecond(const std::vector<velq_sim::EncodedFrame>& frames, int decoders) {
    std::vector<std::unique_ptr<BareStream>> streams;
    for (int i = 0; i < decoders; ++i) streams.push_back(std::make_unique<BareStream>());
    const int rounds = std::max(50, 5000 / decoders);
    double seconds = 0;
    for (int n = 0; n < rounds; ++n) {
        for (auto& stream : streams) {
            const double start = ThreadCpuSeconds();
            stream->DecodeAndConvert(frames[n % frames.size()]);
            seconds += ThreadCpuSeconds() - start;
        }
    }
    return seconds * 1000.0 / (static_cast<double>(rounds) * decoders) * 25.0;
}

// The paced floor: `decoders` threads, each with its own decoder and converter, decode the loop at 25
// frames a second and sleep until the next frame is due, as the channels' threads do; CPU ms per
// channel-second over `seconds`.
double PacedFloorMsPerChannelSecond(const std::vector<velq_sim::EncodedFrame>& frames, int decoders,
                                    int seconds) {
    std::atomic<bool> stop{false};
    std::vector<double> cpu_seconds(decoders);
    std::vector<std::thread> workers;
    for (int t = 0; t < decoders; ++t) {
        workers.emplace_back([&, t] {
            pthread_setname_np(pthread_self(), "paced-floor");
            BareStream stream;
            // Spread the threads over one frame period, as independent streams are.
            auto due = Clock::now() + std::chrono::microseconds(40000 * t / decoders);
            std::this_thread::sleep_until(due);
            const double start = ThreadCpuSeconds();
            for (size_t n = 0; !stop.load(std::memory_order_relaxed); ++n) {
                stream.DecodeAndConvert(frames[n % frames.size()]);
                due += std::chrono::milliseconds(40);
                std::this_thread::sleep_until(due);
            }
            cpu_seconds[t] = ThreadCpuSeconds() - start;
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (auto& worker : workers) worker.join();
    double sum = 0;
    for (double c : cpu_seconds) sum += c;
    return sum * 1000.0 / (static_cast<double>(decoders) * seconds);
}

struct Window {
    double wall_s = 0;
    double client_ms = 0, video_ms = 0, receive_ms = 0, sim_ms = 0;
    uint64_t frames = 0;
    double min_fps = 0, max_fps = 0;
};

// One measuring window of `seconds` over the channels playing into `windows`.
Window Measure(const std::vector<std::unique_ptr<NullWindow>>& windows, pid_t simulator, int seconds) {
    const std::string sim_process = std::to_string(simulator);
    std::vector<uint64_t> before;
    for (auto& w : windows) before.push_back(w->presented.load());
    auto client_start = ThreadCpuSecondsByName();
    const double sim_start = TotalSeconds(ThreadCpuSecondsByName(sim_process));
    const auto wall_start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    Window out;
    out.wall_s = std::chrono::duration<double>(Clock::now() - wall_start).count();
    auto client_end = ThreadCpuSecondsByName();
    out.sim_ms = (TotalSeconds(ThreadCpuSecondsByName(sim_process)) - sim_start) * 1000.0;
    out.client_ms = (TotalSeconds(client_end) - TotalSeconds(client_start)) * 1000.0;
    out.video_ms = (client_end["corvel-video"] - client_start["corvel-video"]) * 1000.0;
    out.receive_ms = (client_end["corvel-rx-video"] - client_start["corvel-rx-video"]) * 1000.0;
    out.min_fps = 1e9;
    for (size_t i = 0; i < windows.size(); ++i) {
        const uint64_t shown = windows[i]->presented.load() - before[i];
        out.frames += shown;
        out.min_fps = std::min(out.min_fps, shown / out.wall_s);
        out.max_fps = std::max(out.max_fps, shown / out.wall_s);
    }
    return out;
}

struct Server {
    pid_t pid = -1;
    uint16_t tcp = 0, udp = 0;
    int stop_fd = -1;
};

Server StartServer(uint32_t vehicles) {
    int ports[2], stop[2];
    if (pipe(ports) != 0 || pipe(stop) != 0) std::exit(1);
    Server server;
    server.pid = fork();
    if (server.pid == 0) {
        close(ports[0]);
        close(stop[1]);
        velq_sim::CenterConfig center;
        center.tcp_port = 0;
        center.udp_port = 0;
        center.tick_ms = 0;
        center.log = false;
        velq_sim::TransferConfig transfer;
        transfer.log = false;
        velq_sim::SimPlatform platform(center, transfer, velq_sim::Fleet::Generated(vehicles));
        std::string error;
        if (!platform.Start(&error)) _exit(1);
        const uint16_t bound[2] = {platform.center().tcp_port(), platform.center().udp_port()};
        if (write(ports[1], bound, sizeof(bound)) != sizeof(bound)) _exit(1);
        char byte;
        while (read(stop[0], &byte, 1) > 0) {
        }
        platform.Stop();
        _exit(0);
    }
    close(ports[1]);
    close(stop[0]);
    uint16_t bound[2] = {};
    if (read(ports[0], bound, sizeof(bound)) != sizeof(bound)) {
        std::fprintf(stderr, "live_channels: the simulator did not start\n");
        std::exit(1);
    }
    server.tcp = bound[0];
    server.udp = bound[1];
    server.stop_fd = stop[1];
    return server;
}

}  // namespace

int main(int argc, char** argv) {
    const int step_s = argc > 1 ? std::atoi(argv[1]) : 4;
    std::vector<int> steps;
    for (int i = 2; i < argc; ++i) steps.push_back(std::atoi(argv[i]));
    if (steps.empty()) steps = {8, 16, 32, 64, 96, 128, 160, 192, 224, 240, 256, 272, 288};
    const int most = steps.back();
    const uint32_t vehicles = static_cast<uint32_t>((most + 3) / 4);

    const Server server = StartServer(vehicles);  // before any thread of ours
    std::string error;
    const auto frames = velq_sim::EncodeTestPattern(352, 288, velq_sim::EncodeOptions{}, &error);
    const unsigned cores = std::thread::hardware_concurrency();
    const double single_floor_ms = FloorMsPerChannelSecond(frames, 1);
    std::printf(
        "floor of one stream: %.2f CPU ms per channel-second (bare decode + convert of CIF at 25/s)\n",
        single_floor_ms);

    NullWindow events;
    auto session = std::make_unique<AppSession>(&events, VELQ_MESSAGE);
    VelqApp_SetCenterServer(session.get(), "127.0.0.1", server.tcp, server.udp);
    VelqApp_Login(session.get(), "orvi", "480913");
    while (!events.logged_in) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    VelqApp_ShowAllDevice(session.get());
    while (session->DeviceCount() < vehicles) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::vector<AppDevice*> devices = session->Devices();

    std::printf("%8s %8s %8s %8s %7s %7s %8s %8s %8s %9s %8s %5s\n", "channels", "floor", "paced", "client",
                "/paced", "/floor", "video", "receive", "sim", "frames/s", "RSS/ch", "held");
    std::printf("%8s %8s %8s %8s %7s %7s %8s %8s %8s %9s %8s %5s\n", "", "ms/ch-s", "ms/ch-s", "ms/ch-s", "",
                "", "threads", "threads", "ms/ch-s", "min/max", "KiB", "");
    // The floors with as many streams sharing the caches as each step plays, measured before any channel
    // exists so that neither disturbs the other (nor the channels' memory figure).
    std::vector<double> floors, paced_floors;
    for (int n : steps) {
        floors.push_back(FloorMsPerChannelSecond(frames, n));
        paced_floors.push_back(PacedFloorMsPerChannelSecond(frames, n, step_s));
    }
    std::vector<std::unique_ptr<NullWindow>> windows;
    std::vector<AppChannel*> channels;
    const long rss_before = RssKiB();
    int largest_held = 0;
    double limit = cores * 1000.0 / single_floor_ms;
    double client_limit = limit;
    double paced_limit = limit;
    for (size_t step = 0; step < steps.size(); ++step) {
        const int n = steps[step];
        while (static_cast<int>(channels.size()) < n) {
            const size_t i = channels.size();
            windows.push_back(std::make_unique<NullWindow>());
            AppChannel* channel =
                VelqDev_CreateChannel(devices[i / 4], static_cast<int>(i % 4) + 1, windows.back().get());
            VelqChn_SetBufKeep(channel, 0);
            VelqChn_VideoPlay(channel);
            channels.push_back(channel);
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));  // every new stream up and paced
        // A steady window has every channel at its 25 frames a second within 3 %. More is catching up on
        // frames queued while the step's new channels started (decoded back to back, so cheaper per frame
        // than steady play); up to three windows are tried for a steady one, and the step is held only
        // in a steady window.
        Window measured;
        for (int attempt = 0; attempt < 3; ++attempt) {
            measured = Measure(windows, server.pid, step_s);
            if (measured.min_fps >= 25.0 * 0.97 && measured.max_fps <= 25.0 * 1.03) break;
        }
        const double frames = std::max<double>(1, measured.frames);
        // Figures per channel-second are per 25 frames shown, so a window that caught up is not inflated.
        const double per_channel = measured.client_ms * 25.0 / frames;
        const double video_per_channel = measured.video_ms * 25.0 / frames;
        const double receive_per_channel = measured.receive_ms * 25.0 / frames;
        const double sim_per_channel = measured.sim_ms * 25.0 / frames;
        const double min_fps = measured.min_fps;
        const double wall = measured.wall_s;
        const double sim_ms = measured.sim_ms;
        const long rss_per_channel = (RssKiB() - rss_before) / n;
        // A channel still catching up after three windows is seconds behind live: not held.
        const bool held = min_fps >= 25.0 * 0.97 && measured.max_fps <= 25.0 * 1.03;
        if (held) largest_held = n;
        limit = cores * 1000.0 / floors[step];
        client_limit = std::max(0.0, cores * 1000.0 - sim_ms / wall) / floors[step];
        paced_limit = cores * 1000.0 / paced_floors[step];
        char fps[32];
        std::snprintf(fps, sizeof fps, "%.1f/%.1f", min_fps, measured.max_fps);
        std::printf("%8d %8.2f %8.2f %8.2f %7.2f %7.2f %8.2f %8.2f %8.2f %9s %8ld %5s\n", n, floors[step],
                    paced_floors[step], per_channel, per_channel / paced_floors[step],
                    per_channel / floors[step], video_per_channel, receive_per_channel, sim_per_channel, fps,
                    rss_per_channel, held ? "yes" : "no");
        std::fflush(stdout);
        if (!held) break;
    }
    std::printf(
        "\nlargest N held in real time: %d\n"
        "  %.0f %% of the decode-bound limit of %.0f channels on %u cores\n"
        "  %.0f %% of the decode-bound limit of %.0f channels on the CPU the simulator leaves to the "
        "client\n"
        "  %.0f %% of the limit of %.0f channels that the paced floor gives on %u cores\n",
        largest_held, 100.0 * largest_held / limit, limit, cores, 100.0 * largest_held / client_limit,
        client_limit, 100.0 * largest_held / paced_limit, paced_limit, cores);
    for (AppChannel* channel : channels) VelqChn_Release(channel);
    VelqApp_Logout(session.get());
    session.reset();
    close(server.stop_fd);
    waitpid(server.pid, nullptr, 0);
    return 0;
}

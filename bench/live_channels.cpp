// Live CIF channels through the whole pipeline (transfer, buffer, decode, convert, present into null
// windows) against velq-sim in a child process, whose work is not counted. Printed:
//  - the floor: CPU ms per channel-second of a bare libavcodec decode + sws_scale of the same frames;
//  - per step of N playing channels: client CPU ms per channel-second and its ratio to the floor, frames
//    shown per channel-second (25 is real time), and RSS per playing channel;
//  - the largest N held in real time (every channel shows at least 97 % of its frames) against the
//    decode-bound limit that the floor gives for this machine's cores.
//
// Usage: live_channels [SECONDS_PER_STEP] [N...]   (default 4 s; 8 16 32 64 96 128 160 192 256)
#include <sys/resource.h>
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
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "corvel/corvel.h"
#include "h264_loop.h"
#include "platform.h"
#include "session/session.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
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

// The floor: `decoders` independent decoders (one per channel, each with its converter) take the
// simulator's own CIF loop frame by frame in turn, as the channels' threads share the cores, so the floor
// pays the same cache misses between streams as the pipeline does.
double FloorMsPerChannelSecond(const std::vector<velq_sim::EncodedFrame>& frames, int decoders) {
    struct Stream {
        AVCodecContext* context = nullptr;
        SwsContext* sws = nullptr;
        std::vector<uint8_t> bgra = std::vector<uint8_t>(352 * 288 * 4);
    };
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    std::vector<Stream> streams(decoders);
    for (auto& stream : streams) {
        stream.context = avcodec_alloc_context3(codec);
        stream.context->flags |= AV_CODEC_FLAG_LOW_DELAY;
        stream.context->thread_count = 1;
        avcodec_open2(stream.context, codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const int rounds = std::max(50, 5000 / decoders);
    double seconds = 0;
    for (int n = 0; n < rounds; ++n) {
        for (auto& stream : streams) {
            const auto& encoded = frames[n % frames.size()];
            packet->data = const_cast<uint8_t*>(encoded.bytes.data());
            packet->size = static_cast<int>(encoded.bytes.size());
            const double start = ThreadCpuSeconds();
            avcodec_send_packet(stream.context, packet);
            while (avcodec_receive_frame(stream.context, frame) == 0) {
                stream.sws = sws_getCachedContext(
                    stream.sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                    frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
                uint8_t* planes[1] = {stream.bgra.data()};
                const int strides[1] = {352 * 4};
                sws_scale(stream.sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
            }
            seconds += ThreadCpuSeconds() - start;
        }
    }
    for (auto& stream : streams) {
        sws_freeContext(stream.sws);
        avcodec_free_context(&stream.context);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    return seconds * 1000.0 / (static_cast<double>(rounds) * decoders) * 25.0;
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
    if (steps.empty()) steps = {8, 16, 32, 64, 96, 128, 160, 192, 256};
    const int most = steps.back();
    const uint32_t vehicles = static_cast<uint32_t>((most + 3) / 4);

    const Server server = StartServer(vehicles);  // before any thread of ours
    std::string error;
    const auto frames = velq_sim::EncodeTestPattern(352, 288, 25, 50, 25, &error);
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

    std::printf("%8s %12s %12s %8s %16s %12s %6s\n", "channels", "floor ms/ch-s", "CPU ms/ch-s", "ratio",
                "frames/ch-s min", "RSS/ch KiB", "held");
    double limit = cores * 1000.0 / single_floor_ms;
    // The floors with as many streams sharing the caches as each step plays, measured before any channel
    // exists so that neither disturbs the other (nor the channels' memory figure).
    std::vector<double> floors;
    for (int n : steps) floors.push_back(FloorMsPerChannelSecond(frames, n));
    std::vector<std::unique_ptr<NullWindow>> windows;
    std::vector<AppChannel*> channels;
    const long rss_before = RssKiB();
    int largest_held = 0;
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
        const double floor_ms = floors[step];
        limit = cores * 1000.0 / floor_ms;
        std::this_thread::sleep_for(std::chrono::seconds(2));  // every new stream up and paced
        std::vector<uint64_t> before;
        for (auto& w : windows) before.push_back(w->presented.load());
        const double cpu_start = ProcessCpuSeconds();
        const auto wall_start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(step_s));
        const double wall = std::chrono::duration<double>(Clock::now() - wall_start).count();
        const double cpu_ms = (ProcessCpuSeconds() - cpu_start) * 1000.0;
        double min_fps = 1e9;
        for (size_t i = 0; i < windows.size(); ++i) {
            min_fps = std::min(min_fps, (windows[i]->presented.load() - before[i]) / wall);
        }
        const double per_channel = cpu_ms / (n * wall);
        const long rss_per_channel = (RssKiB() - rss_before) / n;
        const bool held = min_fps >= 25.0 * 0.97;
        if (held) largest_held = n;
        std::printf("%8d %12.2f %12.2f %8.2f %16.1f %12ld %6s\n", n, floor_ms, per_channel,
                    per_channel / floor_ms, min_fps, rss_per_channel, held ? "yes" : "no");
        std::fflush(stdout);
        if (!held) break;
    }
    std::printf("\nlargest N held in real time: %d (%.0f %% of the decode-bound limit of %.0f on %u cores)\n",
                largest_held, 100.0 * largest_held / limit, limit, cores);
    for (AppChannel* channel : channels) VelqChn_Release(channel);
    VelqApp_Logout(session.get());
    session.reset();
    close(server.stop_fd);
    waitpid(server.pid, nullptr, 0);
    return 0;
}

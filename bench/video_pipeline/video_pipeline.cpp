// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the channel's video path — frame buffer, decode, conversion into the back buffer and
// presentation to a window that shows nothing — against a bare decode + conversion of the same frames with
// the same libraries, measured in the same run. The two sides run in interleaved rounds (which one goes
// first alternates), each run lasting at least the given seconds; per size it prints the median ms per
// frame of each side and the median and spread (lowest–highest) of the per-round ratios, wall and CPU.
// The target is judged on the median ratios: on a shared machine a single short run flips either way.
//
//   video_pipeline [rounds (5)] [seconds per run (2)]
extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "h264_stream.h"
#include "media/video_ctx.h"

namespace {

using corvel::test::EncodedFrame;
using Clock = std::chrono::steady_clock;

// An announced rate so high that pacing never waits: the path runs as fast as it can.
constexpr uint32_t kUnpacedRate = 100000;
// Waiting bytes the producer keeps at most, so that the ring always has room and nothing is refused.
constexpr int32_t kWaitingBudgetBytes = 128 * 1024;

// Shows nothing; wakes the waiting benchmark only when the last expected picture arrives, so that the
// measurement adds no thread switch per picture.
class NullWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
    VelqPresentResult PresentPicture(const VelqPicture&) override {
        if (presented_.fetch_add(1, std::memory_order_relaxed) + 1 ==
            expected_.load(std::memory_order_relaxed)) {
            std::lock_guard lock(mutex_);
            cv_.notify_all();
        }
        return VELQ_PRESENT_OK;
    }
    void Expect(int count) { expected_ = count; }
    void WaitPresented() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return presented_.load() >= expected_.load(); });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::atomic<int> presented_{0};
    std::atomic<int> expected_{1 << 30};
};

class Host : public corvel::VideoChannelHost {
  public:
    explicit Host(VelqWindow* window) : window_(window) {}
    VelqWindow* VideoWindow() const override { return window_; }
    const corvel::OverlayFont* StatisticsFont() const override { return nullptr; }
    corvel::OverlayFigures Figures() const override { return {}; }

  private:
    VelqWindow* window_;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the whole process: on a shared machine it varies far less than the wall clock.
double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Cost {
    double wall_ms_per_frame = -1;
    double cpu_ms_per_frame = -1;
};

// The channel's path: a producer thread fills the buffer as a transfer would, the video thread empties it.
// The frames are sent `repeat` times over (they start with a key frame and are whole groups). Negative
// costs when a frame was refused or not shown.
Cost RunPipeline(const std::vector<EncodedFrame>& frames, int repeat) {
    const size_t total = frames.size() * static_cast<size_t>(repeat);
    NullWindow window;
    Host host(&window);
    corvel::CFpsCtrl pacing;
    corvel::CVBuffer2 buffer;
    corvel::SnapshotRequest snapshot;
    std::atomic<int32_t> width{0}, height{0}, shown{0};
    corvel::CVideoCtx video(host, {pacing, buffer, snapshot, width, height, shown});
    video.buffer_keep = 0;
    if (!buffer.Init(corvel::kVideoBufferCapacity, corvel::kVideoLargestFrame, 2)) return {};
    buffer.gopState = 0;

    std::atomic<int> refused{0};
    std::atomic<bool> primed{false};
    window.Expect(static_cast<int>(total));
    const double cpu_start = ProcessCpuMs();
    std::thread producer([&] {
        corvel::FrameRecord cursor;
        buffer.GetWritePos(&cursor);
        for (size_t i = 0; i < total; ++i) {
            const EncodedFrame& frame = frames[i % frames.size()];
            // The consumer starts once a few frames wait, or as soon as the buffer holds its budget.
            if (i == 8 || buffer.Used() > kWaitingBudgetBytes) primed = true;
            while (buffer.Used() > kWaitingBudgetBytes)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::memcpy(cursor.data, frame.bytes.data(), frame.bytes.size());
            cursor.size = static_cast<uint32_t>(frame.bytes.size());
            cursor.type = frame.key ? corvel::IVOP : corvel::PVOP;
            cursor.aux = kUnpacedRate;
            cursor.sequence = static_cast<uint32_t>(i);
            if (!buffer.Push(&cursor)) refused.fetch_add(1);
        }
        primed = true;
    });
    while (!primed) std::this_thread::sleep_for(std::chrono::microseconds(100));
    const auto start = Clock::now();
    if (!video.Start()) {
        producer.join();
        return {};
    }
    window.WaitPresented();
    const auto end = Clock::now();
    const double cpu_end = ProcessCpuMs();
    producer.join();
    video.Stop(corvel::kStopTimeoutMs);
    if (refused.load() != 0 || shown.load() != static_cast<int32_t>(total)) return {};
    const auto n = static_cast<double>(total);
    return {Ms(end - start) / n, (cpu_end - cpu_start) / n};
}

// The same frames through the same decoder settings and conversion, with nothing around them.
Cost RunBare(const std::vector<EncodedFrame>& frames, int repeat) {
    const size_t total = frames.size() * static_cast<size_t>(repeat);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context->thread_count = 1;
    if (avcodec_open2(context, codec, nullptr) < 0) return {};
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* sws = nullptr;
    std::vector<uint8_t> target;
    int decoded = 0;
    const double cpu_start = ProcessCpuMs();
    const auto start = Clock::now();
    for (size_t i = 0; i < total; ++i) {
        const EncodedFrame& encoded = frames[i % frames.size()];
        packet->data = const_cast<uint8_t*>(encoded.bytes.data());
        packet->size = static_cast<int>(encoded.bytes.size());
        avcodec_send_packet(context, packet);
        if (avcodec_receive_frame(context, frame) != 0) continue;
        const int pitch = (frame->width * 4 + 63) / 64 * 64;
        if (target.size() < static_cast<size_t>(pitch) * frame->height)
            target.resize(static_cast<size_t>(pitch) * frame->height);
        sws = sws_getCachedContext(sws, frame->width, frame->height,
                                   static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                                   AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        uint8_t* dst[4] = {target.data(), nullptr, nullptr, nullptr};
        int stride[4] = {pitch, 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
        ++decoded;
    }
    const auto end = Clock::now();
    const double cpu_end = ProcessCpuMs();
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    if (decoded != static_cast<int>(total)) return {};
    const auto n = static_cast<double>(total);
    return {Ms(end - start) / n, (cpu_end - cpu_start) / n};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Per round and side: the cost, and the pipeline/bare ratios of each round.
struct Rounds {
    std::vector<double> pipeline_wall, bare_wall, pipeline_cpu, bare_cpu, wall_ratio, cpu_ratio;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const double run_s = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 2.0;
    av_log_set_level(AV_LOG_ERROR);
    struct Size {
        const char* name;
        int width, height, frames;  // whole groups of 25, sent over and over for a run's length
    };
    const Size sizes[] = {{"CIF", 352, 288, 250}, {"D1", 720, 576, 125}, {"1080p", 1920, 1080, 50}};
    std::printf("%d rounds, each side at least %.1f s per round; medians, ratio spread lowest-highest\n",
                rounds, run_s);
    std::printf("%-6s %7s | %-40s | %-40s\n", "", "", "wall ms/frame", "CPU ms/frame");
    std::printf("%-6s %7s | %8s %8s %7s %15s | %8s %8s %7s %15s\n", "size", "frames", "pipeline", "bare",
                "ratio", "spread", "pipeline", "bare", "ratio", "spread");
    bool all_met = true;
    for (const Size& size : sizes) {
        const auto frames =
            corvel::test::EncodeTestPattern({size.width, size.height, size.frames, 25, 25, 0});
        if (frames.size() != static_cast<size_t>(size.frames)) {
            std::fprintf(stderr, "%s: encoding failed\n", size.name);
            return 1;
        }
        // Enough passes over the frames for a run of at least run_s, from one bare pass.
        const Cost probe = RunBare(frames, 1);
        if (probe.wall_ms_per_frame <= 0) {
            std::fprintf(stderr, "%s: the bare decode failed\n", size.name);
            return 1;
        }
        int repeat =
            std::max(1, static_cast<int>(std::ceil(run_s * 1000 / (probe.wall_ms_per_frame * size.frames))));
        Rounds measured;
        for (int round = 0; round < rounds;) {
            // Each side decodes on a thread started for the run, so the scheduler treats them alike; which
            // side goes first alternates, so neither always meets the machine's state the other left.
            Cost b, p;
            const auto bare_run = [&] { std::thread([&] { b = RunBare(frames, repeat); }).join(); };
            if (round % 2 == 0) bare_run();
            p = RunPipeline(frames, repeat);
            if (round % 2 == 1) bare_run();
            if (b.wall_ms_per_frame < 0 || p.wall_ms_per_frame < 0) {
                std::fprintf(stderr, "%s: a frame was lost (refused, not decoded or not shown)\n", size.name);
                return 1;
            }
            // A round counts only when both runs lasted run_s; a shorter one makes the runs longer and is
            // run again.
            const double shortest_ms = std::min(b.wall_ms_per_frame, p.wall_ms_per_frame) *
                                       static_cast<double>(size.frames) * repeat;
            if (shortest_ms < run_s * 1000) {
                repeat = static_cast<int>(std::ceil(repeat * run_s * 1000 * 1.1 / shortest_ms));
                continue;
            }
            ++round;
            measured.pipeline_wall.push_back(p.wall_ms_per_frame);
            measured.bare_wall.push_back(b.wall_ms_per_frame);
            measured.pipeline_cpu.push_back(p.cpu_ms_per_frame);
            measured.bare_cpu.push_back(b.cpu_ms_per_frame);
            measured.wall_ratio.push_back(p.wall_ms_per_frame / b.wall_ms_per_frame);
            measured.cpu_ratio.push_back(p.cpu_ms_per_frame / b.cpu_ms_per_frame);
        }
        const double wall_ratio = Median(measured.wall_ratio);
        const double cpu_ratio = Median(measured.cpu_ratio);
        all_met = all_met && wall_ratio <= 1.10 && cpu_ratio <= 1.10;
        const auto [wall_low, wall_high] =
            std::minmax_element(measured.wall_ratio.begin(), measured.wall_ratio.end());
        const auto [cpu_low, cpu_high] =
            std::minmax_element(measured.cpu_ratio.begin(), measured.cpu_ratio.end());
        std::printf("%-6s %7zu | %8.3f %8.3f %7.3f %7.3f-%7.3f | %8.3f %8.3f %7.3f %7.3f-%7.3f\n", size.name,
                    frames.size() * static_cast<size_t>(repeat), Median(measured.pipeline_wall),
                    Median(measured.bare_wall), wall_ratio, *wall_low, *wall_high,
                    Median(measured.pipeline_cpu), Median(measured.bare_cpu), cpu_ratio, *cpu_low, *cpu_high);
        std::fflush(stdout);
    }
    std::printf("target median ratio <= 1.10 (wall and CPU, every size): %s\n", all_met ? "met" : "NOT met");
    return 0;
}

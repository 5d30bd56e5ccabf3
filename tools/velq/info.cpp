// SPDX-License-Identifier: GPL-3.0-or-later
#include "info.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "client.h"
#include "corvel/record_times.h"

namespace velq {
namespace {

struct AviFacts {
    int64_t video_frames = 0;
    double frames_per_second = 0;
};

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// Counts the video chunks by walking the file: a recording cut by a kill has no index and zero counts in
// its headers, and only its chunks tell how many frames it holds.
AviFacts ReadAvi(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    const AVInputFormat* avi = av_find_input_format("avi");
    if (int error = avformat_open_input(&raw, path.c_str(), avi, nullptr); error < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(error, text, sizeof text);
        throw Failure{"cannot read " + path + " as an AVI file: " + text};
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    int video = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            video = static_cast<int>(i);
            break;
        }
    }
    if (video < 0) throw Failure{path + " holds no video stream"};
    AviFacts facts;
    const AVStream* stream = input->streams[video];
    if (stream->time_base.num > 0 && stream->time_base.den > 0)
        facts.frames_per_second = 1 / av_q2d(stream->time_base);
    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!packet) throw Failure{"out of memory"};
    // A damaged chunk ends the walk: what came before it is what the file holds.
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == video) ++facts.video_frames;
        av_packet_unref(packet.get());
    }
    return facts;
}

std::string LocalTime(int64_t unix_ms) {
    const time_t seconds = static_cast<time_t>(unix_ms / 1000);
    tm local{};
    char text[32] = "?";
    if (localtime_r(&seconds, &local) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

int Info(const std::string& path) {
    const AviFacts avi = ReadAvi(path);
    const double frame_s = avi.frames_per_second > 0 ? 1 / avi.frames_per_second : 0;
    const velq::times::RecordTimes times =
        velq::times::ReadFile(path + std::string(velq::times::kFileSuffix));
    if (times.empty() || avi.video_frames == 0) {
        std::printf("duration %.1f\n", static_cast<double>(avi.video_frames) * frame_s);
        std::printf("frames %lld\n", static_cast<long long>(avi.video_frames));
        std::printf(
            "times unknown: %s has no time file (%s%s), so its wall-clock start, end and gaps are "
            "not known\n",
            path.c_str(), path.c_str(), std::string(velq::times::kFileSuffix).c_str());
        return kExitNoTimes;
    }
    const int64_t start_ms = *velq::times::FrameTimeMs(times, 0, avi.frames_per_second);
    const int64_t end_ms = *velq::times::FrameTimeMs(times, avi.video_frames - 1, avi.frames_per_second);
    // From the first frame's arrival to the end of the last frame's time on screen.
    const double duration_s = static_cast<double>(end_ms - start_ms) / 1000.0 + frame_s;
    std::printf("start %s\n", LocalTime(start_ms).c_str());
    std::printf("end %s\n", LocalTime(end_ms).c_str());
    std::printf("duration %.1f\n", duration_s);
    std::printf("frames %lld\n", static_cast<long long>(avi.video_frames));
    for (const velq::times::Gap& gap : times.gaps) {
        if (gap.from_ms < start_ms || gap.to_ms > end_ms) continue;  // beyond what the AVI holds
        std::printf("gap %s %s\n", LocalTime(gap.from_ms).c_str(), LocalTime(gap.to_ms).c_str());
    }
    return kExitOk;
}

}  // namespace velq

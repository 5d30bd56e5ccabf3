// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the video tests: a window that keeps what it is shown, an independent decode + conversion of
// the same frames, and the filling of a video buffer with encoded frames.
#pragma once
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "corvel/window.h"
#include "h264_stream.h"
#include "media/frame_buffer.h"
#include "media/video_ctx.h"
#include "test_wait.h"

namespace corvel::test {

// Checksum of the visible bytes of a picture: rows of width × bytes per pixel (YV12: Y, then V, then U).
inline uint64_t Fnv(uint64_t hash, const uint8_t* data, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}

inline uint64_t PlanesChecksum(VelqPixelFormat format, int width, int height, const uint8_t* const plane[3],
                               const int stride[3]) {
    uint64_t hash = 1469598103934665603ull;
    if (format == VELQ_PIX_YV12) {
        for (int y = 0; y < height; ++y) hash = Fnv(hash, plane[0] + y * stride[0], width);
        for (int p = 1; p < 3; ++p)
            for (int y = 0; y < (height + 1) / 2; ++y)
                hash = Fnv(hash, plane[p] + y * stride[p], (width + 1) / 2);
        return hash;
    }
    const int row_bytes = width * (format == VELQ_PIX_BGRA32 ? 4 : 2);
    for (int y = 0; y < height; ++y) hash = Fnv(hash, plane[0] + y * stride[0], row_bytes);
    return hash;
}

struct ShownPicture {
    int width = 0;
    int height = 0;
    uint64_t checksum = 0;
};

// A window that records every picture handed to it (size and checksum, and a copy of the last one for
// pixel checks), answers with scripted results and counts how often it is asked for its format.
class RecordingWindow : public VelqWindow {
  public:
    explicit RecordingWindow(VelqPixelFormat format) : format_(format) {}
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
    VelqPixelFormat PreferredFormat() const override {
        std::lock_guard lock(mutex_);
        ++format_queries_;
        return format_;
    }
    VelqPresentResult PresentPicture(const VelqPicture& picture) override {
        std::lock_guard lock(mutex_);
        VelqPresentResult result = VELQ_PRESENT_OK;
        if (!script_.empty()) {
            result = script_.front();
            script_.pop_front();
        }
        ++calls_;
        if (result == VELQ_PRESENT_OK) {
            shown_.push_back({picture.width, picture.height,
                              PlanesChecksum(picture.format, picture.width, picture.height, picture.plane,
                                             picture.stride)});
            last_width_ = picture.width;
            last_height_ = picture.height;
            last_stride_ = picture.stride[0];
            const size_t bytes = static_cast<size_t>(picture.stride[0]) * picture.height;
            last_.assign(picture.plane[0], picture.plane[0] + bytes);
        }
        cv_.notify_all();
        return result;
    }

    // Results for the next presentations, in order; OK once the script runs out.
    void Script(std::initializer_list<VelqPresentResult> results) {
        std::lock_guard lock(mutex_);
        script_.insert(script_.end(), results);
    }
    bool WaitShown(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return shown_.size() >= count; });
    }
    std::vector<ShownPicture> shown() const {
        std::lock_guard lock(mutex_);
        return {shown_.begin(), shown_.end()};
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int format_queries() const {
        std::lock_guard lock(mutex_);
        return format_queries_;
    }
    // Copy of the first plane of the last picture shown, with its stride.
    std::vector<uint8_t> last(int* stride, int* width = nullptr, int* height = nullptr) const {
        std::lock_guard lock(mutex_);
        *stride = last_stride_;
        if (width != nullptr) *width = last_width_;
        if (height != nullptr) *height = last_height_;
        return last_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    VelqPixelFormat format_;
    std::deque<VelqPresentResult> script_;
    std::deque<ShownPicture> shown_;
    int calls_ = 0;
    mutable int format_queries_ = 0;
    std::vector<uint8_t> last_;
    int last_stride_ = 0, last_width_ = 0, last_height_ = 0;
};

// Decodes the frames with a decoder of its own and converts every picture into the format, with the
// conversion flags and row alignment of a back buffer; returns one checksum per picture.
// `last_bytes`, when given, receives the packed RGB rows (at that alignment) of the last picture.
inline std::vector<ShownPicture> ReferencePictures(const std::vector<EncodedFrame>& frames,
                                                   VelqPixelFormat format,
                                                   std::vector<uint8_t>* last_bytes = nullptr) {
    std::vector<ShownPicture> out;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<uint8_t> rgb;
    for (const EncodedFrame& encoded : frames) {
        packet->data = const_cast<uint8_t*>(encoded.bytes.data());
        packet->size = static_cast<int>(encoded.bytes.size());
        avcodec_send_packet(context, packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            const int w = frame->width, h = frame->height;
            ShownPicture picture{w, h, 0};
            if (format == VELQ_PIX_YV12) {
                const uint8_t* planes[3] = {frame->data[0], frame->data[2], frame->data[1]};
                const int strides[3] = {frame->linesize[0], frame->linesize[2], frame->linesize[1]};
                picture.checksum = PlanesChecksum(format, w, h, planes, strides);
            } else {
                const int bpp = format == VELQ_PIX_BGRA32 ? 4 : 2;
                const int pitch = (w * bpp + 63) / 64 * 64;
                rgb.assign(static_cast<size_t>(pitch) * h + 64, 0);
                SwsContext* sws =
                    sws_getContext(w, h, static_cast<AVPixelFormat>(frame->format), w, h,
                                   format == VELQ_PIX_BGRA32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_RGB565LE,
                                   SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
                uint8_t* dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
                int dst_stride[4] = {pitch, 0, 0, 0};
                sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dst_stride);
                sws_freeContext(sws);
                const uint8_t* planes[3] = {rgb.data(), nullptr, nullptr};
                const int strides[3] = {pitch, 0, 0};
                picture.checksum = PlanesChecksum(format, w, h, planes, strides);
                if (last_bytes != nullptr) *last_bytes = rgb;
            }
            out.push_back(picture);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return out;
}

struct FeedOptions {
    uint32_t announced_rate = 250;  // fast enough for tests; the pacing tests set their own
    uint32_t first_time = 1577934245;
};

// Prepares the buffer as the video source start does and pushes the frames as a transfer would; every frame
// must be stored.
inline void StartBuffer(CVBuffer2& buffer) {
    ASSERT_TRUE(buffer.Init(kVideoBufferCapacity, kVideoLargestFrame, 2));
    buffer.gopState = 0;
}

inline void Feed(CVBuffer2& buffer, const std::vector<EncodedFrame>& frames, FeedOptions options = {}) {
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    uint32_t sequence = 0;
    for (const EncodedFrame& encoded : frames) {
        ASSERT_LE(encoded.bytes.size(), kVideoLargestFrame);
        std::memcpy(cursor.data, encoded.bytes.data(), encoded.bytes.size());
        cursor.size = static_cast<uint32_t>(encoded.bytes.size());
        cursor.type = encoded.key ? IVOP : PVOP;
        cursor.aux = options.announced_rate;
        cursor.sequence = sequence++;
        cursor.time = options.first_time + sequence / 25;
        ASSERT_TRUE(buffer.Push(&cursor)) << "frame " << sequence;
    }
}

// The channel side of a video thread, with fixed overlay figures and a font of its own.
class VideoTestHost : public VideoChannelHost {
  public:
    explicit VideoTestHost(VelqWindow* window) : window_(window) {}
    VelqWindow* VideoWindow() const override { return window_; }
    const OverlayFont* StatisticsFont() const override { return &font_; }
    OverlayFigures Figures() const override { return {25, 512, 32, 3, 4096}; }
    void set_window(VelqWindow* window) { window_ = window; }

  private:
    VelqWindow* window_;
    OverlayFont font_;
};

// One channel's video parts around a CVideoCtx, as the channel holds them.
struct VideoTestChannel {
    explicit VideoTestChannel(VelqWindow* window) : host(window) {}
    VideoTestHost host;
    CFpsCtrl pacing;
    CVBuffer2 buffer;
    SnapshotRequest snapshot;
    std::atomic<int32_t> width{0}, height{0}, frames_shown{0};
    CVideoCtx video{host, {pacing, buffer, snapshot, width, height, frames_shown}};
};

// How long a test waits for the video thread: decoding under a loaded machine is slow.
constexpr std::chrono::seconds kVideoWait{20};

}  // namespace corvel::test

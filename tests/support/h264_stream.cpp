// SPDX-License-Identifier: GPL-3.0-or-later
#include "h264_stream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <memory>

namespace corvel::test {
namespace {

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

void DrawPattern(AVFrame* frame, int index) {
    const int w = frame->width;
    const int h = frame->height;
    const int bar = (index * 7) % w;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < w; ++x) {
            const bool on_bar = x >= bar && x < bar + 24;
            row[x] = on_bar ? 235 : static_cast<uint8_t>(16 + ((x + y + index * 3) % 200));
        }
    }
    for (int y = 0; y < (h + 1) / 2; ++y) {
        uint8_t* u = frame->data[1] + y * frame->linesize[1];
        uint8_t* v = frame->data[2] + y * frame->linesize[2];
        for (int x = 0; x < (w + 1) / 2; ++x) {
            u[x] = static_cast<uint8_t>(64 + ((x * 2 + index) % 128));
            v[x] = static_cast<uint8_t>(64 + ((y * 2 + index * 2) % 128));
        }
    }
}

void Drain(AVCodecContext* context, AVPacket* packet, std::vector<EncodedFrame>* out) {
    while (avcodec_receive_packet(context, packet) == 0) {
        EncodedFrame frame;
        frame.bytes.assign(packet->data, packet->data + packet->size);
        frame.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        out->push_back(std::move(frame));
        av_packet_unref(packet);
    }
}

}  // namespace

std::vector<EncodedFrame> EncodeTestPattern(const H264StreamOptions& options) {
    std::vector<EncodedFrame> out;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return out;
    std::unique_ptr<AVCodecContext, CodecDeleter> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!context || !frame || !packet) return out;
    context->width = options.width;
    context->height = options.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, options.frames_per_second};
    context->framerate = AVRational{options.frames_per_second, 1};
    context->gop_size = options.gop;
    context->keyint_min = options.gop;
    context->max_b_frames = 0;
    context->bit_rate = static_cast<int64_t>(options.width) * options.height * 3;
    context->thread_count = 1;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    av_opt_set(context->priv_data, "x264-params", "scenecut=0:repeat-headers=1", 0);
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return out;

    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = options.width;
    frame->height = options.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return out;
    for (int i = 0; i < options.frames; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) return {};
        DrawPattern(frame.get(), options.first_pattern_frame + i);
        frame->pts = i;
        frame->pict_type = i % options.gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(context.get(), frame.get()) < 0) return {};
        Drain(context.get(), packet.get(), &out);
    }
    avcodec_send_frame(context.get(), nullptr);
    Drain(context.get(), packet.get(), &out);
    return out;
}

}  // namespace corvel::test

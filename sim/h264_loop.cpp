#include "h264_loop.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <cstring>

namespace velq_sim {

namespace {

constexpr PictureFormat kFormats[] = {
    {1, 176, 144, "QCIF"}, {2, 352, 288, "CIF"},   {3, 720, 288, "HD1"},
    {4, 720, 576, "D1"},   {32, 320, 240, "QVGA"},
};

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// A diagonal colour ramp that moves with n and a bright square that runs across the picture.
void DrawPattern(AVFrame* frame, int n) {
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) row[x] = static_cast<uint8_t>(x + y + 3 * n);
    }
    for (int y = 0; y < frame->height / 2; ++y) {
        uint8_t* u = frame->data[1] + y * frame->linesize[1];
        uint8_t* v = frame->data[2] + y * frame->linesize[2];
        for (int x = 0; x < frame->width / 2; ++x) {
            u[x] = static_cast<uint8_t>(128 + y + n * 2);
            v[x] = static_cast<uint8_t>(64 + x + n * 5);
        }
    }
    const int size = frame->height / 4;
    const int left = (n * 4) % (frame->width - size);
    for (int y = size; y < 2 * size; ++y)
        std::memset(frame->data[0] + y * frame->linesize[0] + left, 235, size);
}

}  // namespace

const PictureFormat* PictureFormatByName(const std::string& name) {
    for (const auto& format : kFormats) {
        if (name == format.name) return &format;
    }
    return nullptr;
}

const PictureFormat* PictureFormatByCode(uint8_t code) {
    for (const auto& format : kFormats) {
        if (code == format.code) return &format;
    }
    return nullptr;
}

std::vector<EncodedFrame> EncodeTestPattern(int width, int height, int frame_rate, int frame_count, int gop,
                                            std::string* error) {
    std::vector<EncodedFrame> out;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        *error = "no libx264 encoder in libavcodec";
        return out;
    }
    std::unique_ptr<AVCodecContext, CodecContextDeleter> context(avcodec_alloc_context3(codec));
    context->width = width;
    context->height = height;
    context->time_base = AVRational{1, frame_rate};
    context->framerate = AVRational{frame_rate, 1};
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->gop_size = gop;
    context->max_b_frames = 0;
    context->bit_rate = static_cast<int64_t>(width) * height * 2;
    context->thread_count = 1;
    av_opt_set(context->priv_data, "preset", "veryfast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    av_opt_set(context->priv_data, "profile", "baseline", 0);
    // Parameter sets in front of every key frame, as a recorder's stream carries them.
    av_opt_set(context->priv_data, "x264-params", "repeat-headers=1:keyint_min=1:scenecut=0", 0);
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        *error = "libx264 did not open";
        return out;
    }
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        *error = "no memory for a picture";
        return out;
    }
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    auto drain = [&]() {
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            EncodedFrame encoded;
            encoded.bytes.assign(packet->data, packet->data + packet->size);
            encoded.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            out.push_back(std::move(encoded));
            av_packet_unref(packet.get());
        }
    };
    for (int n = 0; n < frame_count; ++n) {
        av_frame_make_writable(frame.get());
        DrawPattern(frame.get(), n);
        frame->pts = n;
        frame->pict_type = n % gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(context.get(), frame.get()) < 0) {
            *error = "the encoder refused a picture";
            out.clear();
            return out;
        }
        drain();
    }
    avcodec_send_frame(context.get(), nullptr);
    drain();
    return out;
}

std::shared_ptr<const std::vector<EncodedFrame>> H264Library::Loop(const PictureFormat& format,
                                                                   int frame_rate) {
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
        if (entry.code == format.code && entry.frame_rate == frame_rate) return entry.frames;
    }
    std::string error;
    auto frames = std::make_shared<const std::vector<EncodedFrame>>(EncodeTestPattern(
        format.width, format.height, frame_rate > 0 ? frame_rate : 25, loop_frames_, gop_, &error));
    if (frames->empty()) return nullptr;
    entries_.push_back({format.code, frame_rate, frames});
    return frames;
}

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
#include "h264_loop.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <algorithm>
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

// Where the label goes in a picture: per luma pixel 0 (the pattern), 1 (the dark box) or 2 (text).
// Rendered once per loop with the overlay font into a scratch image, then stamped onto every frame.
std::vector<uint8_t> LabelMask(int width, int height, const PictureLabel& label,
                               const corvel::OverlayFont& font) {
    constexpr int kMarginPx = 4, kLeftPx = 6, kTopPx = 4;
    std::vector<uint8_t> mask;
    if (!font.ok()) return mask;
    std::vector<uint8_t> scratch(static_cast<size_t>(width) * height * 4, 0);
    const corvel::TextSurface surface{scratch.data(), width * 4, width, height, VELQ_PIX_BGRA32};
    font.DrawText(surface, kLeftPx, kTopPx, label.first_line, 0xFFFFFF);
    font.DrawText(surface, kLeftPx, kTopPx + corvel::OverlayFont::kCellHeightPx, label.second_line, 0xFFFFFF);
    mask.assign(static_cast<size_t>(width) * height, 0);
    int right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (scratch[(static_cast<size_t>(y) * width + x) * 4] == 0) continue;
            mask[static_cast<size_t>(y) * width + x] = 2;
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
    }
    for (int y = 0; y <= std::min(bottom + kMarginPx, height - 1); ++y) {
        for (int x = 0; x <= std::min(right + kMarginPx, width - 1); ++x) {
            uint8_t& cell = mask[static_cast<size_t>(y) * width + x];
            if (cell == 0) cell = 1;
        }
    }
    return mask;
}

// Stamps the label: white text on a black box, with neutral colour under the box.
void DrawLabel(AVFrame* frame, const std::vector<uint8_t>& mask) {
    if (mask.empty()) return;
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + y * frame->linesize[0];
        const uint8_t* cells = mask.data() + static_cast<size_t>(y) * frame->width;
        for (int x = 0; x < frame->width; ++x) {
            if (cells[x] != 0) row[x] = cells[x] == 2 ? 235 : 16;
        }
    }
    for (int y = 0; y < frame->height / 2; ++y) {
        const uint8_t* cells = mask.data() + static_cast<size_t>(2 * y) * frame->width;
        for (int x = 0; x < frame->width / 2; ++x) {
            if (cells[2 * x] == 0) continue;
            frame->data[1][y * frame->linesize[1] + x] = 128;
            frame->data[2][y * frame->linesize[2] + x] = 128;
        }
    }
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

std::vector<EncodedFrame> EncodeTestPattern(int width, int height, const EncodeOptions& options,
                                            std::string* error) {
    const int frame_rate = options.frame_rate > 0 ? options.frame_rate : 25;
    const int gop = options.gop;
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
    // libx264 reports through the context's log; its statistics are informational lines, moved below the
    // default level unless asked for.
    if (!options.encoder_log) context->log_level_offset = AV_LOG_VERBOSE - AV_LOG_INFO;
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
    const std::vector<uint8_t> label = options.label != nullptr && options.font != nullptr
                                           ? LabelMask(width, height, *options.label, *options.font)
                                           : std::vector<uint8_t>();
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
    for (int n = 0; n < options.frame_count; ++n) {
        av_frame_make_writable(frame.get());
        DrawPattern(frame.get(), n);
        DrawLabel(frame.get(), label);
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
                                                                   int frame_rate,
                                                                   const std::string& device_id,
                                                                   int channel) {
    const std::string key = device_id + '\n' + std::to_string(channel) + '\n' + std::to_string(format.code) +
                            '\n' + std::to_string(frame_rate);
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard lock(mutex_);
        auto& entry = slots_[key];
        if (!entry) entry = std::make_shared<Slot>();
        slot = entry;
    }
    std::lock_guard lock(slot->mutex);
    if (auto frames = slot->frames.lock()) return frames;
    const PictureLabel label{device_id, "channel " + std::to_string(channel)};
    EncodeOptions options;
    options.frame_rate = frame_rate;
    options.frame_count = loop_frames_;
    options.gop = gop_;
    options.label = &label;
    options.font = &font_;
    options.encoder_log = encoder_log_;
    std::string error;
    auto frames = std::make_shared<const std::vector<EncodedFrame>>(
        EncodeTestPattern(format.width, format.height, options, &error));
    if (frames->empty()) return nullptr;
    slot->frames = frames;
    return frames;
}

}  // namespace velq_sim

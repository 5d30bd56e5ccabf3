// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

#include "platform/presenter.h"

namespace corvel {
namespace {

// Room for the largest frame of a D1 stream at a high rate without growing.
constexpr size_t kFirstPacketBytes = 256 * 1024;

}  // namespace

VideoDecoder::~VideoDecoder() {
    avcodec_free_context(&context_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    av_buffer_unref(&packet_bytes_);
    sws_freeContext(converter_);
}

bool VideoDecoder::Open(int width, int height, int bits_per_pixel) {
    if (context_ == nullptr) {
        context_ = avcodec_alloc_context3(nullptr);
        if (context_ == nullptr) return false;
    }
    if (codec_ == nullptr) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        if (codec == nullptr) return false;
        // Pictures leave the decoder as soon as they are complete, decoded on the video thread alone.
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context_->thread_count = 1;
        if (avcodec_open2(context_, codec, nullptr) < 0) return false;
        codec_ = codec;
    }
    if (frame_ == nullptr && (frame_ = av_frame_alloc()) == nullptr) return false;
    if (packet_ == nullptr && (packet_ = av_packet_alloc()) == nullptr) return false;

    if (width != 0 && height != 0 && bits_per_pixel != 0) {
        // The source is the decoder's own output format (planar 4:2:0 for the streams of this system).
        const int source = have_picture_ ? frame_->format : AV_PIX_FMT_YUV420P;
        if (converter_ != nullptr && width == width_ && height == height_ &&
            bits_per_pixel == bits_per_pixel_ && source == converter_source_format_)
            return true;
        AVPixelFormat target;
        switch (bits_per_pixel) {
            case 12:
                target = AV_PIX_FMT_YUV420P;
                break;
            case 16:
                target = AV_PIX_FMT_RGB565LE;
                break;
            case 32:
                target = AV_PIX_FMT_BGRA;
                break;
            default:
                return false;
        }
        converter_ =
            sws_getCachedContext(converter_, width, height, static_cast<AVPixelFormat>(source), width, height,
                                 target, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (converter_ == nullptr) return false;
        converter_source_format_ = source;
    }
    width_ = width;
    height_ = height;
    bits_per_pixel_ = bits_per_pixel;
    return true;
}

bool VideoDecoder::Decode(const uint8_t* data, uint32_t size) {
    have_picture_ = false;
    if (codec_ == nullptr || data == nullptr || size == 0 ||
        size > static_cast<uint32_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE))
        return false;
    const size_t needed = static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE;
    if (packet_bytes_ == nullptr || !av_buffer_is_writable(packet_bytes_) ||
        static_cast<size_t>(packet_bytes_->size) < needed) {
        const size_t old_bytes = packet_bytes_ != nullptr ? static_cast<size_t>(packet_bytes_->size) : 0;
        av_buffer_unref(&packet_bytes_);
        const size_t bytes =
            std::min<size_t>(std::max({needed, old_bytes * 2, kFirstPacketBytes}), INT32_MAX);
        packet_bytes_ = av_buffer_alloc(bytes);
        if (packet_bytes_ == nullptr) return false;
    }
    std::memcpy(packet_bytes_->data, data, size);
    // Zeroed padding keeps the bitstream readers from running on past a damaged frame's end.
    std::memset(packet_bytes_->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->buf = av_buffer_ref(packet_bytes_);
    if (packet_->buf == nullptr) return false;
    packet_->data = packet_bytes_->data;
    packet_->size = static_cast<int>(size);
    // A refused or broken packet may still leave a finished picture behind, so the send result is not
    // looked at: whether a picture comes out is what counts.
    avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (avcodec_receive_frame(context_, frame_) != 0) return false;
    have_picture_ = frame_->width > 0 && frame_->height > 0;
    return have_picture_;
}

int VideoDecoder::decoded_width() const {
    return have_picture_ ? frame_->width : 0;
}
int VideoDecoder::decoded_height() const {
    return have_picture_ ? frame_->height : 0;
}

bool VideoDecoder::ConverterFits() const {
    return converter_ != nullptr && have_picture_ && frame_->width == width_ && frame_->height == height_ &&
           frame_->format == converter_source_format_;
}

bool VideoDecoder::Convert(uint8_t* bits, int pitch) const {
    if (!ConverterFits()) return false;
    uint8_t* planes[4] = {bits, nullptr, nullptr, nullptr};
    int strides[4] = {pitch, 0, 0, 0};
    if (bits_per_pixel_ == 12) {
        const Yv12Planes layout = Yv12Layout(bits, pitch, height_);
        planes[1] = layout.u;  // the converter's order is Y, U, V
        planes[2] = layout.v;
        strides[1] = strides[2] = layout.chroma_pitch;
    }
    sws_scale(converter_, frame_->data, frame_->linesize, 0, height_, planes, strides);
    return true;
}

}  // namespace corvel

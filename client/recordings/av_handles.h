// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Owning handles for the FFmpeg objects of this folder: every one is freed by its own release function,
// whichever way the code that made it leaves.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace recordings {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputCloser {
    // Closes the file (when the muxer opened one) and frees the context; the trailer is the caller's.
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ScalerFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using InputHandle = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputHandle = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecHandle = std::unique_ptr<AVCodecContext, CodecCloser>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFree>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFree>;
using ScalerHandle = std::unique_ptr<SwsContext, ScalerFree>;

}  // namespace recordings

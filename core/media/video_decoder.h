// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

struct AVCodecContext;
struct AVCodec;
struct AVFrame;
struct AVPacket;
struct AVBufferRef;
struct SwsContext;

namespace corvel {

// H.264 decoding of one channel and the conversion of each picture into a back buffer: the codec context
// (low delay, one thread), one frame, one packet, and the cached converter for the picture size and the
// back buffer's bits per pixel it was built for.
//
// Threads: the channel's video thread only (and the controlling thread while that thread is not running).
class VideoDecoder {
  public:
    VideoDecoder() = default;
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the codec if it is not open yet, then, when width, height and bits are all non-zero, makes the
    // converter for them (32: BGRA, 16: RGB 5-6-5 little-endian, 12: planar 4:2:0). False when the codec,
    // an allocation or the converter fails, or for any other depth.
    bool Open(int width, int height, int bits_per_pixel);
    bool is_open() const { return codec_ != nullptr; }

    // Decodes one frame's bytes (read in place, not kept). True when a picture came out; it stays available
    // until the next call. Corrupt input gives false, never a crash.
    bool Decode(const uint8_t* data, uint32_t size);
    // Size of the picture the last Decode produced.
    int decoded_width() const;
    int decoded_height() const;

    // The converter was built for the last picture's size and pixel format.
    bool ConverterFits() const;
    // Converts the last picture into a locked back buffer: packed RGB rows at `pitch`, or for 12 bits the
    // Y, V, U block of the presenter's layout. False when no converter or no picture is there.
    bool Convert(uint8_t* bits, int pitch) const;

    int width() const { return width_; }
    int height() const { return height_; }
    int bits_per_pixel() const { return bits_per_pixel_; }

  private:
    AVCodecContext* context_ = nullptr;
    const AVCodec* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    // The padded copy of the frame's bytes handed to the decoder, reused while the decoder holds no
    // reference to it (a packet without a buffer of its own would be copied into a fresh allocation by
    // the decoder for every frame).
    AVBufferRef* packet_bytes_ = nullptr;
    SwsContext* converter_ = nullptr;
    int converter_source_format_ = -1;
    bool have_picture_ = false;
    int width_ = 0;
    int height_ = 0;
    int bits_per_pixel_ = 0;
};

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/avi_file.h"

#include <unistd.h>

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include "base/le.h"

namespace corvel {
namespace {

// Compression code of the video format. The muxer writes the same code as the stream header's handler.
constexpr uint32_t kVideoFourcc = FourCC('X', '2', '6', '4');
constexpr int kPcmFormatTag = 1;
constexpr int kVideoStream = 0;
constexpr int kAudioStream = 1;

// Names given to libavformat always go through its file protocol, so that a ':' in a recording's name is
// never read as the name of another protocol.
std::string FileUrl(const std::string& path) {
    return "file:" + path;
}

void FreeOutput(AVFormatContext*& ctx) {
    if (ctx == nullptr) return;
    if (ctx->pb != nullptr) avio_closep(&ctx->pb);
    avformat_free_context(ctx);
    ctx = nullptr;
}

// One demuxer over the file for one stream: the other streams are discarded, so the video and the audio
// cursor move independently and nothing is queued for the stream not being read.
struct StreamCursor {
    AVFormatContext* ctx = nullptr;
    int index = -1;
    AVPacket* pending = nullptr;  // the next sample once read, until it is taken
    bool has_pending = false;
    int offset = 0;  // bytes of `pending` already taken (audio)

    ~StreamCursor() {
        av_packet_free(&pending);
        avformat_close_input(&ctx);
    }

    bool Open(const std::string& path, AVMediaType type) {
        ctx = avformat_alloc_context();
        if (ctx == nullptr) return false;
        // Samples are handed out as stored: no parser may split, join or inspect them.
        ctx->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int opened =
            avformat_open_input(&ctx, FileUrl(path).c_str(), av_find_input_format("avi"), &options);
        av_dict_free(&options);
        if (opened < 0) return false;
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            if (index < 0 && ctx->streams[i]->codecpar->codec_type == type) {
                index = static_cast<int>(i);
            } else {
                ctx->streams[i]->discard = AVDISCARD_ALL;
            }
        }
        pending = av_packet_alloc();
        return pending != nullptr;
    }

    // Makes `pending` hold the next sample of the stream; false at its end or on a read error. A chunk cut
    // short by the end of the file (the tail of an interrupted recording) is not a sample.
    bool Fill() {
        if (has_pending) return true;
        if (index < 0) return false;
        for (;;) {
            if (av_read_frame(ctx, pending) < 0) return false;
            if (pending->stream_index == index && (pending->flags & AV_PKT_FLAG_CORRUPT) == 0) {
                offset = 0;
                has_pending = true;
                return true;
            }
            av_packet_unref(pending);
        }
    }

    void Take() {
        av_packet_unref(pending);
        has_pending = false;
    }
};

}  // namespace

struct CAviFile::Writer {
    AVFormatContext* ctx = nullptr;
    AVPacket* packet = nullptr;
    AVRational video_unit{1, 1};  // one video sample
    AVRational audio_unit{1, 1};  // one audio sample
    int block_align = 2;

    ~Writer() {
        av_packet_free(&packet);
        FreeOutput(ctx);
    }

    // Hands one sample (or run of audio samples) straight to the muxer, flagged as key frame, at `position`
    // counted in `unit`. The muxer writes it at once (no interleaving queue) and flushes it to the file.
    bool Write(int stream, const void* data, uint32_t size, int64_t position, int64_t count,
               AVRational unit) {
        const AVRational base = ctx->streams[stream]->time_base;
        av_packet_unref(packet);
        packet->data = static_cast<uint8_t*>(const_cast<void*>(data));
        packet->size = static_cast<int>(size);
        packet->stream_index = stream;
        packet->pts = packet->dts = av_rescale_q(position, unit, base);
        packet->duration = av_rescale_q(count, unit, base);
        packet->flags = AV_PKT_FLAG_KEY;
        const int written = av_write_frame(ctx, packet);
        packet->data = nullptr;
        packet->size = 0;
        return written >= 0 && ctx->pb->error >= 0;
    }
};

struct CAviFile::Reader {
    StreamCursor video;
    StreamCursor audio;
    int block_align = 2;
};

CAviFile::CAviFile() = default;

CAviFile::~CAviFile() {
    Close();
}

bool CAviFile::IsOpen() const {
    return writer_ != nullptr || reader_ != nullptr;
}

bool CAviFile::Create(const std::string& path, int32_t width, int32_t height, int32_t frames_per_second,
                      int32_t samples_per_second, int32_t bits_per_sample, int32_t channels) {
    Close();
    // The frame rectangle holds 16-bit sizes; the rate keeps the time base finite.
    if (path.empty() || width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
        frames_per_second <= 0 || frames_per_second > 1000 || samples_per_second <= 0 ||
        (bits_per_sample != 8 && bits_per_sample != 16) || channels < 1 || channels > 2) {
        return false;
    }
    auto writer = std::make_unique<Writer>();
    if (avformat_alloc_output_context2(&writer->ctx, nullptr, "avi", nullptr) < 0) return false;
    // Every sample goes to the kernel with its own write: a recording killed at any moment keeps all its
    // complete samples, also after a pause in the stream. One write per sample costs a few microseconds;
    // the output buffer would otherwise grow and hold seconds of media in memory only.
    writer->ctx->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    writer->packet = av_packet_alloc();
    AVStream* video = avformat_new_stream(writer->ctx, nullptr);
    AVStream* audio = avformat_new_stream(writer->ctx, nullptr);
    if (writer->packet == nullptr || video == nullptr || audio == nullptr) return false;

    AVCodecParameters* vpar = video->codecpar;
    vpar->codec_type = AVMEDIA_TYPE_VIDEO;
    vpar->codec_id = AV_CODEC_ID_H264;
    vpar->codec_tag = kVideoFourcc;
    vpar->width = width;
    vpar->height = height;
    vpar->bits_per_coded_sample = 24;
    // The muxer reduces scale and rate by their common divisor, so 1000 / (fps * 1000) is written as 1 / fps.
    video->time_base = AVRational{1000, frames_per_second * 1000};
    video->avg_frame_rate = AVRational{frames_per_second, 1};
    writer->video_unit = AVRational{1, frames_per_second};

    AVCodecParameters* apar = audio->codecpar;
    apar->codec_type = AVMEDIA_TYPE_AUDIO;
    apar->codec_id = bits_per_sample == 16 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
    apar->codec_tag = kPcmFormatTag;
    apar->sample_rate = samples_per_second;
    av_channel_layout_default(&apar->ch_layout, channels);
    apar->bits_per_coded_sample = bits_per_sample;
    apar->block_align = channels * bits_per_sample / 8;
    apar->bit_rate = int64_t{samples_per_second} * apar->block_align * 8;
    audio->time_base = AVRational{1, samples_per_second};
    writer->audio_unit = AVRational{1, samples_per_second};
    writer->block_align = apar->block_align;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened =
        avio_open2(&writer->ctx->pb, FileUrl(path).c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return false;
    // From here on the file exists: a failure removes it again.
    if (avformat_write_header(writer->ctx, nullptr) < 0) {
        writer.reset();
        unlink(path.c_str());
        return false;
    }
    avio_flush(writer->ctx->pb);
    if (writer->ctx->pb->error < 0) {
        writer.reset();
        unlink(path.c_str());
        return false;
    }
    writer_ = std::move(writer);
    return true;
}

bool CAviFile::Open(const std::string& path) {
    Close();
    auto reader = std::make_unique<Reader>();
    if (!reader->video.Open(path, AVMEDIA_TYPE_VIDEO) || !reader->audio.Open(path, AVMEDIA_TYPE_AUDIO))
        return false;
    if (reader->video.index < 0 && reader->audio.index < 0) return false;

    AviFileInfo info;
    info.streams = reader->video.ctx->nb_streams;
    if (reader->video.index >= 0) {
        const AVStream* st = reader->video.ctx->streams[reader->video.index];
        info.has_video = true;
        info.width = st->codecpar->width;
        info.height = st->codecpar->height;
        info.video_fourcc = st->codecpar->codec_tag;
        info.video_scale = static_cast<uint32_t>(st->time_base.num);
        info.video_rate = static_cast<uint32_t>(st->time_base.den);
    }
    if (reader->audio.index >= 0) {
        const AVCodecParameters* par = reader->audio.ctx->streams[reader->audio.index]->codecpar;
        info.has_audio = true;
        info.samples_per_second = par->sample_rate;
        info.bits_per_sample = par->bits_per_coded_sample;
        info.channels = par->ch_layout.nb_channels;
        reader->block_align = par->block_align > 0 ? par->block_align : 1;
    }
    info_ = info;
    reader_ = std::move(reader);
    return true;
}

void CAviFile::Close() {
    if (writer_ != nullptr) {
        // The trailer writes the index and the final sizes into the headers.
        av_write_trailer(writer_->ctx);
        writer_.reset();
    }
    reader_.reset();
    info_ = AviFileInfo{};
    video_sample_count_ = 0;
    audio_sample_position_ = 0;
}

bool CAviFile::WriteVideo(const void* data, uint32_t size) {
    if (writer_ == nullptr) return false;
    const int64_t index = video_sample_count_++;
    if (size > static_cast<uint32_t>(INT32_MAX) || (data == nullptr && size != 0)) return false;
    // An empty sample is left to the muxer's own gap filling: the next sample's index makes it write an
    // empty chunk in its place.
    if (size == 0) return true;
    return writer_->Write(kVideoStream, data, size, index, 1, writer_->video_unit);
}

bool CAviFile::WriteAudio(const void* pcm, uint32_t bytes) {
    if (writer_ == nullptr) return false;
    const uint32_t samples = bytes / static_cast<uint32_t>(writer_->block_align);
    const int64_t position = audio_sample_position_;
    audio_sample_position_ += samples;
    if (samples == 0) return true;
    const uint32_t length = samples * static_cast<uint32_t>(writer_->block_align);
    if (pcm == nullptr || length > static_cast<uint32_t>(INT32_MAX)) return false;
    return writer_->Write(kAudioStream, pcm, length, position, samples, writer_->audio_unit);
}

bool CAviFile::ReadVideo(void* buffer, uint32_t* size) {
    if (size == nullptr) return false;
    const uint32_t room = *size;
    *size = 0;
    if (reader_ == nullptr || !reader_->video.Fill()) return false;
    AVPacket* pkt = reader_->video.pending;
    const auto length = static_cast<uint32_t>(pkt->size);
    *size = length;
    if (length > room || (buffer == nullptr && length != 0)) return false;
    if (length != 0) std::memcpy(buffer, pkt->data, length);
    reader_->video.Take();
    ++video_sample_count_;
    return true;
}

bool CAviFile::ReadAudio(void* buffer, uint32_t* size) {
    if (size == nullptr) return false;
    if (reader_ == nullptr || buffer == nullptr) {
        *size = 0;
        return false;
    }
    const auto align = static_cast<uint32_t>(reader_->block_align);
    const uint32_t wanted = *size / align * align;
    StreamCursor& cursor = reader_->audio;
    uint32_t done = 0;
    while (done < wanted && cursor.Fill()) {
        AVPacket* pkt = cursor.pending;
        const uint32_t left = static_cast<uint32_t>(pkt->size - cursor.offset);
        const uint32_t take = left < wanted - done ? left : wanted - done;
        std::memcpy(static_cast<uint8_t*>(buffer) + done, pkt->data + cursor.offset, take);
        done += take;
        cursor.offset += static_cast<int>(take);
        if (cursor.offset >= pkt->size) cursor.Take();
    }
    *size = done;
    audio_sample_position_ += done / align;
    return done > 0;
}

}  // namespace corvel

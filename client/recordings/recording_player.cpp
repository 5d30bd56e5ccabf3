// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/recording_player.h"

#include <QFileInfo>
#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace recordings {
namespace {

// Frames decoded per Advance at most: 8x of 25 frames per second at a 25 ms tick needs 5.
constexpr int kMaximumFramesPerAdvance = 12;
// Sound that nobody takes is dropped beyond this much (2 s of 8 kHz 16-bit mono).
constexpr qsizetype kMaximumSoundBytes = 32000;

UserText NoDecoder() {
    return UserText([](const TranslateText& translate) {
        return translate(QStringLiteral("No H.264 decoder is available."));
    });
}

}  // namespace

bool RecordingPlayer::Open(const QString& path, UserText* error) {
    codec_.reset();
    if (!source_.Open(path, error)) return false;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_H264);
    CodecHandle codec(avcodec_alloc_context3(decoder));
    if (decoder == nullptr || !codec) {
        Tell(error, NoDecoder());
        return false;
    }
    // The same settings as live video: pictures leave the decoder as soon as they are complete, decoded
    // on the calling thread alone.
    codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
    codec->thread_count = 1;
    if (avcodec_parameters_to_context(codec.get(), source_.video()->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        Tell(error, NoDecoder());
        return false;
    }
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) return false;
    codec_ = std::move(codec);

    sound_rate_ = sound_channels_ = 0;
    if (source_.audio_index() >= 0) {
        const AVCodecParameters* audio = source_.format()->streams[source_.audio_index()]->codecpar;
        if (audio->codec_id == AV_CODEC_ID_PCM_S16LE && audio->ch_layout.nb_channels > 0) {
            sound_rate_ = audio->sample_rate;
            sound_channels_ = audio->ch_layout.nb_channels;
        }
    }
    playing_ = ended_ = false;
    speed_ = 1.0;
    if (!Seek(0)) {
        codec_.reset();
        Tell(error, CutShort(QFileInfo(path).fileName()));
        return false;
    }
    return true;
}

QSize RecordingPlayer::picture_size() const {
    return is_open() ? QSize(source_.video()->codecpar->width, source_.video()->codecpar->height) : QSize();
}

bool RecordingPlayer::Seek(double position_ms, int64_t now_ms) {
    if (!is_open()) return false;
    const auto& frames = source_.frames();
    const int64_t target = std::clamp(source_.MsToDts(position_ms), frames.front().dts, frames.back().dts);
    const size_t key = source_.KeyFrameAtOrBefore(target);
    if (!source_.SeekToFrame(key)) return false;
    avcodec_flush_buffers(codec_.get());
    sound_.clear();
    last_dts_ = frames[key].dts - 1;
    bool shown = false;
    // Frames before the target are decoded (a P frame needs them) but not converted.
    while (last_dts_ < target) {
        const size_t next = static_cast<size_t>(
            std::upper_bound(frames.begin(), frames.end(), last_dts_,
                             [](int64_t value, const FrameEntry& f) { return value < f.dts; }) -
            frames.begin());
        const bool last_before_target = next + 1 >= frames.size() || frames[next + 1].dts > target;
        if (!DecodeNext(last_before_target)) break;
        shown = shown || last_before_target;
    }
    ended_ = false;
    Anchor(now_ms);
    return shown || !picture_.isNull();
}

bool RecordingPlayer::StepForward() {
    playing_ = false;
    if (!is_open() || frame_index_ + 1 >= frame_count()) return false;
    return DecodeNext(true);
}

void RecordingPlayer::Play(int64_t now_ms) {
    if (!is_open()) return;
    if (frame_index_ + 1 >= frame_count()) Seek(0, now_ms);
    playing_ = true;
    ended_ = false;
    Anchor(now_ms);
}

void RecordingPlayer::Pause() {
    playing_ = false;
    sound_.clear();
}

void RecordingPlayer::SetSpeed(double speed, int64_t now_ms) {
    Anchor(now_ms);
    speed_ = std::clamp(speed, kMinimumSpeed, kMaximumSpeed);
    if (!sound_on()) sound_.clear();
}

void RecordingPlayer::Anchor(int64_t now_ms) {
    anchor_wall_ms_ = now_ms;
    anchor_position_ms_ = position_ms_;
}

bool RecordingPlayer::Advance(int64_t now_ms) {
    if (!is_open() || !playing_) return false;
    const double due_ms = anchor_position_ms_ + static_cast<double>(now_ms - anchor_wall_ms_) * speed_;
    const auto& frames = source_.frames();
    bool shown = false;
    for (int n = 0; n < kMaximumFramesPerAdvance; ++n) {
        if (frame_index_ + 1 >= frames.size()) {
            playing_ = false;
            ended_ = true;
            return shown;
        }
        if (source_.DtsToMs(frames[frame_index_ + 1].dts) > due_ms) return shown;
        const bool last = frame_index_ + 2 >= frames.size() ||
                          source_.DtsToMs(frames[frame_index_ + 2].dts) > due_ms ||
                          n + 1 == kMaximumFramesPerAdvance;
        if (!DecodeNext(last)) {
            // The readable part ended before the list did (a chunk torn at the end).
            playing_ = false;
            ended_ = true;
            return shown;
        }
        shown = shown || last;
    }
    Anchor(now_ms);  // behind: go on from here at the same speed
    return shown;
}

QByteArray RecordingPlayer::TakeSound() {
    QByteArray taken;
    taken.swap(sound_);
    return taken;
}

bool RecordingPlayer::DecodeNext(bool show) {
    for (;;) {
        const int received = avcodec_receive_frame(codec_.get(), frame_.get());
        if (received == 0) return TakeFrame(show);
        // The end of the drained decoder, or a decoder that gave up.
        if (received != AVERROR(EAGAIN)) return false;
        if (av_read_frame(source_.format(), packet_.get()) < 0) {
            avcodec_send_packet(codec_.get(), nullptr);  // the end: drain what the decoder still holds
            continue;
        }
        if (packet_->stream_index == source_.video_index()) {
            // A packet the decoder refuses (damaged data) is skipped; the next key frame recovers.
            avcodec_send_packet(codec_.get(), packet_.get());
        } else if (packet_->stream_index == source_.audio_index() && sound_on()) {
            if (sound_.size() + packet_->size <= kMaximumSoundBytes)
                sound_.append(reinterpret_cast<const char*>(packet_->data), packet_->size);
        }
        av_packet_unref(packet_.get());
    }
}

bool RecordingPlayer::TakeFrame(bool show) {
    const int64_t dts = frame_->pkt_dts != AV_NOPTS_VALUE ? frame_->pkt_dts : frame_->best_effort_timestamp;
    last_dts_ = dts != AV_NOPTS_VALUE ? dts : last_dts_ + 1;
    const auto& frames = source_.frames();
    const auto at = std::lower_bound(frames.begin(), frames.end(), last_dts_,
                                     [](const FrameEntry& f, int64_t value) { return f.dts < value; });
    frame_index_ = std::min(static_cast<size_t>(at - frames.begin()), frames.size() - 1);
    position_ms_ = source_.DtsToMs(frames[frame_index_].dts);
    const bool ok = !show || ShowFrame(frame_.get());
    av_frame_unref(frame_.get());
    return ok;
}

bool RecordingPlayer::ShowFrame(const AVFrame* frame) {
    if (frame->width <= 0 || frame->height <= 0) return false;
    scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height,
                                       static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                                       AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_) return false;
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    if (image.isNull()) return false;
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    picture_ = std::move(image);
    return true;
}

}  // namespace recordings

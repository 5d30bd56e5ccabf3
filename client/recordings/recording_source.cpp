// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/recording_source.h"

#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace recordings {
namespace {

// How far back a seek looks for a key frame by reading samples (a minute at 25 frames per second);
// beyond that it starts from the first frame, which the recorder always makes a key frame.
constexpr size_t kMaximumKeySearch = 1500;

bool HasIndexEntry(AVStream* stream, int64_t dts) {
    const int index = av_index_search_timestamp(stream, dts, AVSEEK_FLAG_ANY | AVSEEK_FLAG_BACKWARD);
    return index >= 0 && avformat_index_get_entry(stream, index)->timestamp == dts;
}

}  // namespace

bool StartsPicture(const uint8_t* data, int size) {
    for (int i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            const int type = data[i + 3] & 0x1f;
            if (type == 5 || type == 7) return true;
            if (type == 1) return false;  // a slice of a picture that needs earlier ones
            i += 2;
        }
    }
    return false;
}

namespace {

bool HeadIsAvi(int fd) {
    char head[12];
    return ::pread(fd, head, sizeof head, 0) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "AVI", 3) == 0;
}

}  // namespace

bool LooksLikeAvi(const QString& path) {
    RegularFile file;
    return file.Open(path, nullptr) && HeadIsAvi(file.fd());
}

// "<name> is cut short before its first picture and cannot be played."
UserText CutShort(const QString& name) {
    return UserText([name](const TranslateText& translate) {
        return translate(QStringLiteral("%1 is cut short before its first picture and cannot be played."))
            .arg(name);
    });
}

bool RecordingSource::Open(const QString& path, UserText* error) {
    const QString name = QFileInfo(path).fileName();
    // A source opened again starts afresh: nothing of the previous file stays.
    format_.reset();
    frames_.clear();
    scanned_ = false;
    video_index_ = audio_index_ = -1;
    if (!file_.Open(path, error)) return false;
    if (!HeadIsAvi(file_.fd())) {
        Tell(error, UserText([name](const TranslateText& translate) {
                 return translate(QStringLiteral("%1 is not an AVI recording.")).arg(name);
             }));
        return false;
    }
    AVFormatContext* raw = nullptr;
    // The demuxer opens the file checked above, not whatever the name may name by now.
    if (avformat_open_input(&raw, file_.ReopenPath().constData(), av_find_input_format("avi"), nullptr) < 0) {
        Tell(error, CutShort(name));
        return false;
    }
    format_.reset(raw);
    video_index_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    audio_index_ = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio_index_ < 0) audio_index_ = -1;
    if (video_index_ < 0 || video()->codecpar->codec_id != AV_CODEC_ID_H264) {
        Tell(error, UserText([name](const TranslateText& translate) {
                 return translate(QStringLiteral("%1 holds no H.264 video and cannot be played.")).arg(name);
             }));
        return false;
    }

    // An index is trusted only as far as the file reaches: entries past its end belong to a part that a
    // cut took away, and the file is then read through instead.
    const int64_t file_bytes = avio_size(raw->pb);
    const int count = avformat_index_get_entries_count(video());
    bool index_whole = count > 0;
    for (int i = 0; i < count && index_whole; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(video(), i);
        if (file_bytes > 0 && entry->pos + entry->size > file_bytes) index_whole = false;
        if (entry->size > 0)
            frames_.push_back({entry->timestamp,
                               (entry->flags & AVINDEX_KEYFRAME) != 0 ? KeyFrame::kUnknown : KeyFrame::kNo});
    }
    if (!index_whole) {
        frames_.clear();
        if (!ReadThrough()) {
            Tell(error, CutShort(name));
            return false;
        }
    }
    // A recording starts at a key frame; without one nothing can be decoded.
    if (!IsKeyFrame(0) || !SeekToFrame(0)) {
        Tell(error, CutShort(name));
        return false;
    }
    return true;
}

bool RecordingSource::ReadThrough() {
    scanned_ = true;
    AVFormatContext* format = format_.get();
    std::vector<AVDiscard> saved;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        saved.push_back(format->streams[i]->discard);
        if (static_cast<int>(i) != video_index_) format->streams[i]->discard = AVDISCARD_ALL;
    }
    PacketHandle packet(av_packet_alloc());
    if (!packet) return false;
    // A torn last chunk ends the reading like the end of the file does: everything before it is kept.
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == video_index_ && packet->size > 0) {
            const int64_t dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (dts != AV_NOPTS_VALUE && (frames_.empty() || dts > frames_.back().dts)) {
                const bool key = StartsPicture(packet->data, packet->size);
                frames_.push_back({dts, key ? KeyFrame::kYes : KeyFrame::kNo});
                // The demuxer seeks by its index, which it fills with every chunk it walks past; a key
                // frame it did not note gets an entry at its chunk's 8-byte header, where the demuxer's
                // own entries point.
                if (key && !HasIndexEntry(video(), dts) && packet->pos >= 8)
                    av_add_index_entry(video(), packet->pos - 8, dts, packet->size, 0, AVINDEX_KEYFRAME);
            }
        }
        av_packet_unref(packet.get());
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) format->streams[i]->discard = saved[i];
    return !frames_.empty();
}

double RecordingSource::DtsToMs(int64_t dts) const {
    return static_cast<double>(dts - (frames_.empty() ? 0 : frames_.front().dts)) *
           av_q2d(video()->time_base) * 1000.0;
}

int64_t RecordingSource::MsToDts(double ms) const {
    const double ticks = ms / 1000.0 / av_q2d(video()->time_base);
    // A hair of tolerance so that a position computed from a frame's own time maps back to that frame.
    return static_cast<int64_t>(std::floor(ticks + 1e-6)) + (frames_.empty() ? 0 : frames_.front().dts);
}

double RecordingSource::frame_period_ms() const {
    const AVRational rate = video()->avg_frame_rate.num > 0 ? video()->avg_frame_rate : video()->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) return 1000.0 / av_q2d(rate);
    return av_q2d(video()->time_base) * 1000.0;
}

double RecordingSource::duration_ms() const {
    if (frames_.empty()) return 0;
    return DtsToMs(frames_.back().dts) + frame_period_ms();
}

size_t RecordingSource::KeyFrameAtOrBefore(int64_t dts) {
    auto it = std::upper_bound(frames_.begin(), frames_.end(), dts,
                               [](int64_t value, const FrameEntry& f) { return value < f.dts; });
    size_t index = it == frames_.begin() ? 0 : static_cast<size_t>(it - frames_.begin()) - 1;
    for (size_t looked = 0; index > 0; --index, ++looked) {
        if (looked >= kMaximumKeySearch) return 0;
        if (IsKeyFrame(index)) return index;
    }
    return 0;
}

bool RecordingSource::IsKeyFrame(size_t index) {
    FrameEntry& entry = frames_[index];
    if (entry.key != KeyFrame::kUnknown) return entry.key == KeyFrame::kYes;
    entry.key = KeyFrame::kNo;
    if (!SeekToFrame(index)) return false;
    PacketHandle packet(av_packet_alloc());
    if (!packet) return false;
    while (av_read_frame(format_.get(), packet.get()) >= 0) {
        const bool video_packet = packet->stream_index == video_index_;
        if (video_packet && StartsPicture(packet->data, packet->size)) entry.key = KeyFrame::kYes;
        av_packet_unref(packet.get());
        if (video_packet) break;
    }
    return entry.key == KeyFrame::kYes;
}

bool RecordingSource::SeekToFrame(size_t index) {
    if (index >= frames_.size()) return false;
    return av_seek_frame(format_.get(), video_index_, frames_[index].dts, AVSEEK_FLAG_BACKWARD) >= 0;
}

}  // namespace recordings

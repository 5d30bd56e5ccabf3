// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/clip_exporter.h"

#include <stdio.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "recordings/av_handles.h"
#include "recordings/recording_source.h"
#include "recordings/regular_file.h"

namespace recordings {
namespace {

ClipResult Failed(UserText error) {
    ClipResult result;
    result.error = std::move(error);
    return result;
}

// The messages of an export. The file names they hold are copied: the export thread makes them, the
// window says them.
UserText OverItself() {
    return UserText([](const TranslateText& translate) {
        return translate(QStringLiteral("A clip cannot be written over its own recording."));
    });
}

UserText EndBeforeStart() {
    return UserText([](const TranslateText& translate) {
        return translate(QStringLiteral("The clip's end must come after its start."));
    });
}

UserText CannotRead(const QString& name) {
    return UserText([name](const TranslateText& translate) {
        return translate(QStringLiteral("%1 cannot be read.")).arg(name);
    });
}

UserText CannotWrite(const QString& name) {
    return UserText([name](const TranslateText& translate) {
        return translate(QStringLiteral("%1 cannot be written.")).arg(name);
    });
}

// The clip's temporary file: made beside the target under a name of its own (O_EXCL, so it is a new file
// and never the recording or anything else that was there), removed unless the export got to its end.
class PartFile {
  public:
    explicit PartFile(const QString& target)
        : file_(QFileInfo(target).absolutePath() + QStringLiteral("/.") + QFileInfo(target).fileName() +
                QStringLiteral(".XXXXXX.part")) {}
    bool Create() { return file_.open(); }
    QString path() const { return file_.fileName(); }
    // Puts the finished clip in the target's place in one step: a reader sees the old file or the whole
    // clip, never a part.
    bool MoveTo(const QString& target) {
        file_.close();
        if (::rename(QFile::encodeName(path()).constData(), QFile::encodeName(target).constData()) != 0)
            return false;
        file_.setAutoRemove(false);
        return true;
    }

  private:
    QTemporaryFile file_;
};

}  // namespace

ClipResult ExportClip(const QString& recording, const QString& target, double in_ms, double out_ms,
                      const ClipProgress& progress) {
    const QFileInfo source_info(recording);
    const QFileInfo target_info(target);
    if (source_info.absoluteFilePath() == target_info.absoluteFilePath()) return Failed(OverItself());
    if (!(out_ms > in_ms)) return Failed(EndBeforeStart());

    RecordingSource source;
    UserText error;
    if (!source.Open(recording, &error)) return Failed(std::move(error));
    // The file read, compared by device and inode: a target that is a symbolic or hard link to it, or
    // names it by another path, is the recording too.
    if (IdentityOf(target) == source.identity()) return Failed(OverItself());
    const auto& frames = source.frames();
    const size_t first = source.KeyFrameAtOrBefore(source.MsToDts(in_ms));
    const int64_t start_dts = frames[first].dts;
    const int64_t end_dts = source.MsToDts(out_ms);  // first frame no longer in the clip
    if (end_dts <= start_dts) return Failed(EndBeforeStart());
    if (!source.SeekToFrame(first)) return Failed(CannotRead(source_info.fileName()));
    // The pictures the recording holds in the clip's range, as it was opened: the clip must get them all.
    size_t expected_frames = 0;
    for (size_t i = first; i < frames.size() && frames[i].dts < end_dts; ++i) ++expected_frames;

    const UserText cannot_write = CannotWrite(target_info.fileName());
    PartFile part(target);
    if (!part.Create()) return Failed(cannot_write);
    AVFormatContext* raw = nullptr;
    const QByteArray part_name = QFile::encodeName(part.path());
    if (avformat_alloc_output_context2(&raw, nullptr, "avi", part_name.constData()) < 0 || raw == nullptr)
        return Failed(cannot_write);
    OutputHandle output(raw);

    AVStream* in_video = source.video();
    AVStream* out_video = avformat_new_stream(raw, nullptr);
    if (out_video == nullptr || avcodec_parameters_copy(out_video->codecpar, in_video->codecpar) < 0)
        return Failed(cannot_write);
    out_video->codecpar->codec_tag = 0;
    out_video->time_base = in_video->time_base;
    out_video->avg_frame_rate = in_video->avg_frame_rate;
    out_video->r_frame_rate = in_video->r_frame_rate;
    AVStream* in_audio = source.audio_index() >= 0 ? source.format()->streams[source.audio_index()] : nullptr;
    if (in_audio != nullptr && in_audio->codecpar->sample_rate <= 0) in_audio = nullptr;
    AVStream* out_audio = nullptr;
    if (in_audio != nullptr) {
        out_audio = avformat_new_stream(raw, nullptr);
        if (out_audio == nullptr || avcodec_parameters_copy(out_audio->codecpar, in_audio->codecpar) < 0)
            return Failed(cannot_write);
        out_audio->codecpar->codec_tag = 0;
        out_audio->time_base = in_audio->time_base;
    }
    if (avio_open(&raw->pb, part_name.constData(), AVIO_FLAG_WRITE) < 0) return Failed(cannot_write);
    if (avformat_write_header(raw, nullptr) < 0) return Failed(cannot_write);

    // Sound goes with the pictures it was stored among: from the first key frame of the clip up to its
    // end. Its times count its samples from the start of the clip (a file read without index knows no
    // other times for it).
    const int audio_block_bytes = in_audio != nullptr ? std::max(1, in_audio->codecpar->block_align) : 1;
    int64_t audio_samples = 0;
    ClipResult result;
    PacketHandle packet(av_packet_alloc());
    if (!packet) return Failed(cannot_write);
    bool started = false;
    size_t written_since_report = 0;
    int read_status = 0;
    while ((read_status = av_read_frame(source.format(), packet.get())) >= 0) {
        const bool video = packet->stream_index == source.video_index();
        const bool audio = in_audio != nullptr && packet->stream_index == source.audio_index();
        if (video) {
            const int64_t dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (dts < start_dts) {
                av_packet_unref(packet.get());
                continue;
            }
            if (dts >= end_dts) break;
            started = true;
            packet->stream_index = out_video->index;
            packet->dts = packet->pts = dts - start_dts;
            packet->duration = 0;
            av_packet_rescale_ts(packet.get(), in_video->time_base, out_video->time_base);
            ++result.video_frames;
            if (progress && ++written_since_report >= 25) {
                written_since_report = 0;
                if (!progress(static_cast<double>(dts - start_dts) /
                              static_cast<double>(end_dts - start_dts)))
                    return Failed(UserText([](const TranslateText& translate) {
                        return translate(QStringLiteral("The export was cancelled."));
                    }));
            }
        } else if (audio && started) {
            packet->stream_index = out_audio->index;
            packet->dts = packet->pts = av_rescale_q(
                audio_samples, AVRational{1, in_audio->codecpar->sample_rate}, out_audio->time_base);
            packet->duration = 0;
            audio_samples += packet->size / audio_block_bytes;
        } else {
            av_packet_unref(packet.get());
            continue;
        }
        packet->pos = -1;
        if (av_write_frame(raw, packet.get()) < 0) return Failed(cannot_write);
        av_packet_unref(packet.get());
    }
    // A read error, or a recording that ends (was cut) before the clip's last picture, leaves a clip with
    // pictures missing: that is no clip.
    const UserText incomplete([name = source_info.fileName()](const TranslateText& translate) {
        return translate(QStringLiteral("%1 could not be read to the end of the clip; nothing was written."))
            .arg(name);
    });
    if (read_status < 0 && read_status != AVERROR_EOF) return Failed(incomplete);
    if (result.video_frames == 0)
        return Failed(UserText([](const TranslateText& translate) {
            return translate(QStringLiteral("The clip holds no picture."));
        }));
    if (result.video_frames < expected_frames) return Failed(incomplete);
    if (av_write_trailer(raw) < 0) return Failed(cannot_write);
    if (avio_closep(&raw->pb) < 0) return Failed(cannot_write);
    output.reset();
    // Looked at again just before the rename: the target may have been made a link to the recording
    // while the clip was written.
    if (IdentityOf(target) == source.identity()) return Failed(OverItself());
    if (!part.MoveTo(target)) return Failed(cannot_write);
    if (progress) progress(1.0);
    result.ok = true;
    result.start_ms = source.DtsToMs(start_dts);
    result.duration_ms = static_cast<double>(result.video_frames) * source.frame_period_ms();
    return result;
}

}  // namespace recordings

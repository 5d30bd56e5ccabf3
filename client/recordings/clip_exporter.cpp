// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/clip_exporter.h"

#include <QFile>
#include <QFileInfo>

#include "recordings/av_handles.h"
#include "recordings/recording_source.h"

namespace recordings {
namespace {

ClipResult Failed(const QString& error) {
    ClipResult result;
    result.error = error;
    return result;
}

// Removes the temporary file unless the export got to its end.
class PartFile {
  public:
    explicit PartFile(QString path) : path_(std::move(path)) {}
    ~PartFile() {
        if (!kept_) QFile::remove(path_);
    }
    const QString& path() const { return path_; }
    void Keep() { kept_ = true; }

  private:
    QString path_;
    bool kept_ = false;
};

}  // namespace

ClipResult ExportClip(const QString& recording, const QString& target, double in_ms, double out_ms,
                      const ClipProgress& progress) {
    const QFileInfo source_info(recording);
    const QFileInfo target_info(target);
    if (source_info.absoluteFilePath() == target_info.absoluteFilePath() ||
        (target_info.exists() && source_info.canonicalFilePath() == target_info.canonicalFilePath())) {
        return Failed(QStringLiteral("A clip cannot be written over its own recording."));
    }
    if (!(out_ms > in_ms)) return Failed(QStringLiteral("The clip's end must come after its start."));

    RecordingSource source;
    QString error;
    if (!source.Open(recording, &error)) return Failed(error);
    const auto& frames = source.frames();
    const size_t first = source.KeyFrameAtOrBefore(source.MsToDts(in_ms));
    const int64_t start_dts = frames[first].dts;
    const int64_t end_dts = source.MsToDts(out_ms);  // first frame no longer in the clip
    if (end_dts <= start_dts) return Failed(QStringLiteral("The clip's end must come after its start."));
    if (!source.SeekToFrame(first))
        return Failed(QStringLiteral("%1 cannot be read.").arg(source_info.fileName()));

    PartFile part(target + QStringLiteral(".part"));
    AVFormatContext* raw = nullptr;
    const QByteArray part_name = QFile::encodeName(part.path());
    if (avformat_alloc_output_context2(&raw, nullptr, "avi", part_name.constData()) < 0 || raw == nullptr)
        return Failed(QStringLiteral("The clip cannot be written."));
    OutputHandle output(raw);

    AVStream* in_video = source.video();
    AVStream* out_video = avformat_new_stream(raw, nullptr);
    if (out_video == nullptr || avcodec_parameters_copy(out_video->codecpar, in_video->codecpar) < 0)
        return Failed(QStringLiteral("The clip cannot be written."));
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
            return Failed(QStringLiteral("The clip cannot be written."));
        out_audio->codecpar->codec_tag = 0;
        out_audio->time_base = in_audio->time_base;
    }
    const QString cannot_write = QStringLiteral("%1 cannot be written.").arg(target_info.fileName());
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
    while (av_read_frame(source.format(), packet.get()) >= 0) {
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
                    return Failed(QStringLiteral("The export was cancelled."));
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
    if (result.video_frames == 0) return Failed(QStringLiteral("The clip holds no picture."));
    if (av_write_trailer(raw) < 0) return Failed(cannot_write);
    if (avio_closep(&raw->pb) < 0) return Failed(cannot_write);
    output.reset();
    QFile::remove(target);
    if (!QFile::rename(part.path(), target)) return Failed(cannot_write);
    part.Keep();
    if (progress) progress(1.0);
    result.ok = true;
    result.start_ms = source.DtsToMs(start_dts);
    result.duration_ms = static_cast<double>(result.video_frames) * source.frame_period_ms();
    return result;
}

}  // namespace recordings

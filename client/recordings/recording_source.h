// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>
#include <vector>

#include "recordings/av_handles.h"
#include "recordings/regular_file.h"

namespace recordings {

// Whether a sample starts a picture that decodes on its own. The recorder marks every sample of its
// index as a key frame, so a mark of the index is only a candidate: its data decides.
enum class KeyFrame : uint8_t { kUnknown, kYes, kNo };

// One video sample of a recording: its decode time in the stream's time base (the frame number for AVI).
struct FrameEntry {
    int64_t dts = 0;
    KeyFrame key = KeyFrame::kUnknown;
};

// Whether H.264 data (Annex B) holds an IDR slice or a sequence parameter set, with which a stream
// decodes from this sample on.
bool StartsPicture(const uint8_t* data, int size);

// A recording opened for reading: the AVI demuxer on the file, its first video stream and the list of its
// video samples. A file with an index takes the list from it; a file without one (its writer was killed, or
// the file was cut) is read through once, so that its duration is the time of its last readable frame and
// seeks find their key frames. One thread at a time; owned by one player or exporter.
class RecordingSource {
  public:
    // Opens `path`. False with a message for the user in *error: a file that is not an AVI ("... is not
    // an AVI recording"), one without a readable picture (cut short before its first frame), or one that
    // cannot be read at all or is no regular file (a folder, a FIFO, a device: never waited for). error
    // may be null.
    bool Open(const QString& path, UserText* error);

    AVFormatContext* format() const { return format_.get(); }
    AVStream* video() const { return format_->streams[video_index_]; }
    int video_index() const { return video_index_; }
    int audio_index() const { return audio_index_; }  // -1 without audio
    const std::vector<FrameEntry>& frames() const { return frames_; }
    // The file opened (the one read, whatever its name names later).
    const FileIdentity& identity() const { return file_.identity(); }
    // Whether the sample list came from reading the file rather than from its index.
    bool scanned() const { return scanned_; }

    // Time of a video sample in milliseconds from the start of the file.
    double DtsToMs(int64_t dts) const;
    int64_t MsToDts(double ms) const;
    double frame_period_ms() const;
    // Time after the last frame: frame count x frame period.
    double duration_ms() const;
    // Index into frames() of the last key frame at or before dts (0 when none is earlier). Reads the
    // candidates' data when their kind is not known yet, and leaves the demuxer anywhere.
    size_t KeyFrameAtOrBefore(int64_t dts);
    // Positions the demuxer at the key frame frames()[index]; false when the demuxer refuses.
    bool SeekToFrame(size_t index);

  private:
    bool ReadThrough();
    bool IsKeyFrame(size_t index);

    RegularFile file_;  // before format_: closed after the demuxer
    InputHandle format_;
    int video_index_ = -1;
    int audio_index_ = -1;
    std::vector<FrameEntry> frames_;
    bool scanned_ = false;
};

// Whether the first bytes of the file are those of an AVI ("RIFF" size "AVI " or an extension "AVIX").
bool LooksLikeAvi(const QString& path);
// The message for a recording (file name `name`) that holds no picture that can be played.
UserText CutShort(const QString& name);

}  // namespace recordings

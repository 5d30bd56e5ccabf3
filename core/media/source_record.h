// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "corvel/record_times.h"

#include "base/locks.h"
#include "media/avi_file.h"
#include "media/frame_buffer.h"
#include "media/pre_record.h"

namespace corvel {

// What the recorder reads of the channel that owns it. The channel's client thread writes the path (at
// most 259 units, NUL-terminated) and the duration only while `recording` is clear and sets the flag after
// them; clearing the flag is followed by CSourceRecord::StopRecording. So the recorder reads path and
// duration only after it has seen the flag set.
struct RecordControl {
    const std::atomic<uint8_t>& recording;
    const char16_t* path;
    const int32_t& max_duration_s;  // seconds per file; 0 = one file for the whole recording
};

// What the recorder needs of the transfer header that a video frame arrived with.
struct RecordFrameHeader {
    uint32_t time = 0;              // seconds since 1970
    uint8_t picture_format = 0;     // picture format code
    uint8_t frames_per_second = 0;  // announced by the sender, 0 = not given
    int64_t receive_unix_ms = 0;    // wall clock when the frame arrived (ms since 1970); 0 = now
};

// Wall clock in milliseconds since 1970, as the time files hold it.
int64_t UnixNowMs();

// Recordings are made at this rate when the sender announces none (the decoder's pacing starts there too).
constexpr int32_t kDefaultRecordFrameRate = 30;
// A file that received fewer bytes of video and audio than this is of no use and is removed at close.
constexpr uint32_t kMinimumRecordingBytes = 1024;

struct PictureSize {
    int32_t width;
    int32_t height;
};
// Picture size of a recording from the transfer header's picture format code.
PictureSize RecordPictureSize(uint8_t format_code);

// Name of the file that a recording opens for a first frame at `time` (seconds since 1970, shown in
// local time): with max_duration_s 0 the record path itself; otherwise the path without a final ".avi"
// (any case) followed by "-%Y-%m-%d-%H-%M-%S.avi".
std::u16string RecordFileName(const char16_t* record_path, int32_t max_duration_s, uint32_t time);

// The channel's recorder: writes the received video frames and the decoded audio of its device into AVI
// files that start at a key frame, splits them after the maximum duration and removes files too short to
// be of use. Beside every AVI it writes a time file (the AVI's name + ".times", corvel/record_times.h):
// when each frame arrived and where video paused for 2 s or more, each line written out at once so a
// killed process keeps it; the AVI's bytes do not depend on it. The lock serialises the video transfer thread
// (RecordVideoFrame), the audio transfer threads of the device (RecordAudio) and the client thread
// (StopRecording) around the open file; the CAviFile part may be used only under it.
class CSourceRecord : public long_lock, public CAviFile {
  public:
    explicit CSourceRecord(const RecordControl& control);
    // Takes the lock and closes an open file as a stop would.
    ~CSourceRecord() override;

    // Video transfer thread, for every kept video frame while the recording flag is set, with what its
    // transfer header says. Frames before the first key frame of a file are dropped; a failed open or
    // write closes the file and the next key frame starts a new one. `pre_record` (the same thread's
    // buffer, may be null): the first file of a recording begins with its frames, which it empties, then
    // this frame follows. The lock is held while the kept frames are written (at most the buffer's bound,
    // 4000 KiB for 10 s), so audio threads may wait that long once at the start of a recording.
    void RecordVideoFrame(const FrameRecord& frame, const RecordFrameHeader& header,
                          PreRecordBuffer* pre_record = nullptr);
    // Audio transfer thread of any channel of the device, with the PCM decoded from one audio frame.
    // Written only into a file that a key frame has opened.
    void RecordAudio(const void* pcm, uint32_t bytes);
    // Client thread, after it cleared the recording flag: takes the lock and closes an open file.
    void StopRecording();

    // Without the lock: whether a file was open a moment ago. The audio hand-over uses it to skip the
    // decoding for channels that could not take the audio anyway; RecordAudio checks again under the lock.
    bool HasOpenFile() const { return has_open_file_.load(std::memory_order_acquire); }

    // Under the lock, or when no other thread uses the recorder.
    const std::u16string& file_name() const { return file_name_; }
    uint32_t bytes_written() const { return bytes_written_; }
    bool started() const { return started_; }

  private:
    // Under the lock, after the kept frames of a pre-record buffer opened a file: they came without
    // audio, so silence brings the audio stream to the video's length and the live audio plays in step.
    void PadAudioToVideo();
    // Under the lock, with the recording flag seen set.
    void WriteFrame(const FrameRecord& frame, const RecordFrameHeader& header);
    bool OpenRecording(const RecordFrameHeader& header);
    void CloseRecording();
    // The time file of the open AVI: opened (truncated) with it, appended with write(2) line by line.
    void OpenTimes();
    void WriteTimes(const std::string& lines);

    // A file descriptor closed with its owner.
    class UniqueFd {
      public:
        UniqueFd() = default;
        UniqueFd(const UniqueFd&) = delete;
        UniqueFd& operator=(const UniqueFd&) = delete;
        ~UniqueFd() { Reset(); }
        void Reset(int fd = -1);
        int get() const { return fd_; }

      private:
        int fd_ = -1;
    };

    RecordControl control_;
    std::u16string file_name_;
    uint32_t bytes_written_ = 0;
    bool started_ = false;
    uint32_t first_time_ = 0;
    uint32_t last_time_ = 0;
    int32_t frame_rate_ = 0;  // of the open file
    // The last file of the current recording that was kept (empty before the first): a file opened after
    // a failure must not take the name of one already made and write over it.
    std::u16string kept_name_;
    std::atomic<bool> has_open_file_{false};
    // Whether the current recording has had its chance at the pre-record buffer (only its first frame
    // takes it); cleared when the recording stops.
    bool pre_record_offered_ = false;
    UniqueFd times_fd_;  // closed with the AVI; -1 when it could not be made (the AVI is written anyway)
    velq::times::Writer times_;
};

}  // namespace corvel

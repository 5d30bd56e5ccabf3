// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/source_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <mutex>
#include <string>

#include "base/text.h"

namespace corvel {
namespace {

constexpr int32_t kRecordSampleRate = 8000;
constexpr int32_t kRecordBitsPerSample = 16;
constexpr int32_t kRecordChannels = 1;
// Files of one recording named after the same second: beyond this many the last name is written over.
constexpr int kMaximumNameNumber = 99;

std::u16string Ascii16(const char* text) {
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

// The record path without a final ".avi" in any case.
std::u16string RecordBase(const char16_t* record_path) {
    return WithoutExtension(std::u16string(record_path), ".avi");
}

std::u16string LocalStamp(uint32_t time) {
    const time_t seconds = static_cast<time_t>(time);
    struct tm local {};
    char text[32] = {};
    if (localtime_r(&seconds, &local) == nullptr ||
        strftime(text, sizeof text, "%Y-%m-%d-%H-%M-%S", &local) == 0) {
        return u"0000-00-00-00-00-00";
    }
    return Ascii16(text);
}

std::string FileSystemName(const std::u16string& name) {
    return FileSystemPath(name.c_str(), name.size());
}

}  // namespace

int64_t UnixNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

PictureSize RecordPictureSize(uint8_t format_code) {
    switch (format_code) {
        case 1:
            return {176, 144};
        case 2:
            return {352, 288};
        case 3:
            return {720, 288};
        case 4:
            return {720, 576};
        case 32:
            return {320, 240};
        case 33:
            return {640, 480};
        default:
            return {352, 240};
    }
}

std::u16string RecordFileName(const char16_t* record_path, int32_t max_duration_s, uint32_t time) {
    if (max_duration_s == 0) return std::u16string(record_path);
    return RecordBase(record_path) + u"-" + LocalStamp(time) + u".avi";
}

CSourceRecord::CSourceRecord(const RecordControl& control) : control_(control) {}

CSourceRecord::~CSourceRecord() {
    std::lock_guard guard(static_cast<long_lock&>(*this));
    CloseRecording();
}

void CSourceRecord::RecordVideoFrame(const FrameRecord& frame, const RecordFrameHeader& header,
                                     PreRecordBuffer* pre_record) {
    std::lock_guard guard(static_cast<long_lock&>(*this));
    // The flag is looked at first: a frame that slipped in after a stop must neither keep a file open nor
    // leave `started` set for the next recording, whose first file has to begin with a key frame.
    if (control_.recording.load() == 0) {
        CloseRecording();
        pre_record_offered_ = false;
        return;
    }
    if (!pre_record_offered_) {
        pre_record_offered_ = true;
        if (pre_record != nullptr && !started_ && !pre_record->empty()) {
            for (const PreRecordedFrame& kept : pre_record->Take()) {
                FrameRecord old_frame;
                old_frame.data = const_cast<uint8_t*>(kept.data.data());
                old_frame.size = static_cast<uint32_t>(kept.data.size());
                old_frame.type = kept.type;
                old_frame.time = kept.time;
                RecordFrameHeader old_header;
                old_header.time = kept.time;
                old_header.picture_format = kept.picture_format;
                old_header.frames_per_second = kept.frames_per_second;
                old_header.receive_unix_ms = kept.receive_unix_ms;
                WriteFrame(old_frame, old_header);
            }
            PadAudioToVideo();
        }
    }
    WriteFrame(frame, header);
}

void CSourceRecord::PadAudioToVideo() {
    if (!IsOpen() || frame_rate_ <= 0) return;
    const uint64_t video_samples = uint64_t{video_sample_count()} * kRecordSampleRate / frame_rate_;
    uint64_t missing_bytes = (video_samples - std::min<uint64_t>(video_samples, audio_sample_position())) *
                             (kRecordBitsPerSample / 8) * kRecordChannels;
    static constexpr uint8_t kSilence[4096] = {};
    while (missing_bytes > 0) {
        const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(missing_bytes, sizeof kSilence));
        if (!WriteAudio(kSilence, bytes)) {
            CloseRecording();
            return;
        }
        bytes_written_ += bytes;
        missing_bytes -= bytes;
    }
}

void CSourceRecord::WriteFrame(const FrameRecord& frame, const RecordFrameHeader& header) {
    if (!started_) {
        if (frame.type != IVOP) return;
        started_ = true;
    }
    if (!IsOpen() && !OpenRecording(header)) {
        CloseRecording();
        return;
    }
    if (!WriteVideo(frame.data, frame.size)) {
        CloseRecording();
        return;
    }
    WriteTimes(times_.Frame(header.receive_unix_ms != 0 ? header.receive_unix_ms : UnixNowMs()));
    last_time_ = frame.time;
    bytes_written_ += frame.size;
    const int32_t max_duration_s = control_.max_duration_s;
    if (max_duration_s != 0 && frame.time - first_time_ > static_cast<uint32_t>(max_duration_s)) {
        // This frame still belongs to the file; the next key frame opens the next one.
        CloseRecording();
    }
}

void CSourceRecord::RecordAudio(const void* pcm, uint32_t bytes) {
    std::lock_guard guard(static_cast<long_lock&>(*this));
    if (!started_ || !IsOpen()) return;
    if (WriteAudio(pcm, bytes)) {
        bytes_written_ += bytes;
    } else {
        CloseRecording();
    }
}

void CSourceRecord::StopRecording() {
    std::lock_guard guard(static_cast<long_lock&>(*this));
    CloseRecording();
    kept_name_.clear();
    pre_record_offered_ = false;
}

bool CSourceRecord::OpenRecording(const RecordFrameHeader& header) {
    const PictureSize size = RecordPictureSize(header.picture_format);
    const int32_t frame_rate =
        header.frames_per_second != 0 ? header.frames_per_second : kDefaultRecordFrameRate;
    const uint32_t time = header.time;
    const int32_t max_duration_s = control_.max_duration_s;

    // A recording that goes on after a failed write must not truncate a file it already made: with one
    // file for the whole recording the later files are named after their first frame, as split files
    // are, and a later file whose name is taken (several in one second) gets a number.
    file_name_ = RecordFileName(control_.path, kept_name_.empty() ? max_duration_s : 1, time);
    for (int n = 2; !kept_name_.empty() && n <= kMaximumNameNumber &&
                    access(FileSystemName(file_name_).c_str(), F_OK) == 0;
         ++n) {
        file_name_ = RecordBase(control_.path) + u"-" + LocalStamp(time) + u"-" +
                     Ascii16(std::to_string(n).c_str()) + u".avi";
    }
    first_time_ = last_time_ = time;
    frame_rate_ = frame_rate;
    MakeDirectoryPath(file_name_.c_str());  // a failure shows in Create
    if (!Create(FileSystemName(file_name_), size.width, size.height, frame_rate, kRecordSampleRate,
                kRecordBitsPerSample, kRecordChannels)) {
        return false;
    }
    has_open_file_.store(true, std::memory_order_release);
    OpenTimes();
    return true;
}

void CSourceRecord::OpenTimes() {
    times_ = {};
    const std::string path = FileSystemName(file_name_) + std::string(velq::times::kFileSuffix);
    times_fd_.Reset(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

void CSourceRecord::UniqueFd::Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
}

void CSourceRecord::WriteTimes(const std::string& lines) {
    // One write per frame's lines and no buffer of ours: what the kernel has survives a kill of the
    // process. A short or failed write gives up on the time file, never on the recording.
    if (times_fd_.get() < 0 || lines.empty()) return;
    ssize_t written;
    do {
        written = write(times_fd_.get(), lines.data(), lines.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(lines.size())) times_fd_.Reset();
}

void CSourceRecord::CloseRecording() {
    if (IsOpen()) {
        has_open_file_.store(false, std::memory_order_release);
        Close();
        WriteTimes(times_.Finish());
        times_fd_.Reset();
        if (bytes_written_ < kMinimumRecordingBytes) {
            unlink(FileSystemName(file_name_).c_str());
            unlink((FileSystemName(file_name_) + std::string(velq::times::kFileSuffix)).c_str());
        } else {
            kept_name_ = file_name_;
        }
    }
    bytes_written_ = 0;
    started_ = false;
    first_time_ = last_time_ = 0;
}

}  // namespace corvel

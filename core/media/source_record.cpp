// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/source_record.h"

#include <unistd.h>

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

void CSourceRecord::RecordVideoFrame(const FrameRecord& frame, const RecordFrameHeader& header) {
    std::lock_guard guard(static_cast<long_lock&>(*this));
    // The flag is looked at first: a frame that slipped in after a stop must neither keep a file open nor
    // leave `started` set for the next recording, whose first file has to begin with a key frame.
    if (control_.recording.load() == 0) {
        CloseRecording();
        return;
    }
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
    MakeDirectoryPath(file_name_.c_str());  // a failure shows in Create
    if (!Create(FileSystemName(file_name_), size.width, size.height, frame_rate, kRecordSampleRate,
                kRecordBitsPerSample, kRecordChannels)) {
        return false;
    }
    has_open_file_.store(true, std::memory_order_release);
    return true;
}

void CSourceRecord::CloseRecording() {
    if (IsOpen()) {
        has_open_file_.store(false, std::memory_order_release);
        Close();
        if (bytes_written_ < kMinimumRecordingBytes) {
            unlink(FileSystemName(file_name_).c_str());
        } else {
            kept_name_ = file_name_;
        }
    }
    bytes_written_ = 0;
    started_ = false;
    first_time_ = last_time_ = 0;
}

}  // namespace corvel

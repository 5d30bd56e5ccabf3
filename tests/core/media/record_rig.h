// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <ctime>
#include <string>
#include <vector>

#include "h264_stream.h"
#include "media/source_record.h"

namespace corvel::test {

// A recorder with the three channel fields it reads, fed the way the transfer threads feed it.
struct RecordRig {
    std::atomic<uint8_t> recording{0};
    char16_t path[260] = {};
    int32_t max_duration_s = 0;
    CSourceRecord recorder{{recording, path, max_duration_s}};

    // As the channel's start: path and duration first, then the flag.
    void Start(const std::string& file, int32_t duration_s) {
        size_t n = 0;
        for (; n < file.size() && n < 259; ++n) path[n] = static_cast<unsigned char>(file[n]);
        path[n] = 0;
        max_duration_s = duration_s;
        recording = 1;
    }
    void Stop() {
        recording = 0;
        recorder.StopRecording();
    }
    // As the video transfer: only while the flag is set, with a header of format code and frame rate.
    void Video(const EncodedFrame& frame, uint32_t time, uint8_t format = 2, uint8_t frames_per_second = 25) {
        if (recording.load() == 0) return;
        std::vector<uint8_t> bytes = frame.bytes;
        const RecordFrameHeader header{time, format, frames_per_second};
        FrameRecord record;
        record.data = bytes.data();
        record.size = static_cast<uint32_t>(bytes.size());
        record.type = frame.key ? IVOP : PVOP;
        record.aux = frames_per_second;
        record.time = time;
        recorder.RecordVideoFrame(record, header);
    }
    void Audio(const std::vector<uint8_t>& pcm) {
        recorder.RecordAudio(pcm.data(), static_cast<uint32_t>(pcm.size()));
    }
};

// The H.264 test pattern with a key frame every `gop` frames; a test failure when the source fails.
std::vector<EncodedFrame> TestStream(int width, int height, int frames, int gop);
// Frames [from, to) as the bytes a file's video samples must equal.
std::vector<std::vector<uint8_t>> Bytes(const std::vector<EncodedFrame>& frames, size_t from, size_t to);
// Total bytes of frames [from, to).
size_t VideoBytes(const std::vector<EncodedFrame>& frames, size_t from, size_t to);
// Every video sample of the AVI file at path (a test failure when it cannot be opened).
std::vector<std::vector<uint8_t>> VideoOf(const std::string& path);
bool Exists(const std::string& path);
// The regular files below dir but the recorder's time files, as paths relative to it, sorted. Every
// recording keeps its time file beside it: an AVI without one, or a time file without its AVI, is a test
// failure.
std::vector<std::string> FilesIn(const std::string& dir);

// "%Y-%m-%d-%H-%M-%S" of a time in local time.
inline std::string LocalStamp(uint32_t time) {
    const time_t seconds = time;
    struct tm local {};
    localtime_r(&seconds, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d-%H-%M-%S", &local);
    return text;
}

// Seconds since 1970 of a local date and time.
inline uint32_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return static_cast<uint32_t>(mktime(&local));
}

}  // namespace corvel::test

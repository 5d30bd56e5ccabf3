// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace corvel {

// What Open learns of a file: the first video and the first audio stream as their headers give them.
struct AviFileInfo {
    uint32_t streams = 0;
    bool has_video = false;
    bool has_audio = false;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t video_fourcc = 0;  // compression code of the video format
    uint32_t video_scale = 0;   // video samples per second = rate / scale
    uint32_t video_rate = 0;
    int32_t samples_per_second = 0;
    int32_t bits_per_sample = 0;
    int32_t channels = 0;
};

// One AVI file, written with a 'vids' stream of H.264 samples and an 'auds' stream of linear PCM, or read
// back sample by sample. Built on libavformat's AVI muxer and demuxer; files grow past 1 GiB as OpenDML
// (AVIX) files, which the demuxer reads whole.
//
// Crash safety: the muxer hands every sample to the kernel (a write, no sync) as soon as it is written, so
// a process killed while recording leaves a file whose every complete chunk is readable; only a chunk torn
// by the kill is lost. Such a file has no index and zero sizes in its headers; the demuxer then walks the
// 'movi' list (and any AVIX extension) chunk by chunk up to the end of the file.
//
// Not thread-safe: one thread at a time (the recorder serialises its callers with its lock). An object is
// either closed, open for writing (after Create) or open for reading (after Open).
class CAviFile {
  public:
    CAviFile();
    CAviFile(const CAviFile&) = delete;
    CAviFile& operator=(const CAviFile&) = delete;
    // Closes an open file (a written one gets its index and final headers).
    virtual ~CAviFile();

    // Creates (or truncates) the file at `path` (a file-system name, UTF-8) and writes the headers of a
    // video stream of width x height at frames_per_second and an audio stream of samples_per_second,
    // bits_per_sample (8 or 16) and channels (1 or 2). False when an argument is out of range or the file
    // cannot be created or written; a file created before the failure is removed again.
    virtual bool Create(const std::string& path, int32_t width, int32_t height, int32_t frames_per_second,
                        int32_t samples_per_second, int32_t bits_per_sample, int32_t channels);
    // Opens an existing AVI file for reading and fills info(). False when the file cannot be read as AVI
    // or holds neither a video nor an audio stream.
    virtual bool Open(const std::string& path);
    // Finishes a written file (index, sizes in the headers) or ends reading; resets both counters.
    virtual void Close();
    virtual bool IsOpen() const;
    // Appends one video sample, flagged as key frame, at the next sample index. The index advances even
    // when the write fails, so later samples keep their place in time.
    virtual bool WriteVideo(const void* data, uint32_t size);
    // Appends bytes / block-align samples of PCM (the rest of a partial sample is not written); the
    // position advances by that many samples, also when the write fails. Zero bytes write nothing and
    // succeed.
    virtual bool WriteAudio(const void* pcm, uint32_t bytes);
    // Reads the next video sample into buffer (room *size bytes); *size becomes its length. If it does not
    // fit, returns false with *size set to the length needed and the sample stays next. False with *size 0
    // at the end of the stream or without a video stream.
    virtual bool ReadVideo(void* buffer, uint32_t* size);
    // Reads up to *size / block-align samples at the audio position; *size becomes the bytes read. False
    // with *size 0 when nothing is left.
    virtual bool ReadAudio(void* buffer, uint32_t* size);

    const AviFileInfo& info() const { return info_; }
    uint32_t video_sample_count() const { return video_sample_count_; }
    uint32_t audio_sample_position() const { return audio_sample_position_; }

  private:
    struct Writer;
    struct Reader;

    std::unique_ptr<Writer> writer_;
    std::unique_ptr<Reader> reader_;
    AviFileInfo info_;
    uint32_t video_sample_count_ = 0;
    uint32_t audio_sample_position_ = 0;
};

}  // namespace corvel

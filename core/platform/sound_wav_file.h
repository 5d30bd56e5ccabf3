// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound_format.h"

namespace corvel {

// A RIFF/WAVE file of 16-bit PCM being written: the header is written at creation and its sizes are
// completed after every append, so a file cut short by a crash still reads back up to the last append.
// One thread at a time.
class WavFileWriter {
  public:
    // Null when the file cannot be created or the format is not 16-bit PCM.
    static std::unique_ptr<WavFileWriter> Create(const std::string& path, const SoundFormat& format);
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Appends whole blocks; false when the disk refuses (the file keeps what was written before). The data
    // chunk stops growing at 4 GiB − 1 KiB, where RIFF sizes end.
    bool Append(const uint8_t* bytes, size_t count);
    uint64_t data_bytes() const { return data_bytes_; }

  private:
    WavFileWriter(std::FILE* file, const SoundFormat& format) : file_(file), format_(format) {}
    bool WriteSizes();

    std::FILE* file_;
    SoundFormat format_;
    uint64_t data_bytes_ = 0;
};

// The samples of a 16-bit PCM WAV file, read whole. Files over 256 MiB of data, malformed chunks and other
// formats are refused with a reason.
struct WavFileData {
    SoundFormat format;
    std::vector<int16_t> samples;  // interleaved when stereo
};
bool ReadWavFile(const std::string& path, WavFileData* out, std::string* error);
// The same for a file's bytes in memory.
bool ParseWav(const uint8_t* bytes, size_t size, WavFileData* out, std::string* error);

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_wav_file.h"

#include <algorithm>
#include <cstring>

#include "base/le.h"

namespace corvel {

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxWriteBytes = 0xFFFFFFFFull - 1024;
constexpr uint64_t kMaxReadBytes = 256ull << 20;
constexpr size_t kMaxFileBytes = (256u << 20) + (1u << 20);

void StoreTag(uint8_t* at, const char* tag) {
    std::memcpy(at, tag, 4);
}

void FillHeader(uint8_t* header, const SoundFormat& format, uint32_t data_bytes) {
    StoreTag(header, "RIFF");
    StoreLE32(header + 4, 36 + data_bytes);
    StoreTag(header + 8, "WAVE");
    StoreTag(header + 12, "fmt ");
    StoreLE32(header + 16, 16);
    StoreLE16(header + 20, format.format_tag);
    StoreLE16(header + 22, format.channels);
    StoreLE32(header + 24, format.samples_per_second);
    StoreLE32(header + 28, format.bytes_per_second);
    StoreLE16(header + 32, format.block_align);
    StoreLE16(header + 34, format.bits_per_sample);
    StoreTag(header + 36, "data");
    StoreLE32(header + 40, data_bytes);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::unique_ptr<WavFileWriter> WavFileWriter::Create(const std::string& path, const SoundFormat& format) {
    if (!IsPcm16(format)) return nullptr;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return nullptr;
    std::unique_ptr<WavFileWriter> writer(new WavFileWriter(file, format));
    uint8_t header[kHeaderBytes];
    FillHeader(header, format, 0);
    if (std::fwrite(header, 1, sizeof(header), file) != sizeof(header) || std::fflush(file) != 0)
        return nullptr;
    return writer;
}

WavFileWriter::~WavFileWriter() {
    std::fclose(file_);
}

bool WavFileWriter::Append(const uint8_t* bytes, size_t count) {
    count -= count % format_.block_align;
    if (count == 0) return true;
    if (data_bytes_ + count > kMaxWriteBytes) return false;
    if (std::fseek(file_, static_cast<long>(kHeaderBytes + data_bytes_), SEEK_SET) != 0) return false;
    if (std::fwrite(bytes, 1, count, file_) != count) return false;
    data_bytes_ += count;
    return WriteSizes();
}

bool WavFileWriter::WriteSizes() {
    uint8_t header[kHeaderBytes];
    FillHeader(header, format_, static_cast<uint32_t>(data_bytes_));
    if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(header, 1, sizeof(header), file_) != sizeof(header)) return false;
    return std::fflush(file_) == 0;
}

bool ParseWav(const uint8_t* bytes, size_t size, WavFileData* out, std::string* error) {
    auto fail = [error](const char* why) {
        if (error != nullptr) *error = why;
        return false;
    };
    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        return fail("not a RIFF/WAVE file");
    }
    bool have_format = false;
    SoundFormat format;
    size_t at = 12;
    for (;;) {
        if (size - at < 8) return fail("no data chunk");
        const uint8_t* chunk = bytes + at;
        const uint32_t chunk_bytes = LoadLE32(chunk + 4);
        at += 8;
        const size_t available = size - at;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (chunk_bytes < 16 || available < 16) return fail("short format chunk");
            const uint8_t* fmt = bytes + at;
            format.format_tag = LoadLE16(fmt);
            format.channels = LoadLE16(fmt + 2);
            format.samples_per_second = LoadLE32(fmt + 4);
            format.bytes_per_second = LoadLE32(fmt + 8);
            format.block_align = LoadLE16(fmt + 12);
            format.bits_per_sample = LoadLE16(fmt + 14);
            if (!IsPcm16(format)) return fail("not 16-bit PCM with one or two channels");
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) return fail("data before the format chunk");
            if (chunk_bytes > kMaxReadBytes) return fail("more than 256 MiB of samples");
            // A file cut short keeps what it has, in whole blocks.
            size_t usable = std::min<size_t>(chunk_bytes, available);
            usable -= usable % format.block_align;
            out->format = format;
            out->samples.resize(usable / 2);
            for (size_t i = 0; i < out->samples.size(); ++i) {
                out->samples[i] = static_cast<int16_t>(LoadLE16(bytes + at + 2 * i));
            }
            return true;
        }
        const uint64_t skip = static_cast<uint64_t>(chunk_bytes) + (chunk_bytes & 1);
        if (skip > available) return fail("short file");
        at += static_cast<size_t>(skip);
    }
}

bool ReadWavFile(const std::string& path, WavFileData* out, std::string* error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (error != nullptr) *error = "cannot open the file";
        return false;
    }
    // Chunks before the samples are few and small in any real file; what lies past the limit is not read.
    std::vector<uint8_t> bytes;
    uint8_t piece[65536];
    size_t got;
    while (bytes.size() < kMaxFileBytes && (got = std::fread(piece, 1, sizeof(piece), file.get())) > 0) {
        bytes.insert(bytes.end(), piece, piece + got);
    }
    return ParseWav(bytes.data(), bytes.size(), out, error);
}

}  // namespace corvel

#include "platform/sound_wav_file.h"

#include <cstring>

#include "base/le.h"

namespace corvel {

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxWriteBytes = 0xFFFFFFFFull - 1024;
constexpr uint64_t kMaxReadBytes = 256ull << 20;

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

bool ReadWavFile(const std::string& path, WavFileData* out, std::string* error) {
    auto fail = [error](const char* why) {
        if (error != nullptr) *error = why;
        return false;
    };
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return fail("cannot open the file");
    uint8_t riff[12];
    if (std::fread(riff, 1, sizeof(riff), file.get()) != sizeof(riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return fail("not a RIFF/WAVE file");
    }
    bool have_format = false;
    SoundFormat format;
    for (;;) {
        uint8_t chunk[8];
        if (std::fread(chunk, 1, sizeof(chunk), file.get()) != sizeof(chunk)) return fail("no data chunk");
        const uint32_t bytes = LoadLE32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[16];
            if (bytes < sizeof(fmt) || std::fread(fmt, 1, sizeof(fmt), file.get()) != sizeof(fmt)) {
                return fail("short format chunk");
            }
            format.format_tag = LoadLE16(fmt);
            format.channels = LoadLE16(fmt + 2);
            format.samples_per_second = LoadLE32(fmt + 4);
            format.bytes_per_second = LoadLE32(fmt + 8);
            format.block_align = LoadLE16(fmt + 12);
            format.bits_per_sample = LoadLE16(fmt + 14);
            if (!IsPcm16(format)) return fail("not 16-bit PCM with one or two channels");
            have_format = true;
            const uint64_t rest = bytes - sizeof(fmt) + (bytes & 1);
            if (rest > 0 && std::fseek(file.get(), static_cast<long>(rest), SEEK_CUR) != 0)
                return fail("short file");
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) return fail("data before the format chunk");
            if (bytes > kMaxReadBytes) return fail("more than 256 MiB of samples");
            std::vector<uint8_t> raw(bytes);
            const size_t got = std::fread(raw.data(), 1, raw.size(), file.get());
            const size_t usable = got - got % format.block_align;  // a file cut short keeps what it has
            out->format = format;
            out->samples.resize(usable / 2);
            for (size_t i = 0; i < out->samples.size(); ++i) {
                out->samples[i] = static_cast<int16_t>(LoadLE16(raw.data() + 2 * i));
            }
            return true;
        } else {
            const uint64_t skip = static_cast<uint64_t>(bytes) + (bytes & 1);
            if (std::fseek(file.get(), static_cast<long>(skip), SEEK_CUR) != 0) return fail("short file");
        }
    }
}

}  // namespace corvel

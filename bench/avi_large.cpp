// Writes an AVI recording past the 1 GiB of its first RIFF, as a long recording at a high bit rate does,
// then reads it back and checks every sample: the OpenDML path of the writer and the reader. Prints the
// write and read rates and the file's RIFF structure. Usage: avi_large [folder] [MiB, default 1200] [keep]
// (keep leaves the file for other readers and prints its name).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "media/avi_file.h"

namespace {

constexpr uint32_t kFrameBytes = 200 * 1024;
constexpr uint32_t kAudioBytes = 640;

// Sample n is recognisable from its first 8 bytes and its length varies a little.
void FillSample(std::vector<uint8_t>& sample, uint32_t n) {
    sample.resize(kFrameBytes - (n % 97) * 16);
    for (size_t i = 0; i < sample.size(); i += 4096) sample[i] = static_cast<uint8_t>(n + i / 4096);
    for (int b = 0; b < 4; ++b) sample[b] = static_cast<uint8_t>(n >> (8 * b));
    sample[4] = 'V';
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const uint64_t target_bytes = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1200) << 20;
    const std::string path = folder + "/corvel-avi-large-" + std::to_string(getpid()) + ".avi";

    corvel::CAviFile writer;
    if (!writer.Create(path, 720, 576, 25, 8000, 16, 1)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> sample;
    const std::vector<uint8_t> pcm(kAudioBytes, 0x5A);
    uint64_t written = 0;
    uint32_t frames = 0;
    auto start = std::chrono::steady_clock::now();
    while (written < target_bytes) {
        FillSample(sample, frames);
        if (!writer.WriteVideo(sample.data(), static_cast<uint32_t>(sample.size())) ||
            !writer.WriteAudio(pcm.data(), kAudioBytes)) {
            std::fprintf(stderr, "write failed at frame %u\n", frames);
            unlink(path.c_str());
            return 1;
        }
        written += sample.size() + kAudioBytes;
        ++frames;
    }
    writer.Close();
    const double write_s = Seconds(start);
    struct stat info {};
    stat(path.c_str(), &info);

    // The RIFF chain: the first RIFF 'AVI ' and then 'AVIX' extensions, each with its own size.
    int riffs = 0;
    bool chain_ok = true;
    {
        std::ifstream in(path, std::ios::binary);
        uint64_t at = 0;
        uint8_t head[12];
        while (at + 12 <= static_cast<uint64_t>(info.st_size)) {
            in.seekg(static_cast<std::streamoff>(at));
            in.read(reinterpret_cast<char*>(head), 12);
            const std::string kind(reinterpret_cast<char*>(head + 8), 4);
            if (std::string(reinterpret_cast<char*>(head), 4) != "RIFF" ||
                kind != (riffs == 0 ? "AVI " : "AVIX")) {
                chain_ok = false;
                break;
            }
            ++riffs;
            at += 8 + Le32(head + 4);
        }
    }

    corvel::CAviFile reader;
    if (!reader.Open(path)) {
        std::fprintf(stderr, "cannot open the written file\n");
        unlink(path.c_str());
        return 1;
    }
    start = std::chrono::steady_clock::now();
    std::vector<uint8_t> buffer(kFrameBytes);
    std::vector<uint8_t> expected;
    uint32_t read_frames = 0;
    uint32_t wrong = 0;
    for (;;) {
        uint32_t size = kFrameBytes;
        if (!reader.ReadVideo(buffer.data(), &size)) break;
        FillSample(expected, read_frames);
        if (size != expected.size() ||
            std::vector<uint8_t>(buffer.begin(), buffer.begin() + size) != expected)
            ++wrong;
        ++read_frames;
    }
    const double read_s = Seconds(start);
    uint64_t audio_bytes = 0;
    for (;;) {
        uint32_t size = kFrameBytes;
        if (!reader.ReadAudio(buffer.data(), &size)) break;
        audio_bytes += size;
    }
    reader.Close();
    const bool keep = argc > 3 && std::string(argv[3]) == "keep";
    if (keep) {
        std::printf("kept %s\n", path.c_str());
    } else {
        unlink(path.c_str());
    }

    const double mib = static_cast<double>(info.st_size) / (1 << 20);
    std::printf("file %.0f MiB, %u video samples, %d RIFF chunks (%s)\n", mib, frames, riffs,
                chain_ok ? "AVI + AVIX chain intact" : "chain BROKEN");
    std::printf("write %.2f s = %.0f MiB/s (%.0f samples/s)\n", write_s, mib / write_s, frames / write_s);
    std::printf("read  %.2f s = %.0f MiB/s; %u samples back, %u differ; audio %llu of %llu bytes\n", read_s,
                mib / read_s, read_frames, wrong, static_cast<unsigned long long>(audio_bytes),
                static_cast<unsigned long long>(uint64_t{frames} * kAudioBytes));
    const bool ok = chain_ok && riffs >= 2 && read_frames == frames && wrong == 0 &&
                    audio_bytes == uint64_t{frames} * kAudioBytes;
    std::printf("%s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}

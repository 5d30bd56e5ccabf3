// SPDX-License-Identifier: GPL-3.0-or-later
// Writes AVI recordings past the 1 GiB of their first RIFF, as a long recording at a high bit rate does,
// and reads every sample back: once closed properly (the OpenDML chain of AVI and AVIX RIFFs with their
// indexes) and once from a writer killed with SIGKILL (no index, no final sizes). Prints the write and read
// rates. Usage: avi_large [folder] [MiB per file, default 1200].
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    sample.assign(kFrameBytes - (n % 97) * 16, 0);
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

// Writes samples until target_bytes; returns their count, 0 on failure. Without `close` the file is left
// as a killed writer leaves it, after one more sample once the flush interval has passed.
uint32_t Write(corvel::CAviFile& writer, const std::string& path, uint64_t target_bytes, bool close) {
    if (!writer.Create(path, 720, 576, 25, 8000, 16, 1)) return 0;
    std::vector<uint8_t> sample;
    const std::vector<uint8_t> pcm(kAudioBytes, 0x5A);
    uint64_t written = 0;
    uint32_t frames = 0;
    for (; written < target_bytes || !close; ++frames) {
        if (written >= target_bytes) close = true;  // one sample more, so that the file ends on a whole pair
        FillSample(sample, frames);
        if (!writer.WriteVideo(sample.data(), static_cast<uint32_t>(sample.size())) ||
            !writer.WriteAudio(pcm.data(), kAudioBytes)) {
            return 0;
        }
        written += sample.size() + kAudioBytes;
    }
    return frames;
}

// The RIFF chain: the first RIFF 'AVI ' and then 'AVIX' extensions. Returns the count, -1 when broken.
int RiffChain(const std::string& path, uint64_t file_bytes) {
    std::ifstream in(path, std::ios::binary);
    int riffs = 0;
    uint8_t head[12];
    for (uint64_t at = 0; at + 12 <= file_bytes; ++riffs) {
        in.seekg(static_cast<std::streamoff>(at));
        in.read(reinterpret_cast<char*>(head), 12);
        const std::string kind(reinterpret_cast<char*>(head + 8), 4);
        if (std::string(reinterpret_cast<char*>(head), 4) != "RIFF" ||
            kind != (riffs == 0 ? "AVI " : "AVIX")) {
            return -1;
        }
        at += 8 + Le32(head + 4);
    }
    return riffs;
}

// Reads every sample back; true when exactly `frames` came back unchanged with their audio (after a kill
// the audio written after the last flush, `audio_may_miss` bytes, may be missing).
bool ReadBack(const std::string& path, uint32_t frames, double mib, uint64_t audio_may_miss) {
    corvel::CAviFile reader;
    if (!reader.Open(path)) return false;
    const auto start = std::chrono::steady_clock::now();
    std::vector<uint8_t> buffer(kFrameBytes);
    std::vector<uint8_t> expected;
    uint32_t read_frames = 0;
    uint32_t wrong = 0;
    for (;;) {
        uint32_t size = kFrameBytes;
        if (!reader.ReadVideo(buffer.data(), &size)) break;
        FillSample(expected, read_frames);
        if (size != expected.size() || !std::equal(expected.begin(), expected.end(), buffer.begin())) ++wrong;
        ++read_frames;
    }
    const double read_s = Seconds(start);
    uint64_t audio_bytes = 0;
    for (uint32_t size = kFrameBytes; reader.ReadAudio(buffer.data(), &size); size = kFrameBytes)
        audio_bytes += size;
    std::printf("  read  %.2f s = %.0f MiB/s; %u of %u samples back, %u differ; audio %llu of %llu bytes\n",
                read_s, mib / read_s, read_frames, frames, wrong,
                static_cast<unsigned long long>(audio_bytes),
                static_cast<unsigned long long>(uint64_t{frames} * kAudioBytes));
    return read_frames == frames && wrong == 0 && audio_bytes <= uint64_t{frames} * kAudioBytes &&
           audio_bytes + audio_may_miss >= uint64_t{frames} * kAudioBytes;
}

double FileMiB(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return static_cast<double>(info.st_size) / (1 << 20);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const uint64_t target_bytes = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1200) << 20;
    const std::string base = folder + "/corvel-avi-large-" + std::to_string(getpid());
    bool ok = true;

    const std::string closed = base + "-closed.avi";
    {
        corvel::CAviFile writer;
        const auto start = std::chrono::steady_clock::now();
        const uint32_t frames = Write(writer, closed, target_bytes, true);
        writer.Close();
        const double write_s = Seconds(start);
        const double mib = FileMiB(closed);
        const int riffs = RiffChain(closed, static_cast<uint64_t>(mib * (1 << 20)));
        std::printf("closed file: %.0f MiB, %u video samples, %d RIFF chunks%s\n", mib, frames, riffs,
                    riffs >= 2 ? " (AVI + AVIX chain intact)" : " (chain BROKEN)");
        std::printf("  write %.2f s = %.0f MiB/s (%.0f samples/s)\n", write_s, mib / write_s,
                    frames / write_s);
        ok = frames > 0 && riffs >= 2 && ReadBack(closed, frames, mib, 0) && ok;
        unlink(closed.c_str());
    }

    const std::string killed = base + "-killed.avi";
    int report[2];
    if (pipe(report) != 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
        corvel::CAviFile writer;
        const uint32_t frames = Write(writer, killed, target_bytes, false);
        if (write(report[1], &frames, sizeof frames) != sizeof frames) _exit(1);
        raise(SIGKILL);
    }
    close(report[1]);
    uint32_t frames = 0;
    const bool reported = read(report[0], &frames, sizeof frames) == sizeof frames;
    waitpid(child, nullptr, 0);
    close(report[0]);
    const double mib = FileMiB(killed);
    std::printf("killed writer: %.0f MiB, %u video samples written before SIGKILL\n", mib, frames);
    ok = reported && frames > 0 && ReadBack(killed, frames, mib, 0) && ok;
    unlink(killed.c_str());

    // The cost of one write per sample at the sizes of a live stream: 4 KiB frames and 320-byte audio.
    {
        const std::string small = base + "-small.avi";
        corvel::CAviFile writer;
        if (!writer.Create(small, 352, 288, 25, 8000, 16, 1)) return 1;
        const std::vector<uint8_t> frame(4096, 0x33), pcm(320, 0x44);
        constexpr int kSamples = 50000;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSamples; ++i)
            ok = writer.WriteVideo(frame.data(), 4096) && writer.WriteAudio(pcm.data(), 320) && ok;
        const double write_s = Seconds(start);
        writer.Close();
        std::printf(
            "small samples: %d video + %d audio in %.2f s = %.1f us per video+audio pair (%.0f streams of 25 "
            "fps "
            "per core)\n",
            kSamples, kSamples, write_s, write_s * 1e6 / kSamples, kSamples / write_s / 25);
        unlink(small.c_str());
    }

    std::printf("%s\n", ok ? "OK" : "FAILED");
    return ok ? 0 : 1;
}

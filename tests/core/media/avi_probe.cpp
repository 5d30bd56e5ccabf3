// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi_probe.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

namespace corvel::test {

TempDir::TempDir() {
    char pattern[] = "/tmp/corvel-avi-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& file, uint64_t offset) {
    if (offset + 4 > file.size()) return 0;
    return file[offset] | file[offset + 1] << 8 | file[offset + 2] << 16 | uint32_t{file[offset + 3]} << 24;
}

uint16_t Le16(const std::vector<uint8_t>& file, uint64_t offset) {
    if (offset + 2 > file.size()) return 0;
    return static_cast<uint16_t>(file[offset] | file[offset + 1] << 8);
}

namespace {

void Walk(const std::vector<uint8_t>& file, uint64_t begin, uint64_t end, int depth,
          std::vector<RiffChunk>& out) {
    uint64_t at = begin;
    while (at + 8 <= end) {
        RiffChunk chunk;
        chunk.fourcc.assign(reinterpret_cast<const char*>(&file[at]), 4);
        chunk.size = Le32(file, at + 4);
        chunk.depth = depth;
        chunk.offset = at + 8;
        const bool list = chunk.fourcc == "RIFF" || chunk.fourcc == "LIST";
        const uint64_t data_end = at + 8 + chunk.size;
        if (list && at + 12 <= end) {
            chunk.list_type.assign(reinterpret_cast<const char*>(&file[at + 8]), 4);
            chunk.offset = at + 12;
        }
        out.push_back(chunk);
        if (data_end > end) {
            // An unfinished file: sizes still 0 or past the end. Descend into what is there.
            if (list && chunk.offset < end) Walk(file, chunk.offset, end, depth + 1, out);
            return;
        }
        if (list) Walk(file, chunk.offset, data_end, depth + 1, out);
        at = data_end + (chunk.size & 1);
    }
}

}  // namespace

std::vector<RiffChunk> WalkRiff(const std::vector<uint8_t>& file) {
    std::vector<RiffChunk> out;
    Walk(file, 0, file.size(), 0, out);
    return out;
}

nlohmann::json Probe(const std::string& path, bool packets) {
    std::string command = "ffprobe -v error -of json -count_packets -show_streams";
    if (packets) command += " -show_entries packet=stream_index,size,flags";
    command += " '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return nullptr;
    std::string text;
    char block[4096];
    size_t n = 0;
    while ((n = fread(block, 1, sizeof block, pipe)) > 0) text.append(block, n);
    if (pclose(pipe) != 0) return nullptr;
    return nlohmann::json::parse(text, nullptr, false);
}

std::vector<uint8_t> Pcm(size_t bytes, int seed) {
    std::vector<uint8_t> pcm(bytes);
    for (size_t i = 0; i < bytes; ++i) pcm[i] = static_cast<uint8_t>(i * 7 + seed * 13 + (i >> 8));
    return pcm;
}

std::vector<std::vector<uint8_t>> ReadAllVideo(CAviFile& avi) {
    std::vector<std::vector<uint8_t>> out;
    std::vector<uint8_t> buffer(512 * 1024);
    for (;;) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        if (!avi.ReadVideo(buffer.data(), &size)) break;
        out.emplace_back(buffer.begin(), buffer.begin() + size);
    }
    return out;
}

std::vector<uint8_t> ReadAllAudio(CAviFile& avi, uint32_t step) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(step);
    for (;;) {
        uint32_t size = step;
        if (!avi.ReadAudio(buffer.data(), &size)) break;
        EXPECT_LE(size, step);
        out.insert(out.end(), buffer.begin(), buffer.begin() + size);
    }
    return out;
}

}  // namespace corvel::test

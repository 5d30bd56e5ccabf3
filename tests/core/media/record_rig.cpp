// SPDX-License-Identifier: GPL-3.0-or-later
#include "record_rig.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "avi_probe.h"

namespace corvel::test {

std::vector<EncodedFrame> TestStream(int width, int height, int frames, int gop) {
    H264StreamOptions options;
    options.width = width;
    options.height = height;
    options.frames = frames;
    options.gop = gop;
    auto stream = EncodeTestPattern(options);
    if (stream.size() != static_cast<size_t>(frames))
        ADD_FAILURE() << "the H.264 source gave " << stream.size();
    return stream;
}

std::vector<std::vector<uint8_t>> Bytes(const std::vector<EncodedFrame>& frames, size_t from, size_t to) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = from; i < to; ++i) out.push_back(frames[i].bytes);
    return out;
}

size_t VideoBytes(const std::vector<EncodedFrame>& frames, size_t from, size_t to) {
    size_t total = 0;
    for (size_t i = from; i < to; ++i) total += frames[i].bytes.size();
    return total;
}

std::vector<std::vector<uint8_t>> VideoOf(const std::string& path) {
    CAviFile avi;
    EXPECT_TRUE(avi.Open(path)) << path;
    return ReadAllVideo(avi);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::vector<std::string> times;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = std::filesystem::relative(entry.path(), dir).string();
        (entry.path().extension() == ".times" ? times : names).push_back(name);
    }
    for (const std::string& name : names) {
        if (name.size() > 4 && name.substr(name.size() - 4) == ".avi" &&
            std::find(times.begin(), times.end(), name + ".times") == times.end()) {
            ADD_FAILURE() << name << " has no time file";
        }
    }
    for (const std::string& time_file : times) {
        if (std::find(names.begin(), names.end(), time_file.substr(0, time_file.size() - 6)) == names.end())
            ADD_FAILURE() << time_file << " has no recording";
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace corvel::test

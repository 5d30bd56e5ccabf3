// SPDX-License-Identifier: GPL-3.0-or-later
// The PCM bytes of a WAV file written by a sound backend, for comparing with what was played.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sound_wav_file.h"

namespace corvel::test {

// Adds a test failure and returns no bytes when the file cannot be read.
inline std::vector<uint8_t> WavBytes(const std::string& path) {
    WavFileData data;
    std::string error;
    EXPECT_TRUE(ReadWavFile(path, &data, &error)) << error;
    std::vector<uint8_t> bytes(data.samples.size() * 2);
    std::memcpy(bytes.data(), data.samples.data(), bytes.size());
    return bytes;
}

}  // namespace corvel::test

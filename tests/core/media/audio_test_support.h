// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound_wav_file.h"
#include "test_wait.h"
#include "wav_bytes.h"

namespace corvel::test {

inline std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("corvel_" + std::to_string(getpid()) + "_" + name))
        .string();
}

// Something like a voice: three partials under a slow swell, at `rate` samples per second.
inline std::vector<int16_t> VoiceLike(size_t count, double rate) {
    std::vector<int16_t> out(count);
    constexpr double kPi = 3.14159265358979323846;
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double swell = 0.55 + 0.45 * std::sin(2 * kPi * 1.7 * t);
        const double v = 5200 * std::sin(2 * kPi * 310 * t) + 3100 * std::sin(2 * kPi * 820 * t + 0.4) +
                         1500 * std::sin(2 * kPi * 1730 * t + 1.1);
        out[i] = static_cast<int16_t>(std::lround(swell * v));
    }
    return out;
}

}  // namespace corvel::test

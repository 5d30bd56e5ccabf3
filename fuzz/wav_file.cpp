// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone file reader on arbitrary bytes: every input ends in a parse or a reason, in bounded time
// and memory, and the samples it gives stay within what the input holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sound_wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvel::WavFileData wav;
    std::string error;
    if (corvel::ParseWav(data, size, &wav, &error)) {
        if (wav.samples.size() * 2 > size || !corvel::IsPcm16(wav.format)) std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}

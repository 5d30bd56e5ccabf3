// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace corvel {

// Format of a PCM stream, in the fields and units of a wave format record (extra size always 0).
struct SoundFormat {
    uint16_t format_tag = 1;  // 1: linear PCM
    uint16_t channels = 1;
    uint32_t samples_per_second = 8000;
    uint32_t bytes_per_second = 16000;
    uint16_t block_align = 2;
    uint16_t bits_per_sample = 16;
};

// What every player of this library plays: 8000 samples/s, 16-bit, mono.
inline constexpr SoundFormat kPlayFormat{1, 1, 8000, 16000, 2, 16};

// The only formats the backends take: 16-bit linear PCM, one or two channels, 1000 to 192000 samples/s,
// with consistent block align and byte rate. Anything else is refused as a device would refuse it.
inline bool IsPcm16(const SoundFormat& format) {
    return format.format_tag == 1 && format.bits_per_sample == 16 &&
           (format.channels == 1 || format.channels == 2) && format.block_align == format.channels * 2 &&
           format.samples_per_second >= 1000 && format.samples_per_second <= 192000 &&
           format.bytes_per_second == format.samples_per_second * format.block_align;
}

// Bytes of `format` in elapsed_us of device time, rounded down to whole blocks.
inline uint64_t BytesInTime(const SoundFormat& format, uint64_t elapsed_us) {
    const uint64_t blocks = elapsed_us * format.samples_per_second / 1000000u;
    return blocks * format.block_align;
}

}  // namespace corvel

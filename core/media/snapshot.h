// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/presenter.h"

namespace corvel {

// A channel's snapshot request: the client's thread stores the path and then raises `pending`; the video
// thread takes the request (clearing `pending`) and writes the file.
struct SnapshotRequest {
    char16_t path[260] = {};
    std::atomic<uint8_t> pending{0};

    // Client thread. Stores the path (at most 259 units) and raises the flag unless a request is pending, in
    // which case the first path is kept. Always returns true: the request is there either way.
    bool Request(const char16_t* new_path);
};

// The file written for a snapshot path and a picture time (seconds since 1970): a trailing ".bmp" (any case)
// is cut, any other extension kept, and "-%Y-%m-%d-%H-%M-%S.bmp" in local time appended. UTF-8.
std::string SnapshotFileName(const char16_t* path, uint32_t picture_time);

// Writes the picture of the back buffer (width × height, as `surface` holds it) as an uncompressed bottom-up
// BMP at `file_name`: a 14-byte file header, a 40-byte information header and width × height × bits / 8 pixel
// bytes. 32 bits: the BGRA pixels; 16 bits: RGB 5-5-5, the only 16-bit layout an uncompressed BMP has;
// 12 bits (a YV12 back buffer, which no bitmap can hold as it is): converted to a 32-bit bitmap. A depth
// that does not match the surface, a size larger than the surface or an unopenable file write nothing and
// return false.
// An existing file of the name is replaced.
bool WriteSnapshotFile(const std::string& file_name, const TextSurface& surface, int width, int height,
                       int bits_per_pixel);

}  // namespace corvel

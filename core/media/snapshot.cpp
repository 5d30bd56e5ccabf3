// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "base/le.h"
#include "base/text.h"

namespace corvel {

bool SnapshotRequest::Request(const char16_t* new_path) {
    if (pending.load(std::memory_order_acquire) != 0) return true;
    CopyClientPath(new_path, path);
    pending.store(1, std::memory_order_release);
    return true;
}

std::string SnapshotFileName(const char16_t* path, uint32_t picture_time) {
    const std::string name = WithoutExtension(Utf16ToUtf8(path), ".bmp");
    const time_t when = static_cast<time_t>(picture_time);
    tm local{};
    localtime_r(&when, &local);
    char stamp[64];
    strftime(stamp, sizeof stamp, "-%Y-%m-%d-%H-%M-%S.bmp", &local);
    return name + stamp;
}

namespace {

class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

bool WriteFully(int fd, const uint8_t* data, size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = write(fd, data, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

// A BMP file image for width × height at `bits`: the two headers filled, the pixel bytes zero.
std::vector<uint8_t> EmptyBitmap(int width, int height, int bits_per_pixel) {
    const size_t image_bytes = static_cast<size_t>(width) * height * bits_per_pixel / 8;
    std::vector<uint8_t> out(54 + image_bytes);
    uint8_t* header = out.data();
    header[0] = 'B';
    header[1] = 'M';
    StoreLE32(header + 2, static_cast<uint32_t>(image_bytes + 54));
    StoreLE32(header + 10, 54);
    StoreLE32(header + 14, 40);
    StoreLE32(header + 18, static_cast<uint32_t>(width));
    StoreLE32(header + 22, static_cast<uint32_t>(height));  // positive: bottom-up rows
    StoreLE16(header + 26, 1);
    StoreLE16(header + 28, static_cast<uint16_t>(bits_per_pixel));
    // Compression, image size, resolution and colour counts stay 0.
    return out;
}

bool WriteFile(const std::string& file_name, const std::vector<uint8_t>& bytes) {
    // Replaces an older file of the same name entirely, so no bytes of a larger one remain behind ours.
    FileHandle file(open(file_name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() < 0) return false;
    return WriteFully(file.get(), bytes.data(), bytes.size());
}

// A planar back buffer has no bitmap layout of its own: its picture is converted to 32-bit rows.
bool WritePlanarSnapshot(const std::string& file_name, const TextSurface& surface, int width, int height) {
    std::vector<uint8_t> out = EmptyBitmap(width, height, 32);
    const int row_bytes = width * 4;
    const Yv12Planes planes = Yv12Layout(surface.bits, surface.pitch, surface.height);
    SwsContext* converter = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGRA,
                                           SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (converter == nullptr) return false;
    const uint8_t* source[4] = {planes.y, planes.u, planes.v, nullptr};
    const int source_strides[4] = {planes.luma_pitch, planes.chroma_pitch, planes.chroma_pitch, 0};
    // Written from the last row upwards: the bitmap's rows run bottom-up.
    uint8_t* target[4] = {out.data() + 54 + static_cast<size_t>(row_bytes) * (height - 1), nullptr, nullptr,
                          nullptr};
    const int target_strides[4] = {-row_bytes, 0, 0, 0};
    sws_scale(converter, source, source_strides, 0, height, target, target_strides);
    sws_freeContext(converter);
    return WriteFile(file_name, out);
}

}  // namespace

bool WriteSnapshotFile(const std::string& file_name, const TextSurface& surface, int width, int height,
                       int bits_per_pixel) {
    if (width <= 0 || height <= 0 || width > surface.width || height > surface.height) return false;
    if (surface.format == VELQ_PIX_YV12) {
        if (bits_per_pixel != 12) return false;
        return WritePlanarSnapshot(file_name, surface, width, height);
    }
    if (bits_per_pixel != 32 && bits_per_pixel != 16) return false;
    const int source_bits = surface.format == VELQ_PIX_BGRA32 ? 32 : 16;
    if (source_bits != bits_per_pixel) return false;

    const size_t row_bytes = static_cast<size_t>(width) * bits_per_pixel / 8;
    std::vector<uint8_t> out = EmptyBitmap(width, height, bits_per_pixel);
    uint8_t* pixels = out.data() + 54;
    for (int row = 0; row < height; ++row) {
        const uint8_t* src = surface.bits + static_cast<ptrdiff_t>(height - 1 - row) * surface.pitch;
        uint8_t* dst = pixels + row_bytes * row;
        if (bits_per_pixel == 32) {
            std::memcpy(dst, src, row_bytes);
        } else {
            for (int x = 0; x < width; ++x) {
                const uint16_t p565 = static_cast<uint16_t>(src[2 * x] | (src[2 * x + 1] << 8));
                const uint16_t p555 = static_cast<uint16_t>(((p565 >> 1) & 0x7FE0) | (p565 & 0x1F));
                StoreLE16(dst + 2 * x, p555);
            }
        }
    }

    return WriteFile(file_name, out);
}

}  // namespace corvel

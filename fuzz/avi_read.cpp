// SPDX-License-Identifier: GPL-3.0-or-later
// Any file handed to CAviFile::Open: opening and reading every sample must end, stay within bounded memory
// and never touch memory it does not own.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/avi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("avi", 0);
    if (fd < 0) return 0;
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    corvel::CAviFile avi;
    if (avi.Open(path)) {
        std::vector<uint8_t> buffer(64 * 1024);
        for (int n = 0; n < 100000; ++n) {
            uint32_t length = static_cast<uint32_t>(buffer.size());
            if (!avi.ReadVideo(buffer.data(), &length)) {
                // Too small is answered with the size needed: one retry with that room, bounded by the input.
                if (length <= buffer.size() || length > size + 64) break;
                buffer.resize(length);
            }
        }
        for (int n = 0; n < 100000; ++n) {
            uint32_t length = 4096;
            if (!avi.ReadAudio(buffer.data(), &length)) break;
        }
    }
    close(fd);
    return 0;
}

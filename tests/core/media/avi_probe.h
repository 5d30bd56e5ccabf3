// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "media/avi_file.h"

namespace corvel::test {

// A scratch folder under /tmp, removed with everything in it at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// One chunk of a RIFF file: its code, the list type for RIFF and LIST chunks, and where its data lies.
struct RiffChunk {
    std::string fourcc;
    std::string list_type;
    uint64_t offset = 0;  // of the data, after the 8-byte chunk header (and the list type)
    uint32_t size = 0;    // as the header gives it
    int depth = 0;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Walks the chunk tree of a RIFF file in file order, descending into RIFF and LIST chunks; stops at the
// end of the data or at a chunk that runs past it.
std::vector<RiffChunk> WalkRiff(const std::vector<uint8_t>& file);
uint32_t Le32(const std::vector<uint8_t>& file, uint64_t offset);
uint16_t Le16(const std::vector<uint8_t>& file, uint64_t offset);

// Runs ffprobe on the file and returns its JSON answer (streams; with count, packet counts by reading;
// with packets, every packet's stream index and size). Null when ffprobe fails.
nlohmann::json Probe(const std::string& path, bool packets = false);

// 16-bit PCM that differs from chunk to chunk (by seed), so a lost, doubled or reordered chunk shows.
std::vector<uint8_t> Pcm(size_t bytes, int seed);
// Every remaining video sample of an open file, in order.
std::vector<std::vector<uint8_t>> ReadAllVideo(CAviFile& avi);
// The remaining audio bytes, read `step` bytes per call.
std::vector<uint8_t> ReadAllAudio(CAviFile& avi, uint32_t step);

}  // namespace corvel::test

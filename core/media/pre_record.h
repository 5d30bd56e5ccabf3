// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "media/frame_buffer.h"

namespace corvel {

// Longest pre-record time a device may ask for.
constexpr int32_t kMaxPreRecordSeconds = 60;
// Memory a channel's pre-record buffer may hold, frame bytes and bookkeeping together: this much per second
// asked for. 10 s of CIF H.264 (100 to 800 kbit/s, 125 to 1000 KiB) stay well below the 4000 KiB that
// 10 s allow; a stream that would exceed the bound loses its oldest key-frame groups.
constexpr std::size_t kPreRecordBytesPerSecond = 400 * 1024;

// What a pre-recorded frame keeps of its arrival, so a recording that begins with it is made as if it had
// run then.
struct PreRecordedFrame {
    std::vector<uint8_t> data;
    uint32_t type = 0;           // IVOP or PVOP
    uint32_t time = 0;           // sender's capture time, seconds since 1970
    uint8_t picture_format = 0;  // from the transfer header
    uint8_t frames_per_second = 0;
    int64_t receive_unix_ms = 0;  // wall clock at arrival
};

// A channel's last seconds of encoded video, from a key frame on, for a recording that starts later.
// Holds the frames that arrived within `seconds` of the newest one, beginning with the oldest key frame in
// that window; at most seconds * kPreRecordBytesPerSecond bytes (each frame counted with its bookkeeping),
// dropping whole key-frame groups from the front beyond that. Audio is not kept.
//
// Threads: owned and used by the channel's video transfer thread only (it feeds it and, through the
// recorder, drains it), so it takes no lock. Not thread-safe.
class PreRecordBuffer {
  public:
    // Sets the time kept (0..kMaxPreRecordSeconds; 0 frees everything). A shorter time trims at once.
    void SetSeconds(int32_t seconds);
    int32_t seconds() const { return seconds_; }
    // Keeps a copy of a video frame received at `receive_unix_ms`. Frames before the first key frame and a
    // frame larger than the whole bound are not kept (the latter empties the buffer: what follows it would
    // not decode without it).
    void Push(const FrameRecord& frame, uint8_t picture_format, uint8_t frames_per_second,
              int64_t receive_unix_ms);
    // Empties the buffer and hands its frames, oldest first (a key frame first), to the caller.
    std::deque<PreRecordedFrame> Take();
    void Clear();

    bool empty() const { return frames_.empty(); }
    std::size_t frame_count() const { return frames_.size(); }
    // Bytes counted against the bound.
    std::size_t bytes() const { return bytes_; }
    std::size_t bound_bytes() const { return static_cast<std::size_t>(seconds_) * kPreRecordBytesPerSecond; }

  private:
    static std::size_t Cost(const PreRecordedFrame& frame) { return frame.data.size() + sizeof(frame); }
    // Drops the oldest frame and everything after it up to the next key frame.
    void DropOldestGroup();
    void Trim(int64_t newest_unix_ms);

    int32_t seconds_ = 0;
    std::size_t bytes_ = 0;
    std::deque<PreRecordedFrame> frames_;
};

}  // namespace corvel

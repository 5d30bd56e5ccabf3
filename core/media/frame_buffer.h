// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>

#include "base/locks.h"

namespace corvel {

// Frame types carried in FrameRecord::type. 0 means "no frame".
constexpr uint32_t IVOP = 17;  // video key frame, decodable alone
constexpr uint32_t PVOP = 18;  // video predicted frame, needs the frames since the last key frame
// G.726 at 16, 24, 32 and 40 kbit/s: type = kFrameG726 + rate index (0..3).
constexpr uint32_t kFrameG726 = 0x20;
constexpr uint32_t kFrameG726Last = 0x23;
constexpr uint32_t kFramePcm = 0x40;   // 16-bit linear PCM, 8000 samples/s, mono
constexpr uint32_t kFrameUlaw = 0x41;  // G.711 mu-law
constexpr uint32_t kFrameAlaw = 0x42;  // G.711 A-law

// Sizes the channel gives Init for its three buffers.
constexpr int32_t kVideoBufferCapacity = 1048576;
constexpr uint32_t kVideoLargestFrame = 262144;
constexpr int32_t kAudioBufferCapacity = 65536;  // audio and talk
constexpr uint32_t kAudioLargestFrame = 16384;   // audio and talk
constexpr int32_t kAudioMaximumFrameCount = 8;   // audio and talk, set when their stream starts
constexpr int32_t kUnlimitedFrameCount = 2147483647;

// Descriptor of one frame inside a buffer's region; also the producer's write cursor, where `data` is the
// position of the next frame and the other fields describe the frame being assembled there.
struct FrameRecord {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t type = 0;
    uint32_t aux = 0;  // video: announced frame rate (0 = not given); audio/talk: the producer's bookkeeping
    uint32_t sequence = 0;
    uint32_t time = 0;  // capture time, seconds since 1970
};

// A ring of variable-sized frames in one contiguous mmap'ed region, between exactly one producer and one
// consumer, without copies: the producer writes a frame's bytes at its cursor and then Pushes the
// descriptor; the consumer Pops a descriptor and reads the bytes in place. The front descriptor always
// stands for the frame the consumer holds (taken by its last Pop), whose bytes are never overwritten until
// its next Pop. At the write position there are always at least `largest frame` free bytes before the
// region end and before the held frame, so the producer may write any admissible frame before it knows
// whether the frame will be kept.
//
// CBuffer itself is not locked: its operations are the unsynchronised core that CVBuffer2 and CABuffer2
// run under their lock. Frame bytes are written and read outside any lock.
class CBuffer {
  public:
    CBuffer() = default;
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;
    // Frees the region. No producer or consumer may still use the buffer.
    virtual ~CBuffer();

    // Prepares the buffer before its producer starts: allocates the region (a larger existing one is kept
    // with its capacity, a smaller one replaced), stores mode and largest frame, drops every descriptor.
    // False when the allocation fails, or when capacity < 3 * largestFrame or largestFrame is 0: below
    // that the reserve after a held frame cannot always be found.
    virtual bool Init(int32_t capacity, uint32_t largestFrame, uint32_t mode);
    // Marks the stream stopped (mode 0); the region stays for the next Init.
    virtual void Stop();
    // Producer, once per (re)connection: discards the frames waiting behind the held one and gives the
    // producer its write position in `out` (all other fields 0). `out` may be null.
    virtual void GetWritePos(FrameRecord* out);
    // Drops every descriptor, the held one included.
    virtual void Clear();
    // Producer: appends the frame written at rec->data (rec->size bytes) and advances rec->data to the next
    // write position. A refused frame leaves rec->data where it was, so the next frame overwrites it.
    // rec->size is 0 afterwards. Returns whether the frame was stored. Frames of 0 bytes, larger than the
    // largest frame or outside the region are refused.
    virtual bool Push(FrameRecord* rec);
    // Consumer: releases the held frame and copies the next waiting one into `out`, which becomes the held
    // frame. False (and `out` untouched) when none waits.
    virtual bool Pop(FrameRecord* out);

    // Statistics, any thread, without the lock; values are only for display.
    int32_t FrameCount() const { return frame_count_.load(std::memory_order_relaxed); }
    int32_t Used() const { return used_.load(std::memory_order_relaxed); }
    uint32_t Mode() const { return mode_.load(std::memory_order_relaxed); }
    int32_t Capacity() const { return capacity_; }
    uint32_t LargestFrame() const { return largest_frame_; }
    const uint8_t* Region() const { return region_; }

    // Largest number of descriptors, the held one included, that CABuffer2 accepts. Set by the channel
    // before the producer starts.
    int32_t maximum_frame_count = kUnlimitedFrameCount;

  protected:
    int32_t DescriptorCount() const { return static_cast<int32_t>(list_.size()); }
    const FrameRecord* Front() const { return list_.empty() ? nullptr : &list_.front(); }

  private:
    void Append(const FrameRecord& rec);
    void SetUsed(int64_t bytes) { used_.store(static_cast<int32_t>(bytes), std::memory_order_relaxed); }
    void PublishCount() { frame_count_.store(DescriptorCount(), std::memory_order_relaxed); }

    std::atomic<uint32_t> mode_{0};  // 0 stopped, 2 running
    uint8_t* region_ = nullptr;
    int32_t capacity_ = 0;
    std::atomic<int32_t> used_{0};  // bytes of the frames waiting behind the held one
    uint32_t largest_frame_ = 0;
    std::deque<FrameRecord> list_;  // front: the held frame (or its placeholder); then the waiting frames
    std::atomic<int32_t> frame_count_{0};
};

// Video buffer: admits predicted frames only while the group of pictures since the last stored key frame
// is intact. Every operation runs under the buffer's lock.
class CVBuffer2 : public CBuffer, public light_lock {
  public:
    bool Init(int32_t capacity, uint32_t largestFrame, uint32_t mode) override;
    // Also sets gopState to 0 (a negative value stays), so the stream resumes at the next key frame.
    void GetWritePos(FrameRecord* out) override;
    // Also sets gopState to 0 (a negative value stays).
    void Clear() override;
    // By rec->type: IVOP stored whenever there is room (gopState must not be negative); PVOP only while
    // gopState > 0; type 0 ignored; any other type stored like by the base. A refused IVOP or PVOP sets
    // gopState to 0, so predicted frames are dropped until the next key frame is stored. rec->type and
    // rec->size are 0 afterwards.
    bool Push(FrameRecord* rec) override;
    bool Pop(FrameRecord* out) override;

    // Key frames accepted since the last reset, kept at least 1 once one was accepted; 0: predicted frames
    // are refused until the next key frame; -1 (construction): nothing is stored until the video source
    // start sets it to 0, before the producer starts. Written under the lock otherwise.
    std::atomic<int32_t> gopState{-1};
};

// Audio and talk buffer: at most maximum_frame_count descriptors + 1 in the list, i.e. with the count of 8
// at most 8 frames wait behind the held one; later frames are refused, older ones never evicted.
// Every operation runs under the buffer's lock.
class CABuffer2 : public CBuffer, public light_lock {
  public:
    bool Init(int32_t capacity, uint32_t largestFrame, uint32_t mode) override;
    void GetWritePos(FrameRecord* out) override;
    void Clear() override;
    bool Push(FrameRecord* rec) override;
    bool Pop(FrameRecord* out) override;
};

}  // namespace corvel

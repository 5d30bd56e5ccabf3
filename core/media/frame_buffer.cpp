// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/frame_buffer.h"

#include <sys/mman.h>

#include <mutex>

namespace corvel {

namespace {

uint8_t* MapRegion(int32_t bytes) {
    void* p =
        mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
}

void UnmapRegion(uint8_t* region, int32_t bytes) {
    if (region != nullptr) munmap(region, static_cast<size_t>(bytes));
}

// A gopState reset keeps the "not started" value -1.
void ResetGop(std::atomic<int32_t>& gop) {
    if (gop.load(std::memory_order_relaxed) > 0) gop.store(0, std::memory_order_relaxed);
}

}  // namespace

CBuffer::~CBuffer() {
    mode_.store(0);
    UnmapRegion(region_, capacity_);
}

bool CBuffer::Init(int32_t capacity, uint32_t largestFrame, uint32_t mode) {
    if (capacity <= 0 || largestFrame == 0 || static_cast<int64_t>(largestFrame) * 3 > capacity) return false;
    if (region_ == nullptr || capacity_ < capacity) {
        UnmapRegion(region_, capacity_);
        region_ = MapRegion(capacity);
        capacity_ = region_ != nullptr ? capacity : 0;
        if (region_ == nullptr) return false;
    }
    mode_.store(mode, std::memory_order_relaxed);
    largest_frame_ = largestFrame;
    SetUsed(0);
    list_.clear();
    PublishCount();
    return true;
}

void CBuffer::Stop() {
    mode_.store(0, std::memory_order_relaxed);
}

void CBuffer::GetWritePos(FrameRecord* out) {
    uint8_t* position = region_;
    if (!list_.empty()) {
        const FrameRecord& held = list_.front();
        // The waiting frames are given up; the count then covers nothing behind the held frame.
        list_.resize(1);
        position = held.data + held.size;
        if (position + largest_frame_ > region_ + capacity_) position = region_;
    }
    SetUsed(0);
    PublishCount();
    if (out != nullptr) *out = FrameRecord{position, 0, 0, 0, 0, 0};
}

void CBuffer::Clear() {
    list_.clear();
    SetUsed(0);
    PublishCount();
}

void CBuffer::Append(const FrameRecord& rec) {
    list_.push_back(rec);
    PublishCount();
}

bool CBuffer::Push(FrameRecord* rec) {
    uint8_t* const end = region_ + capacity_;
    const uint32_t reserve = largest_frame_;
    const uint32_t size = rec->size;
    rec->size = 0;
    // Beyond what the ring admits: the frame cannot be kept without breaking the reserve.
    if (size == 0 || size > reserve || rec->data < region_ || rec->data + size > end) return false;

    FrameRecord frame = *rec;
    frame.size = size;
    uint8_t* next = rec->data + size;
    if (list_.empty()) {
        // The first descriptor is a placeholder for the held frame; the consumer's first Pop drops it.
        Append(frame);
        Append(frame);
        SetUsed(size);
        rec->data = next + reserve > end ? region_ : next;
        return true;
    }
    const uint8_t* held = list_.front().data;
    if (rec->data < held) {
        // Wrapped: the write position must keep the reserve before the held frame.
        if (next + reserve > held) return false;
    } else if (next + reserve > end) {
        // The frame stays where it was written; the next one starts at the region start, if the reserve
        // fits there before the held frame.
        if (region_ + reserve > held) return false;
        next = region_;
    }
    Append(frame);
    rec->data = next;
    SetUsed(static_cast<int64_t>(Used()) + size);
    return true;
}

bool CBuffer::Pop(FrameRecord* out) {
    if (!list_.empty()) list_.pop_front();
    if (list_.empty()) {
        SetUsed(0);
        PublishCount();
        return false;
    }
    *out = list_.front();
    SetUsed(static_cast<int64_t>(Used()) - out->size);
    PublishCount();
    return true;
}

bool CVBuffer2::Init(int32_t capacity, uint32_t largestFrame, uint32_t mode) {
    std::lock_guard guard(*this);
    return CBuffer::Init(capacity, largestFrame, mode);
}

void CVBuffer2::GetWritePos(FrameRecord* out) {
    std::lock_guard guard(*this);
    CBuffer::GetWritePos(out);
    ResetGop(gopState);
}

void CVBuffer2::Clear() {
    std::lock_guard guard(*this);
    CBuffer::Clear();
    ResetGop(gopState);
}

bool CVBuffer2::Push(FrameRecord* rec) {
    std::lock_guard guard(*this);
    const int32_t gop = gopState.load(std::memory_order_relaxed);
    const bool below_maximum = DescriptorCount() < maximum_frame_count;
    bool stored = false;
    switch (rec->type) {
        case IVOP:
            if (gop >= 0) {
                stored = below_maximum && CBuffer::Push(rec);
                if (stored) {
                    gopState.store(gop + 1, std::memory_order_relaxed);
                } else if (gop > 0) {
                    gopState.store(0, std::memory_order_relaxed);
                }
            }
            break;
        case PVOP:
            stored = gop > 0 && below_maximum && CBuffer::Push(rec);
            if (!stored) ResetGop(gopState);
            break;
        case 0:
            break;
        default:
            stored = CBuffer::Push(rec);
            break;
    }
    rec->type = 0;
    rec->size = 0;
    return stored;
}

bool CVBuffer2::Pop(FrameRecord* out) {
    std::lock_guard guard(*this);
    if (!CBuffer::Pop(out)) return false;
    const int32_t gop = gopState.load(std::memory_order_relaxed);
    if (out->type == IVOP && gop > 1) gopState.store(gop - 1, std::memory_order_relaxed);
    return true;
}

bool CABuffer2::Init(int32_t capacity, uint32_t largestFrame, uint32_t mode) {
    std::lock_guard guard(*this);
    return CBuffer::Init(capacity, largestFrame, mode);
}

void CABuffer2::GetWritePos(FrameRecord* out) {
    std::lock_guard guard(*this);
    CBuffer::GetWritePos(out);
}

void CABuffer2::Clear() {
    std::lock_guard guard(*this);
    CBuffer::Clear();
}

bool CABuffer2::Push(FrameRecord* rec) {
    std::lock_guard guard(*this);
    if (DescriptorCount() > maximum_frame_count) {
        rec->size = 0;
        return false;
    }
    return CBuffer::Push(rec);
}

bool CABuffer2::Pop(FrameRecord* out) {
    std::lock_guard guard(*this);
    return CBuffer::Pop(out);
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/pre_record.h"

#include <algorithm>
#include <utility>

namespace corvel {

void PreRecordBuffer::SetSeconds(int32_t seconds) {
    seconds = std::clamp(seconds, 0, kMaxPreRecordSeconds);
    if (seconds == seconds_) return;
    seconds_ = seconds;
    if (seconds_ == 0) {
        Clear();
        frames_.shrink_to_fit();
    } else if (!frames_.empty()) {
        Trim(frames_.back().receive_unix_ms);
    }
}

void PreRecordBuffer::Push(const FrameRecord& frame, uint8_t picture_format, uint8_t frames_per_second,
                           int64_t receive_unix_ms) {
    if (seconds_ == 0 || frame.data == nullptr || frame.size == 0) return;
    if (frames_.empty() && frame.type != IVOP) return;
    PreRecordedFrame kept;
    kept.data.assign(frame.data, frame.data + frame.size);
    kept.type = frame.type;
    kept.time = frame.time;
    kept.picture_format = picture_format;
    kept.frames_per_second = frames_per_second;
    kept.receive_unix_ms = receive_unix_ms;
    if (Cost(kept) > bound_bytes()) {
        Clear();
        return;
    }
    bytes_ += Cost(kept);
    frames_.push_back(std::move(kept));
    Trim(receive_unix_ms);
}

std::deque<PreRecordedFrame> PreRecordBuffer::Take() {
    std::deque<PreRecordedFrame> taken;
    taken.swap(frames_);
    bytes_ = 0;
    return taken;
}

void PreRecordBuffer::Clear() {
    frames_.clear();
    bytes_ = 0;
}

void PreRecordBuffer::DropOldestGroup() {
    do {
        bytes_ -= Cost(frames_.front());
        frames_.pop_front();
    } while (!frames_.empty() && frames_.front().type != IVOP);
}

void PreRecordBuffer::Trim(int64_t newest_unix_ms) {
    const int64_t oldest_kept_ms = newest_unix_ms - int64_t{seconds_} * 1000;
    while (!frames_.empty() && (bytes_ > bound_bytes() || frames_.front().receive_unix_ms < oldest_kept_ms)) {
        DropOldestGroup();
    }
}

}  // namespace corvel

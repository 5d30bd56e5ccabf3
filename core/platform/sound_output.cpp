// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sound_backend_name.h"
#include "platform/sound_output_backends.h"

namespace corvel {

namespace {
constexpr size_t kMaxNotificationPositions = 64;

// The backends a name may choose: "NAME" alone, or "NAME:ARGUMENT" for one that takes an argument.
struct OutputBackend {
    std::string_view name;
    bool takes_argument;
    std::unique_ptr<SoundOutputDevice> (*open)(const std::string& argument);
};
constexpr OutputBackend kOutputBackends[] = {
    {"null", false, [](const std::string&) { return OpenNullSoundOutput({}); }},
    {"portaudio", false, [](const std::string&) { return OpenPortAudioOutput(); }},
    {"wav", true, [](const std::string& path) { return OpenWavSoundOutput(path, {}); }},
};
}  // namespace

SoundOutputBuffer::SoundOutputBuffer(const SoundFormat& format, uint32_t bytes, uint32_t write_lead_bytes)
    : format_(format),
      size_(bytes),
      write_lead_bytes_(std::min(write_lead_bytes, bytes)),
      client_memory_(bytes, 0),
      device_memory_(bytes, 0) {}

SoundResult SoundOutputBuffer::Lock(uint32_t offset, uint32_t bytes, SoundLockedRange* out) {
    if (out == nullptr || offset >= size_ || bytes > size_) return SoundResult::kFailed;
    {
        std::lock_guard lock(mutex_);
        if (lost_) return SoundResult::kBufferLost;
        if (answer_ == Answer::kNotified) answer_ = Answer::kLockedAfter;
    }
    const uint32_t first = std::min(bytes, size_ - offset);
    out->first = client_memory_.data() + offset;
    out->first_bytes = first;
    out->second = bytes > first ? client_memory_.data() : nullptr;
    out->second_bytes = bytes - first;
    return SoundResult::kOk;
}

SoundResult SoundOutputBuffer::Unlock(const SoundLockedRange& range) {
    uint8_t* const base = client_memory_.data();
    auto inside = [&](const uint8_t* piece, uint32_t bytes) {
        return bytes == 0 ||
               (piece >= base && bytes <= size_ && piece - base <= static_cast<ptrdiff_t>(size_ - bytes));
    };
    if (!inside(range.first, range.first_bytes) || !inside(range.second, range.second_bytes)) {
        return SoundResult::kFailed;
    }
    std::lock_guard lock(mutex_);
    if (lost_) return SoundResult::kBufferLost;
    if (range.first_bytes > 0) {
        const size_t at = static_cast<size_t>(range.first - base);
        std::memcpy(device_memory_.data() + at, range.first, range.first_bytes);
    }
    if (range.second_bytes > 0) {
        const size_t at = static_cast<size_t>(range.second - base);
        std::memcpy(device_memory_.data() + at, range.second, range.second_bytes);
    }
    if (answer_ == Answer::kLockedAfter) {
        answer_ = Answer::kAnswered;
        answered_cv_.notify_all();
    }
    return SoundResult::kOk;
}

SoundResult SoundOutputBuffer::Restore() {
    {
        std::lock_guard lock(mutex_);
        if (!lost_) return SoundResult::kOk;
    }
    if (!Reacquire()) return SoundResult::kBufferLost;
    std::lock_guard lock(mutex_);
    lost_ = false;
    return SoundResult::kOk;
}

bool SoundOutputBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    std::lock_guard lock(mutex_);
    if (lost_) return false;
    if (play != nullptr) *play = play_cursor_;
    if (write != nullptr) *write = (play_cursor_ + write_lead_bytes_) % size_;
    return true;
}

bool SoundOutputBuffer::SetCurrentPosition(uint32_t play) {
    if (play >= size_) return false;
    std::lock_guard lock(mutex_);
    if (lost_) return false;
    play_cursor_ = play - play % format_.block_align;
    return true;
}

bool SoundOutputBuffer::Play(bool looping) {
    std::lock_guard lock(mutex_);
    if (lost_) return false;
    playing_ = true;
    looping_ = looping;
    return true;
}

void SoundOutputBuffer::StopPlaying() {
    std::lock_guard lock(mutex_);
    playing_ = false;
}

bool SoundOutputBuffer::IsPlaying() {
    std::lock_guard lock(mutex_);
    return playing_ && !lost_;
}

bool SoundOutputBuffer::SetNotificationPositions(std::span<const uint32_t> positions, Event* event) {
    if (positions.size() > kMaxNotificationPositions || (event == nullptr && !positions.empty()))
        return false;
    for (uint32_t position : positions) {
        if (position >= size_) return false;
    }
    std::lock_guard lock(mutex_);
    positions_.assign(positions.begin(), positions.end());
    event_ = event;
    return true;
}

uint32_t SoundOutputBuffer::Render(uint8_t* out, uint32_t bytes) {
    std::lock_guard lock(mutex_);
    uint32_t played = 0;
    while (played < bytes && playing_ && !lost_) {
        const uint32_t piece = std::min(bytes - played, size_ - play_cursor_);
        std::memcpy(out + played, device_memory_.data() + play_cursor_, piece);
        const uint32_t from = play_cursor_;
        const uint32_t to = from + piece;
        bool passed = false;
        for (uint32_t position : positions_) passed = passed || (position >= from && position < to);
        if (passed && event_ != nullptr) {
            event_->Set();
            answer_ = Answer::kNotified;
        }
        played += piece;
        play_cursor_ = to == size_ ? 0 : to;
        if (to == size_ && !looping_) playing_ = false;
    }
    std::memset(out + played, 0, bytes - played);
    return played;
}

void SoundOutputBuffer::MarkLost() {
    std::lock_guard lock(mutex_);
    lost_ = true;
}

bool SoundOutputBuffer::WaitUnlockAfterNotification(uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    return answered_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [this] { return answer_ == Answer::kAnswered; });
}

SoundOutputChoice::SoundOutputChoice(std::string_view name) : name_(name.empty() ? "auto" : name) {}

SoundOutputChoice SoundOutputChoice::FromEnvironment() {
    const char* name = std::getenv("CORVEL_SOUND_OUT");
    return SoundOutputChoice(name != nullptr ? name : "");
}

void SoundOutputChoice::TellOnce(const char* text) {
    if (!told_.exchange(true)) std::fprintf(stderr, "corvel: %s\n", text);
}

std::unique_ptr<SoundOutputDevice> SoundOutputChoice::Open() {
    for (const OutputBackend& backend : kOutputBackends) {
        if (const std::optional<std::string> argument =
                BackendArgument(name_, backend.name, backend.takes_argument))
            return backend.open(*argument);
    }
    if (name_ == "auto") {
        // Probing a machine without sound costs time and floods standard error with the sound system's
        // own complaints, so a failed probe is not repeated for this session.
        if (!real_device_missing_.load()) {
            if (auto device = OpenPortAudioOutput()) return device;
            real_device_missing_ = true;
        }
        TellOnce("no sound output device opened; sound is played to the null device");
        return OpenNullSoundOutput({});
    }
    TellOnce(("unknown sound output backend \"" + name_ + "\" in CORVEL_SOUND_OUT; no sound output").c_str());
    return nullptr;
}

}  // namespace corvel

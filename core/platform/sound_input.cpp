// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_input.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sound_backend_name.h"
#include "platform/sound_input_backends.h"

namespace corvel {

namespace {

// The backends a name may choose: "NAME" alone, or "NAME:ARGUMENT" for one that takes an argument.
// `error` says why the argument (a file) could not be used.
struct InputBackend {
    std::string_view name;
    bool takes_argument;
    std::unique_ptr<SoundInput> (*open)(const std::string& argument, const SoundFormat& format,
                                        Event* done_event, std::string* error);
};
constexpr InputBackend kInputBackends[] = {
    {"null", false,
     [](const std::string&, const SoundFormat& format, Event* done_event, std::string*) {
         return OpenNullSoundInput(format, done_event, {});
     }},
    {"portaudio", false,
     [](const std::string&, const SoundFormat& format, Event* done_event, std::string*) {
         return OpenPortAudioInput(format, done_event);
     }},
    {"wav", true,
     [](const std::string& path, const SoundFormat& format, Event* done_event, std::string* error) {
         return OpenWavSoundInput(path, format, done_event, {}, error);
     }},
};

}  // namespace

SoundInput::SoundInput(const SoundFormat& format, Event* done_event)
    : format_(format), done_event_(done_event) {}

SoundInput::~SoundInput() = default;

bool SoundInput::PrepareHeader(SoundInputHeader* header) {
    if (header == nullptr || header->data == nullptr || header->buffer_bytes == 0) return false;
    std::lock_guard lock(mutex_);
    const uint32_t flags = header->flags.load(std::memory_order_relaxed);
    if ((flags & SoundInputHeader::kInQueue) != 0) return false;
    header->flags.store(flags | SoundInputHeader::kPrepared, std::memory_order_release);
    return true;
}

bool SoundInput::UnprepareHeader(SoundInputHeader* header) {
    if (header == nullptr) return false;
    std::lock_guard lock(mutex_);
    const uint32_t flags = header->flags.load(std::memory_order_relaxed);
    if ((flags & SoundInputHeader::kInQueue) != 0) return false;
    header->flags.store(flags & ~SoundInputHeader::kPrepared, std::memory_order_release);
    return true;
}

bool SoundInput::AddBuffer(SoundInputHeader* header) {
    if (header == nullptr) return false;
    std::lock_guard lock(mutex_);
    const uint32_t flags = header->flags.load(std::memory_order_relaxed);
    if (closed_ || (flags & SoundInputHeader::kPrepared) == 0 || (flags & SoundInputHeader::kInQueue) != 0) {
        return false;
    }
    if ((flags & SoundInputHeader::kDone) != 0 && completed_not_requeued_ > 0) {
        --completed_not_requeued_;
        requeued_cv_.notify_all();
    }
    header->bytes_recorded.store(0, std::memory_order_relaxed);
    header->flags.store((flags & ~SoundInputHeader::kDone) | SoundInputHeader::kInQueue,
                        std::memory_order_release);
    queue_.push_back(header);
    return true;
}

bool SoundInput::Start() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        if (recording_) return true;
    }
    if (!OnStart()) return false;
    std::lock_guard lock(mutex_);
    recording_ = true;
    return true;
}

void SoundInput::Stop() {
    bool was_recording;
    {
        std::lock_guard lock(mutex_);
        was_recording = recording_;
        recording_ = false;
        if (!queue_.empty() && front_filled_ > 0) CompleteFront();
    }
    if (was_recording) OnStop();
}

void SoundInput::Reset() {
    bool was_recording;
    {
        std::lock_guard lock(mutex_);
        was_recording = recording_;
        recording_ = false;
        while (!queue_.empty()) CompleteFront();
        completed_not_requeued_ = 0;  // a reset hands the buffers back for good, not for the next round
        requeued_cv_.notify_all();
    }
    if (was_recording) OnStop();
}

bool SoundInput::Close() {
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) return false;
        if (closed_) return true;
        closed_ = true;
    }
    Stop();
    return true;
}

void SoundInput::Deliver(const uint8_t* bytes, size_t count) {
    std::lock_guard lock(mutex_);
    while (recording_ && count > 0 && !queue_.empty()) {
        SoundInputHeader* front = queue_.front();
        const size_t piece = std::min<size_t>(count, front->buffer_bytes - front_filled_);
        std::memcpy(front->data + front_filled_, bytes, piece);
        front_filled_ += static_cast<uint32_t>(piece);
        bytes += piece;
        count -= piece;
        if (front_filled_ == front->buffer_bytes) CompleteFront();
    }
}

bool SoundInput::IsRecording() {
    std::lock_guard lock(mutex_);
    return recording_;
}

bool SoundInput::IsLost() {
    std::lock_guard lock(mutex_);
    return lost_;
}

void SoundInput::MarkLost() {
    {
        std::lock_guard lock(mutex_);
        lost_ = true;
        recording_ = false;
    }
    if (done_event_ != nullptr) done_event_->Set();
}

void SoundInput::CompleteFront() {
    SoundInputHeader* front = queue_.front();
    queue_.pop_front();
    front->bytes_recorded.store(front_filled_, std::memory_order_relaxed);
    const uint32_t flags = front->flags.load(std::memory_order_relaxed);
    front->flags.store((flags & ~SoundInputHeader::kInQueue) | SoundInputHeader::kDone,
                       std::memory_order_release);
    front_filled_ = 0;
    ++completed_not_requeued_;
    if (done_event_ != nullptr) done_event_->Set();
}

bool SoundInput::WaitCompletedRequeued(uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    return requeued_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [this] { return completed_not_requeued_ == 0; });
}

SoundInputChoice::SoundInputChoice(std::string_view name) : name_(name.empty() ? "auto" : name) {}

SoundInputChoice SoundInputChoice::FromEnvironment() {
    const char* name = std::getenv("CORVEL_SOUND_IN");
    return SoundInputChoice(name != nullptr ? name : "");
}

void SoundInputChoice::TellOnce(const std::string& text) {
    if (!told_.exchange(true)) std::fprintf(stderr, "corvel: %s\n", text.c_str());
}

std::unique_ptr<SoundInput> SoundInputChoice::Open(const SoundFormat& format, Event* done_event) {
    for (const InputBackend& backend : kInputBackends) {
        const std::optional<std::string> argument =
            BackendArgument(name_, backend.name, backend.takes_argument);
        if (!argument) continue;
        std::string error;
        auto input = backend.open(*argument, format, done_event, &error);
        if (!input && backend.takes_argument)
            TellOnce("the microphone file " + *argument + " cannot be used: " + error);
        return input;
    }
    if (name_ == "auto") {
        // Probing a machine without sound costs time and floods standard error with the sound system's
        // own complaints, so a failed probe is not repeated for this session.
        if (!real_device_missing_.load()) {
            if (auto input = OpenPortAudioInput(format, done_event)) return input;
            real_device_missing_ = true;
        }
        TellOnce("no microphone opened; capturing silence from the null device");
        return OpenNullSoundInput(format, done_event, {});
    }
    TellOnce("unknown sound input backend \"" + name_ + "\" in CORVEL_SOUND_IN; nothing is captured");
    return nullptr;
}

}  // namespace corvel

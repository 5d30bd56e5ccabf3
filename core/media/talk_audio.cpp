// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/talk_audio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace corvel {

namespace {
// How often a microphone that went away is looked for again: a server coming back is heard within about a
// second, one that stays away costs one failed open per interval.
constexpr uint32_t kReopenIntervalMs = 1000;
}  // namespace

CMyTalkAudio::~CMyTalkAudio() {
    Stop(kStopTimeoutMs);
    WaitForExit();
}

bool CMyTalkAudio::Start() {
    if (HasThread()) return false;
    if (!OpenCapture()) {
        CloseCapture();
        return false;
    }
    if (!CMyThread::Start()) {
        CloseCapture();
        return false;
    }
    return true;
}

void CMyTalkAudio::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    capture_event_.Set();
    CMyThread::Stop(timeout_ms);
    // The thread only ever waits for the capture event, which is set: it leaves at once, and the device
    // must not be closed under it.
    WaitForExit();
    CloseCapture();
}

bool CMyTalkAudio::OpenCapture() {
    capture_event_.Reset();
    if (opener_ == nullptr) return false;
    wave_in_ = opener_->Open(kTalkCaptureFormat, &capture_event_);
    if (!wave_in_) return false;
    for (uint32_t i = 0; i < kTalkCaptureBuffers; ++i) {
        SoundInputHeader& header = headers_[i];
        header.Clear();
        header.data = reinterpret_cast<uint8_t*>(buffers_[i].data());
        header.buffer_bytes = kTalkCaptureBytes;
        if (!wave_in_->PrepareHeader(&header) || !wave_in_->AddBuffer(&header)) return false;
    }
    return true;
}

void CMyTalkAudio::CloseCapture() {
    if (!wave_in_) return;
    wave_in_->Reset();
    wave_in_->Stop();
    wave_in_->Close();
    wave_in_.reset();
}

bool CMyTalkAudio::ReopenCapture() {
    CloseCapture();
    if (OpenCapture() && wave_in_->Start()) return true;
    CloseCapture();
    return false;
}

int CMyTalkAudio::Run() {
    codec_.Reset(kTalkRateIndex);
    wave_in_->Start();
    uint32_t i = 0;
    bool reopening = false;
    while (running()) {
        if (!wave_in_ || wave_in_->IsLost()) {
            // The talk goes on without sound meanwhile; the vehicle hears the microphone again once a
            // device opens. Said once per loss, and once when it is back.
            if (!reopening) {
                reopening = true;
                std::fprintf(stderr, "corvel: the microphone went away; opening it again every %u ms\n",
                             kReopenIntervalMs);
            }
            if (!ReopenCapture()) {
                SleepWhileRunning(kReopenIntervalMs);
                continue;
            }
            reopening = false;
            std::fprintf(stderr, "corvel: the microphone is back\n");
            i = 0;
            continue;
        }
        SoundInputHeader& header = headers_[i];
        // The event only says that some buffer is done; wait until this one is, so the blocks stay in order.
        while (!header.done() && running() && !wave_in_->IsLost()) capture_event_.Wait();
        if (!running()) break;
        if (wave_in_->IsLost()) continue;
        wave_in_->UnprepareHeader(&header);
        bool anyone_listens;
        {
            std::lock_guard lock(registration_lock_);
            anyone_listens = !registrations_.empty();
        }
        // A short block (the device was stopped or reset under it) is not a whole frame: drop it.
        if (header.bytes_recorded.load(std::memory_order_relaxed) == kTalkCaptureBytes && anyone_listens) {
            const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
            uint8_t* encoded = reinterpret_cast<uint8_t*>(buffers_[i].data());
            EncodeG726(buffers_[i].data(), encoded, &codec_);
            Distribute(encoded, now);
        }
        wave_in_->PrepareHeader(&header);
        wave_in_->AddBuffer(&header);
        i = (i + 1) % kTalkCaptureBuffers;
    }
    return 0;
}

void CMyTalkAudio::Distribute(const uint8_t* encoded, uint32_t time) {
    std::lock_guard lock(registration_lock_);
    for (Registration& registration : registrations_) {
        uint8_t* frame = registration.cursor.data;
        // The gaps belong to the talk transfer; they start out zero rather than holding old bytes.
        std::memset(frame, 0, kTalkFirstHalfAt);
        std::memcpy(frame + kTalkFirstHalfAt, encoded, kTalkHalfBytes);
        std::memset(frame + kTalkFirstHalfAt + kTalkHalfBytes, 0,
                    kTalkSecondHalfAt - kTalkFirstHalfAt - kTalkHalfBytes);
        std::memcpy(frame + kTalkSecondHalfAt, encoded + kTalkHalfBytes, kTalkHalfBytes);
        std::memset(frame + kTalkSecondHalfAt + kTalkHalfBytes, 0,
                    kTalkFrameBytes - kTalkSecondHalfAt - kTalkHalfBytes);
        registration.cursor.size = kTalkFrameBytes;
        registration.cursor.type = kFrameG726 + kTalkRateIndex;
        registration.cursor.time = time;
        // A full talk buffer refuses the frame; the cursor stays, and the other channels still get it.
        registration.buffer->Push(&registration.cursor);
    }
}

bool CMyTalkAudio::RegisterTalkBuffer(CABuffer2* talk_buffer) {
    if (talk_buffer == nullptr) return false;
    FrameRecord cursor;
    talk_buffer->GetWritePos(&cursor);
    // A buffer without its region (not initialised) has nowhere to take frames.
    if (cursor.data == nullptr) return false;
    bool was_empty;
    {
        std::lock_guard lock(registration_lock_);
        was_empty = registrations_.empty();
        registrations_.push_back({cursor, talk_buffer});
    }
    if (was_empty && !Start()) {
        if (UnregisterTalkBuffer(talk_buffer).now_empty) Stop(kStopTimeoutMs);
        return false;
    }
    return true;
}

CMyTalkAudio::Unregistered CMyTalkAudio::UnregisterTalkBuffer(CABuffer2* talk_buffer) {
    std::lock_guard lock(registration_lock_);
    auto found = std::find_if(registrations_.begin(), registrations_.end(),
                              [talk_buffer](const Registration& r) { return r.buffer == talk_buffer; });
    const bool removed = found != registrations_.end();
    if (removed) registrations_.erase(found);
    return {removed, registrations_.empty()};
}

size_t CMyTalkAudio::RegistrationCount() {
    std::lock_guard lock(registration_lock_);
    return registrations_.size();
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_ctx.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace corvel {

namespace {

constexpr uint32_t kRetryMs = 10;
constexpr uint32_t kNotificationWaitMs = 1000;
// How long a play buffer may stay lost before the frames arriving meanwhile are dropped unheard.
constexpr uint32_t kDrainWhileLostAfterMs = 500;
// Drift between picture and sound that is corrected, in whole seconds, and the correction per second of
// drift on every decoding step.
constexpr int64_t kSyncMinSeconds = 2;
constexpr int64_t kSyncMaxSeconds = 5;
constexpr int32_t kSyncMsPerSecond = 5;

void SleepRetry() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
}

}  // namespace

CAudioCtx::~CAudioCtx() {
    Stop(kStopTimeoutMs);
    WaitForExit();
}

void CAudioCtx::Attach(CABuffer2* audio_buffer, AudioVideoLink* video, SoundOutputOpener* opener) {
    audio_buffer_ = audio_buffer;
    video_ = video;
    opener_ = opener;
}

bool CAudioCtx::Start() {
    if (audio_buffer_ == nullptr || HasThread()) return false;
    notification_.Reset();
    if (CreateOutput() && !play_buffer_) CreatePlayBuffer(&notification_);
    return CMyThread::Start();
}

void CAudioCtx::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    notification_.Set();  // cut the thread's wait for the next block short
    CMyThread::Stop(timeout_ms);
    // Run never blocks for more than one notification wait, so this returns soon even after a time-out,
    // and the device is never released under a running thread.
    WaitForExit();
    play_buffer_.reset();
    sound_.reset();
}

bool CAudioCtx::CreateOutput() {
    if (sound_) return true;
    if (opener_ == nullptr) return false;
    std::unique_ptr<SoundOutputDevice> device = opener_->Open();
    if (!device || !device->SetFormat(kPlayFormat)) return false;
    sound_ = std::move(device);
    return true;
}

bool CAudioCtx::CreatePlayBuffer(Event* event) {
    if (!sound_) return false;
    std::unique_ptr<SoundOutputBuffer> buffer = sound_->CreateBuffer(kPlayFormat, kPlayBufferBytes);
    if (!buffer) return false;
    uint32_t positions[kPlayBlocks];
    for (uint32_t k = 0; k < kPlayBlocks; ++k) positions[k] = kPlayBlockBytes / 2 + kPlayBlockBytes * k;
    if (!buffer->SetNotificationPositions(positions, event)) return false;
    play_buffer_ = std::move(buffer);
    return true;
}

int CAudioCtx::Run() {
    codec_.Reset(kTalkRateIndex);
    frame_ = {};
    frame_at_ = nullptr;
    frame_left_ = 0;
    fill_byte_ = 0;
    uint32_t write_offset = 0;
    bool playing = false;
    std::optional<std::chrono::steady_clock::time_point> lost_since;
    while (running()) {
        if (!play_buffer_) {
            // No device: keep the audio buffer draining so that its producer never backs up.
            FrameRecord dropped;
            audio_buffer_->Pop(&dropped);
            SleepRetry();
            continue;
        }
        SoundLockedRange block;
        SoundResult result = play_buffer_->Lock(write_offset, kPlayBlockBytes, &block);
        if (result == SoundResult::kBufferLost) {
            play_buffer_->Restore();
            result = play_buffer_->Lock(write_offset, kPlayBlockBytes, &block);
        }
        if (result != SoundResult::kOk) {
            // A device that stays lost (a sound server that is gone) must not back the transfer up, nor
            // leave seconds of stale sound queued for when it returns; a short loss keeps every frame.
            const auto now = std::chrono::steady_clock::now();
            if (result != SoundResult::kBufferLost) {
                lost_since.reset();
            } else if (!lost_since) {
                lost_since = now;
            } else if (now - *lost_since >= std::chrono::milliseconds(kDrainWhileLostAfterMs)) {
                FrameRecord dropped;
                audio_buffer_->Pop(&dropped);
            }
            SleepRetry();
            continue;
        }
        lost_since.reset();
        if (block.second_bytes != 0 || block.first_bytes < kPlayBlockBytes) {
            play_buffer_->Unlock(block);
            SleepRetry();
            continue;
        }
        FillBlock(block.first);
        fill_byte_ = block.first[kPlayBlockBytes - 1];
        play_buffer_->Unlock(block);

        // A block that both cursors have already passed means the device got ahead of us: skip one
        // block more so that the writing catches up.
        uint32_t next = write_offset + kPlayBlockBytes;
        uint32_t play = 0;
        uint32_t write = 0;
        if (play_buffer_->GetCurrentPosition(&play, &write)) {
            const uint32_t at =
                write_offset <= kPlayBlockBytes ? write_offset + kPlayBufferBytes : write_offset;
            if (at < play && at < write) next += kPlayBlockBytes;
        }
        write_offset = next % kPlayBufferBytes;

        if (!playing) {
            play_buffer_->SetCurrentPosition(0);
            playing =
                play_buffer_->Play(true);  // on failure the next block is written at once and Play retried
        } else {
            notification_.Wait(kNotificationWaitMs);
        }
    }
    return 0;
}

void CAudioCtx::FillBlock(uint8_t* block) {
    uint8_t* out = block;
    int32_t room = kPlayBlockBytes;
    while (room > 1) {
        if (frame_left_ <= 0) {
            codec_.bits_left = 0;
            if (audio_buffer_->Pop(&frame_)) {
                frame_at_ = frame_.data;
                frame_left_ = static_cast<int32_t>(frame_.size);
            } else {
                frame_.type = 0;
                frame_at_ = nullptr;
                frame_left_ = 0;
            }
        }
        if (frame_.type != 0) SynchroniseVideo(frame_.time);
        int32_t produced = room;
        const int32_t consumed =
            DecodeAudio(frame_.type, frame_left_, &codec_, out, &produced, frame_at_, fill_byte_);
        if (consumed == 0 && produced == 0) {
            frame_left_ = 0;  // nothing more to get out of this frame; take the next one
            continue;
        }
        frame_at_ += consumed;
        frame_left_ -= consumed;
        out += produced;
        room -= produced;
    }
}

void CAudioCtx::SynchroniseVideo(uint32_t frame_time) {
    if (video_ == nullptr) return;
    const int64_t d = static_cast<int32_t>(video_->VideoPictureTime() - frame_time);
    const int64_t magnitude = std::llabs(d);
    if (magnitude >= kSyncMinSeconds && magnitude <= kSyncMaxSeconds) {
        video_->AdjustVideoDue(static_cast<int32_t>(d) * kSyncMsPerSecond);
    }
}

}  // namespace corvel

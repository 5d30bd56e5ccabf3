// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_ctx.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/tick.h"

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
// Dropped frames are said at most this often, however often sound piles up.
constexpr uint32_t kSayDroppedEveryMs = 60000;

uint32_t FrameMs(uint32_t type, int64_t bytes) {
    return static_cast<uint32_t>(AudioFrameSamples(type, bytes) * 1000 / kPlayFormat.samples_per_second);
}

// Bytes from the play cursor forward to `offset` around the loop.
uint32_t BytesAhead(uint32_t play, uint32_t offset) {
    return (offset + kPlayBufferBytes - play) % kPlayBufferBytes;
}

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
    backlog_.Restart();
    uint32_t write_offset = 0;
    bool playing = false;
    // A block whose Unlock met a lost device still holds its sound in the locked memory: it is handed over
    // again at the same place once the device is back, rather than its frames being lost.
    bool unlock_again = false;
    // A device that stays lost (a sound server that is gone) must not back the transfer up, nor leave
    // seconds of stale sound queued for when it returns; a short loss keeps every frame.
    bool lost = false;
    std::chrono::steady_clock::time_point lost_since{};
    auto still_lost = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (!lost) {
            lost = true;
            lost_since = now;
        } else if (now - lost_since >= std::chrono::milliseconds(kDrainWhileLostAfterMs)) {
            FrameRecord dropped;
            audio_buffer_->Pop(&dropped);
        }
        SleepRetry();
    };
    while (running()) {
        if (!play_buffer_) {
            // No device: keep the audio buffer draining so that its producer never backs up.
            FrameRecord dropped;
            audio_buffer_->Pop(&dropped);
            SleepRetry();
            continue;
        }
        if (playing && !unlock_again) {
            uint32_t play = 0;
            uint32_t write = 0;
            if (!play_buffer_->GetCurrentPosition(&play, &write)) {
                if (play_buffer_->Restore() != SoundResult::kOk) still_lost();
                continue;
            }
            const uint32_t ahead = BytesAhead(play, write_offset);
            if (ahead < BytesAhead(play, write) || ahead > kPlayBufferBytes / 2) {
                // The device passed the block due next (the thread was late, or the device took a burst):
                // a block written there would be heard a whole loop late, so the writing starts again
                // right after the device's write cursor.
                write_offset = (write + kPlayBlockBytes - 1) / kPlayBlockBytes * kPlayBlockBytes;
                write_offset %= kPlayBufferBytes;
            } else if (ahead >= kPlayLeadBytes) {
                notification_.Wait(kNotificationWaitMs);
                continue;
            }
        }
        SoundLockedRange block;
        SoundResult result = play_buffer_->Lock(write_offset, kPlayBlockBytes, &block);
        if (result == SoundResult::kBufferLost) {
            play_buffer_->Restore();
            result = play_buffer_->Lock(write_offset, kPlayBlockBytes, &block);
        }
        if (result != SoundResult::kOk) {
            if (result == SoundResult::kBufferLost) {
                still_lost();
            } else {
                lost = false;
                SleepRetry();
            }
            continue;
        }
        lost = false;
        if (block.second_bytes != 0 || block.first_bytes < kPlayBlockBytes) {
            play_buffer_->Unlock(block);
            SleepRetry();
            continue;
        }
        if (!unlock_again) {
            FillBlock(block.first);
            fill_byte_ = block.first[kPlayBlockBytes - 1];
        }
        unlock_again = play_buffer_->Unlock(block) == SoundResult::kBufferLost;
        if (unlock_again) continue;
        write_offset = (write_offset + kPlayBlockBytes) % kPlayBufferBytes;

        // The device starts once the lead is written; on failure the next block is written and Play
        // retried.
        if (!playing && write_offset >= kPlayLeadBytes) {
            play_buffer_->SetCurrentPosition(0);
            playing = play_buffer_->Play(true);
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
            TakeFrame();
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

void CAudioCtx::TakeFrame() {
    bool taken = audio_buffer_->Pop(&frame_);
    // What waits behind the frame is measured in its type: a stream keeps one codec.
    while (taken &&
           backlog_.Drop(FrameMs(frame_.type, frame_.size), FrameMs(frame_.type, audio_buffer_->Used()))) {
        taken = audio_buffer_->Pop(&frame_);
    }
    if (backlog_.dropped_frames() != said_dropped_) SayDroppedBehind();
    if (taken) {
        frame_at_ = frame_.data;
        frame_left_ = static_cast<int32_t>(frame_.size);
    } else {
        frame_.type = 0;
        frame_at_ = nullptr;
        frame_left_ = 0;
    }
}

void CAudioCtx::SayDroppedBehind() {
    frames_dropped_behind_.store(backlog_.dropped_frames(), std::memory_order_relaxed);
    const uint32_t now = TickCount32();
    if (said_dropped_ != 0 && TickDiff(now, said_at_tick_) < static_cast<int32_t>(kSayDroppedEveryMs)) return;
    std::fprintf(stderr,
                 "corvel: sound stood waiting to be played; frames dropped to keep up with the live stream: "
                 "%llu so far (%llu ms)\n",
                 static_cast<unsigned long long>(backlog_.dropped_frames()),
                 static_cast<unsigned long long>(backlog_.dropped_ms()));
    said_dropped_ = backlog_.dropped_frames();
    said_at_tick_ = now;
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

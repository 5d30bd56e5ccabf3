// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/channel.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <thread>
#include <vector>

#include "base/text.h"
#include "session/device.h"
#include "session/session.h"

void AppChannel::Bind(AppSession* owner, AppDevice* owner_device, int32_t number, VelqWindow* target) {
    session = owner;
    device = owner_device;
    channel_number = number;
    window = target;
    total_rate = frame_rate = video_rate = audio_rate = talk_rate = 0;
    audio_byte_mark = owner_device->audio_byte_total.load();
    video_width = 0;
    video_height = 0;
    frames_shown = 0;
    video_transfer.Bind(owner, owner_device, this);
    audio_transfer.Bind(owner, owner_device, this);
    talk_transfer.Bind(owner, owner_device, this);
    video_transfer.TakeByteCount();
    talk_transfer.TakeByteCount();
    recording = 0;
    snapshot.pending = 0;
    std::lock_guard guard(owner_device->channels_lock);
    owner_device->channels.push_back(this);
}

void AppChannel::StopAll() {
    VideoStop();
    AudioStop();
    TalkStop();
    RecordStop();
    video.ReleaseWindow();
}

bool AppChannel::VSourceStart() {
    if (IsVSourceRunning()) return true;
    if (!video_buffer.Init(corvel::kVideoBufferCapacity, corvel::kVideoLargestFrame, 2)) return false;
    video_buffer.gopState = 0;
    return video_transfer.Start();
}

void AppChannel::VSourceStop() {
    video_buffer.Stop();
    video_transfer.Stop(corvel::kStopTimeoutMs);
}

bool AppChannel::VideoPlay() {
    VSourceStart();
    if (!IsVSourceRunning()) return false;
    return StartVideoDecoder();
}

bool AppChannel::StartVideoDecoder() {
    return IsVideoPlaying() || video.Start();
}

void AppChannel::VideoStop() {
    video_buffer.Stop();
    video_transfer.Stop(corvel::kStopTimeoutMs);
    video.Stop(corvel::kStopTimeoutMs);
}

bool AppChannel::ASourceStart() {
    if (IsASourceRunning()) return true;
    if (!audio_buffer.Init(corvel::kAudioBufferCapacity, corvel::kAudioLargestFrame, 2)) return false;
    audio_buffer.maximum_frame_count = corvel::kAudioMaximumFrameCount;
    return audio_transfer.Start();
}

void AppChannel::ASourceStop() {
    audio_buffer.Stop();
    audio_transfer.Stop(corvel::kStopTimeoutMs);
}

bool AppChannel::AudioPlay() {
    if (IsAudioPlaying()) return true;
    ASourceStart();
    if (!IsASourceRunning()) return false;
    audio_player.Attach(&audio_buffer, this, session != nullptr ? &session->sound_output : nullptr);
    return audio_player.Start();
}

void AppChannel::AudioStop() {
    audio_buffer.Stop();
    audio_transfer.Stop(corvel::kStopTimeoutMs);
    audio_player.Stop(corvel::kStopTimeoutMs);
}

bool AppChannel::TalkStart() {
    if (IsTalking()) return true;
    if (session == nullptr) return false;
    talk_buffer.maximum_frame_count = corvel::kAudioMaximumFrameCount;
    bool ok = talk_buffer.Init(corvel::kAudioBufferCapacity, corvel::kAudioLargestFrame, 2) &&
              talk_transfer.Start();
    if (ok) ok = talk_registered = session->talk_audio().RegisterTalkBuffer(&talk_buffer);
    if (!ok) {
        // RegisterTalkBuffer undid itself; the rest is what a talk stop leaves behind.
        talk_buffer.Stop();
        talk_transfer.Stop(corvel::kStopTimeoutMs);
    }
    return ok;
}

void AppChannel::TalkStop() {
    if (!IsTalking()) return;
    if (talk_registered) {
        corvel::CMyTalkAudio& capture = session->talk_audio();
        if (capture.UnregisterTalkBuffer(&talk_buffer).now_empty) capture.Stop(corvel::kStopTimeoutMs);
        talk_registered = false;
    }
    talk_buffer.Stop();
    talk_transfer.Stop(corvel::kStopTimeoutMs);
}

bool AppChannel::Snapshot(const char16_t* path) {
    if (!IsVideoPlaying()) return false;
    return snapshot.Request(path);
}

const corvel::OverlayFont* AppChannel::StatisticsFont() const {
    return session != nullptr ? &session->overlay_font : nullptr;
}

corvel::OverlayFigures AppChannel::Figures() const {
    corvel::OverlayFigures figures;
    figures.frames_per_period = frame_rate.load();
    figures.video_kbps = video_rate.load();
    figures.audio_kbps = audio_rate.load();
    if (device != nullptr) {
        figures.audio_frames_queued = static_cast<int32_t>(device->audio_frames_queued.load());
        figures.audio_bytes_queued = static_cast<int32_t>(device->audio_bytes_queued.load());
    }
    return figures;
}

namespace {

// kbit/s of the bytes counted over a one-second period, truncating; a count too large for the figure
// (a period left uncollected for a long time) gives the largest figure rather than a wrapped one.
int32_t KbitFromBytes(uint64_t bytes) {
    return static_cast<int32_t>(std::min<uint64_t>(bytes / 128, INT32_MAX));
}

}  // namespace

int32_t AppChannel::OnTimer() {
    video_rate = KbitFromBytes(video_transfer.TakeByteCount());
    const uint64_t total = device->audio_byte_total.load();
    audio_rate = KbitFromBytes(total - audio_byte_mark);
    audio_byte_mark = total;
    talk_rate = KbitFromBytes(talk_transfer.TakeByteCount());
    frame_rate = frames_shown.exchange(0);
    total_rate =
        static_cast<int32_t>(std::min<int64_t>(int64_t{video_rate} + audio_rate + talk_rate, INT32_MAX));
    return audio_rate;
}

bool AppChannel::RecordStart(const char16_t* path, int32_t max_duration) {
    if (recording.load()) return true;
    corvel::CopyClientPath(path, record_path);
    max_duration_s = max_duration;
    recording = 1;
    device->recording_count.fetch_add(1);
    return true;
}

void AppChannel::RecordStop() {
    if (!recording.load()) return;
    device->recording_count.fetch_sub(1);
    recording = 0;
    recorder.StopRecording();
}

void AppChannel::WaitForAudioWriters() const {
    while (audio_writers.load(std::memory_order_acquire) != 0) std::this_thread::yield();
}

void RecordDeviceAudio(AppDevice* device, const uint8_t* pcm, uint32_t bytes) {
    std::vector<AppChannel*> writing;
    {
        std::lock_guard guard(device->channels_lock);
        for (AppChannel* channel : device->channels) {
            if (!channel->recorder.HasOpenFile()) continue;
            channel->audio_writers.fetch_add(1, std::memory_order_acq_rel);
            writing.push_back(channel);
        }
    }
    for (AppChannel* channel : writing) {
        channel->recorder.RecordAudio(pcm, bytes);
        channel->audio_writers.fetch_sub(1, std::memory_order_acq_rel);
    }
}

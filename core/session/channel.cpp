#include "session/channel.h"

#include <mutex>

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
    video_bytes = 0;
    talk_bytes = 0;
    recording = 0;
    snapshot_pending = 0;
    std::lock_guard guard(owner_device->channels_lock);
    owner_device->channels.push_back(this);
}

void AppChannel::StopAll() {
    RecordStop();
}

int32_t AppChannel::OnTimer() {
    // Rates in kbit/s over the one-second period: signed, truncating divisions.
    video_rate = static_cast<int32_t>(video_bytes.exchange(0)) * 8 / 1024;
    const uint32_t total = device->audio_byte_total.load();
    audio_rate = static_cast<int32_t>(total - audio_byte_mark) * 8 / 1024;
    audio_byte_mark = total;
    talk_rate = static_cast<int32_t>(talk_bytes.exchange(0)) * 8 / 1024;
    frame_rate = frames_shown.exchange(0);
    total_rate = video_rate + audio_rate + talk_rate;
    return audio_rate;
}

bool AppChannel::RecordStart(const char16_t* path, int32_t max_duration) {
    if (recording.load()) return true;
    size_t n = 0;
    for (; path != nullptr && n < 259 && path[n] != 0; ++n) record_path[n] = path[n];
    record_path[n] = 0;
    max_duration_s = max_duration;
    recording = 1;
    device->recording_count.fetch_add(1);
    return true;
}

void AppChannel::RecordStop() {
    if (!recording.load()) return;
    device->recording_count.fetch_sub(1);
    recording = 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>

#include "corvel/window.h"
#include "media/audio_ctx.h"
#include "media/fps_ctrl.h"
#include "media/frame_buffer.h"
#include "media/snapshot.h"
#include "media/source_record.h"
#include "media/video_ctx.h"
#include "transfer/source_transf.h"

struct AppSession;
struct AppDevice;

// One camera channel of a device shown in one window: the assembly point of the media pipeline.
// Pooled by the session and re-bound on reuse. The client thread runs every operation on it; media threads
// update the atomic counters.
struct AppChannel : corvel::VideoChannelHost, corvel::AudioVideoLink {
    AppSession* session = nullptr;
    AppDevice* device = nullptr;
    int32_t channel_number = -1;  // as the client gives it, counting from 1
    // The largest channel number: stream requests and talk packets carry it in one byte.
    static constexpr int32_t kMaxNumber = 255;
    VelqWindow* window = nullptr;

    // Statistics of the last timer period, in kbit/s and frames.
    int32_t total_rate = 0;
    std::atomic<int32_t> frame_rate{0};  // read by the video thread's overlay too
    std::atomic<int32_t> video_rate{0};
    std::atomic<int32_t> audio_rate{0};
    int32_t talk_rate = 0;
    uint64_t audio_byte_mark = 0;
    std::atomic<int32_t> video_width{0};
    std::atomic<int32_t> video_height{0};
    std::atomic<int32_t> frames_shown{0};

    char16_t record_path[260] = {};
    int32_t max_duration_s = 0;
    std::atomic<uint8_t> recording{0};
    // Written by the video transfer thread and the device's audio transfers; reads the three fields above.
    corvel::CSourceRecord recorder{{recording, record_path, max_duration_s}};
    // Audio writes to `recorder` in progress outside the device's channel-list lock (RecordDeviceAudio).
    // Taken while the channel is on the list; a channel leaving the list waits for it to drop to 0
    // (WaitForAudioWriters) before it goes back to the pool.
    std::atomic<int32_t> audio_writers{0};
    corvel::SnapshotRequest snapshot;

    // Video: pacing, the buffer the video transfer fills, and the decoder thread that empties it (it holds
    // the display settings: background colour, overlay switch, bufferKeep).
    corvel::CFpsCtrl pacing;
    corvel::CVBuffer2 video_buffer;
    corvel::CVideoCtx video{*this, {pacing, video_buffer, snapshot, video_width, video_height, frames_shown}};
    corvel::CSourceTransf video_transfer{corvel::kTransferVideo, &video_buffer};

    // Audio: the buffer the audio transfer fills and the player thread that empties it. Talk: the buffer
    // the session's microphone capture fills for the talk transfer, and whether it is registered there.
    corvel::CABuffer2 audio_buffer;
    corvel::CAudioCtx audio_player;
    corvel::CSourceTransf audio_transfer{corvel::kTransferAudio, &audio_buffer};
    corvel::CABuffer2 talk_buffer;
    corvel::CSourceTransf talk_transfer{corvel::kTransferTalk, &talk_buffer};
    bool talk_registered = false;

    // Binds a pooled or new channel to a device, its number and its window, and appends it to the device's
    // channel list under that list's lock.
    void Bind(AppSession* owner, AppDevice* owner_device, int32_t number, VelqWindow* target);

    bool IsVideoPlaying() const { return video.HasThread(); }
    bool IsVSourceRunning() const { return video_transfer.HasThread(); }
    bool IsAudioPlaying() const { return audio_player.HasThread(); }
    bool IsASourceRunning() const { return audio_transfer.HasThread(); }
    bool IsTalking() const { return talk_transfer.HasThread(); }

    // Unless the video transfer runs: prepares the video buffer (1 MiB, frames up to 256 KiB), lets it take
    // the next key frame and starts the transfer. True when the transfer runs.
    bool VSourceStart();
    // Stops the video buffer, then the video transfer (10000 ms).
    void VSourceStop();
    // Starts the video source and, when it runs, the video decoder; true when the decoder runs.
    bool VideoPlay();
    // Starts only the decoder thread on whatever the video buffer holds (VideoPlay once the source runs).
    bool StartVideoDecoder();
    // Stops the video buffer, the video transfer and the decoder (10000 ms each).
    void VideoStop();
    // Stores a snapshot request while video plays; false otherwise.
    bool Snapshot(const char16_t* path);

    // Unless the audio transfer runs: prepares the audio buffer (64 KiB, frames up to 16 KiB, at most 8
    // waiting) and starts the transfer. True when the transfer runs.
    bool ASourceStart();
    // Stops the audio buffer, then the audio transfer (10000 ms).
    void ASourceStop();
    // Starts the audio source and, when it runs, the player on its buffer; true when the player runs.
    bool AudioPlay();
    // Stops the audio buffer, the audio transfer and the player (10000 ms each).
    void AudioStop();
    // Prepares the talk buffer, starts the talk transfer and registers the buffer with the session's
    // capture, which starts the microphone when it is the first; false, with everything undone, when a
    // step fails.
    bool TalkStart();
    // Unregisters the talk buffer, stops the capture when no channel talks any more, stops the talk buffer
    // and the talk transfer (10000 ms each). Nothing when not talking.
    void TalkStop();

    // The audio thread's view of the video side.
    uint32_t VideoPictureTime() const override { return video.picture_time(); }
    void AdjustVideoDue(int32_t delta_ms) override { pacing.AdjustDue(delta_ms); }

    // The video thread's view of the channel.
    VelqWindow* VideoWindow() const override { return window; }
    const corvel::OverlayFont* StatisticsFont() const override;
    corvel::OverlayFigures Figures() const override;

    // The channel's release: stops every media component in the fixed order (video, audio, talk) and
    // lets go of the window, so that no picture of this channel reaches it afterwards.
    void StopAll();
    // Closes the statistics period; returns the audio rate.
    int32_t OnTimer();
    // Starts a recording: path (at most 259 units), maximum duration per file in seconds. The recorder
    // opens its file at the next key frame.
    bool RecordStart(const char16_t* path, int32_t max_duration);
    // Only while recording: uncounts it on the device, clears the flag and closes the recorder's file
    // under its lock (waiting for a write in progress on a transfer thread).
    void RecordStop();
    // Called once the channel is off its device's list and its recording stopped: returns when no audio
    // write that found it on the list is still using it (such a write finds no file open and returns).
    void WaitForAudioWriters() const;
};

// Audio transfer thread of any channel of `device`: hands the PCM decoded from one audio frame to the
// recorder of every channel of the device that has a file open (so every recording channel of a device
// records the audio received on any of its channels). The device's channel-list lock is held only to find
// those channels (each is marked in `audio_writers`), not for the writes: a slow disk must not stall the
// client thread's channel creation and release. Each recorder takes its own lock for its write.
void RecordDeviceAudio(AppDevice* device, const uint8_t* pcm, uint32_t bytes);

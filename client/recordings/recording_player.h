// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>

#include "recordings/av_handles.h"
#include "recordings/recording_source.h"

namespace recordings {

// Plays one recording: reads it with the AVI demuxer and decodes its H.264 video as live video is decoded
// (low delay, one thread), on the thread that calls it: one thread at a time, which for the player window
// is the UI thread (a CIF frame decodes in a millisecond or two). The caller drives time: Advance(now_ms)
// shows the frame due on the playback clock. Damaged data in the file is skipped by the decoder; reading
// stops at the end of the readable part, so no input makes it run without bound.
class RecordingPlayer {
  public:
    static constexpr double kMinimumSpeed = 0.25;
    static constexpr double kMaximumSpeed = 8.0;

    RecordingPlayer() = default;
    RecordingPlayer(const RecordingPlayer&) = delete;
    RecordingPlayer& operator=(const RecordingPlayer&) = delete;

    // Opens the file and shows its first frame, paused. False with a message for the user in *error (see
    // RecordingSource::Open; error may be null); the player is then empty.
    bool Open(const QString& path, UserText* error);
    bool is_open() const { return codec_ != nullptr; }

    double duration_ms() const { return source_.duration_ms(); }
    double frame_period_ms() const { return source_.frame_period_ms(); }
    size_t frame_count() const { return source_.frames().size(); }
    // Whether the length was found by reading the file (it had no usable index).
    bool duration_from_reading() const { return source_.scanned(); }
    QSize picture_size() const;

    // The shown frame: its picture (RGB32), its time from the start and its number in the file.
    const QImage& picture() const { return picture_; }
    double position_ms() const { return position_ms_; }
    size_t frame_index() const { return frame_index_; }

    // Shows the frame at position_ms (clamped to the file): from the last key frame at or before it,
    // decoding forward to the frame whose period holds the position. Playing goes on from there.
    bool Seek(double position_ms, int64_t now_ms = 0);
    // Pauses and shows the next frame; false at the last frame.
    bool StepForward();

    // Starts (from the beginning when the last frame is shown) or stops the playback clock.
    void Play(int64_t now_ms);
    void Pause();
    bool playing() const { return playing_; }
    bool ended() const { return ended_; }
    // Clamped to kMinimumSpeed..kMaximumSpeed; the position reached so far is kept.
    void SetSpeed(double speed, int64_t now_ms);
    double speed() const { return speed_; }
    // Sound plays only at normal speed.
    bool sound_on() const { return playing_ && speed_ == 1.0 && sound_rate_ > 0; }

    // Decodes up to the frame due at now_ms on the playback clock (at most a few frames per call: a
    // player that falls behind slows down rather than skipping pictures). True when another frame is shown.
    // At the last frame playback stops and ended() is set.
    bool Advance(int64_t now_ms);

    // Sound read since the last call while sound_on(): signed 16-bit PCM, sound_channels() interleaved at
    // sound_rate() samples per second (0 without a PCM sound track).
    QByteArray TakeSound();
    int sound_rate() const { return sound_rate_; }
    int sound_channels() const { return sound_channels_; }

  private:
    // Decodes the next frame of the file; converts it into picture_ when `show`. False at the end.
    bool DecodeNext(bool show);
    // Takes the frame the decoder gave out as the current one.
    bool TakeFrame(bool show);
    bool ShowFrame(const AVFrame* frame);
    void Anchor(int64_t now_ms);

    RecordingSource source_;
    CodecHandle codec_;
    PacketHandle packet_;
    FrameHandle frame_;
    ScalerHandle scaler_;
    QImage picture_;
    double position_ms_ = 0;
    size_t frame_index_ = 0;
    int64_t last_dts_ = 0;

    bool playing_ = false;
    bool ended_ = false;
    double speed_ = 1.0;
    int64_t anchor_wall_ms_ = 0;
    double anchor_position_ms_ = 0;

    int sound_rate_ = 0;
    int sound_channels_ = 0;
    QByteArray sound_;
};

}  // namespace recordings

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>

#include "base/thread.h"
#include "corvel/window.h"
#include "media/fps_ctrl.h"
#include "media/frame_buffer.h"
#include "media/snapshot.h"
#include "media/video_decoder.h"
#include "platform/overlay_font.h"
#include "platform/presenter.h"

namespace corvel {

// The presentation device of the channel's window.
using VideoPresenter = Presenter;

// Figures of the statistics overlay that the channel keeps: those of the last statistics period and the
// audio buffer as the audio transfer last published it.
struct OverlayFigures {
    int32_t frames_per_period = 0;
    int32_t video_kbps = 0;
    int32_t audio_kbps = 0;
    int32_t audio_frames_queued = 0;
    int32_t audio_bytes_queued = 0;
};

// What the video thread asks of its channel beyond the parts it is given. Called on the video thread; the
// answers may be read without locks (they are only shown or compared).
class VideoChannelHost {
  public:
    virtual VelqWindow* VideoWindow() const = 0;
    // The session's statistics font, or null when there is none.
    virtual const OverlayFont* StatisticsFont() const = 0;
    virtual OverlayFigures Figures() const = 0;

  protected:
    ~VideoChannelHost() = default;
};

// The channel's fields that the video thread reads and writes; they outlive the CVideoCtx.
struct VideoChannelParts {
    CFpsCtrl& pacing;
    CVBuffer2& buffer;
    SnapshotRequest& snapshot;
    std::atomic<int32_t>& picture_width;  // of the decoded picture, for the channel's queries too
    std::atomic<int32_t>& picture_height;
    std::atomic<int32_t>& frames_shown;  // +1 per picture drawn; read and reset by the statistics period
};

// The video thread of one channel: takes frames from the channel's video buffer, decodes them, converts each
// picture straight into the presenter's back buffer, draws the overlay when asked, waits until the picture is
// due and presents it; writes snapshots from the back buffer.
//
// Threads: the controlling (client) thread calls Start, Stop, Refresh, the setters and the destructor; Run is
// the video thread. The decoder and the presenter belong to the video thread while it runs (including a
// thread abandoned by a stop time-out that has not left Run yet) and to the controlling thread otherwise. The
// settings are single stores read at their next use.
class CVideoCtx : public CMyThread {
  public:
    static constexpr int32_t kDefaultBufferKeep = 3;

    CVideoCtx(VideoChannelHost& host, const VideoChannelParts& parts);
    ~CVideoCtx() override;

    // Prepares the renderer for the channel's current picture size (only the decoder when it is 0 × 0) and
    // starts the thread; false, without a thread and touching nothing, while a thread runs or an abandoned
    // one has not left Run; false, without a thread, when the preparation fails.
    bool Start() override;
    // Stops the thread (the pacing wait is cut short); decoder and presenter stay for the next start.
    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override { return "corvel-video"; }

    // Shows the last picture again at once: through the video thread when it runs, otherwise from the
    // calling thread when a device exists and no abandoned thread is still inside Run.
    void Refresh();
    // The channel is released: drops the device (and with it the window) and the picture waiting to be
    // presented, so that nothing of this channel reaches that window again, not even through a pooled
    // reuse of the channel with another window. Call after Stop; false (nothing dropped) while an
    // abandoned thread is still inside Run, which owns the presenter until it leaves.
    bool ReleaseWindow();

    // Display settings, set by the client's thread.
    std::atomic<uint32_t> background_color{0};  // 0x00BBGGRR
    std::atomic<int32_t> verbose{0};
    std::atomic<int32_t> buffer_keep{kDefaultBufferKeep};  // tenths of a second

    // The time field (seconds since 1970) of the last drawn frame; read by the audio thread too.
    uint32_t picture_time() const { return picture_time_.load(std::memory_order_relaxed); }
    // Predicted frames counted in the last complete group of pictures.
    int32_t predicted_in_last_gop() const { return predicted_last_gop_.load(std::memory_order_relaxed); }

    // The steps of Run, exposed for the channel and for tests; each runs on the thread that owns the
    // decoder and the presenter (see the class comment).
    //
    // Decodes a frame and, if a picture came out, draws it into the back buffer (rebuilding the renderer when
    // the picture size changed). False when nothing was drawn.
    bool DecodeAndDraw(const FrameRecord& frame);
    // Builds or rebuilds presenter and converter for the channel's picture size and window; opens the
    // decoder.
    bool PrepareRenderer();
    bool OpenDecoder(int width, int height, int bits_per_pixel) {
        return decoder_.Open(width, height, bits_per_pixel);
    }
    // Draws the five statistics lines into the open text context.
    void DrawStatistics(const TextSurface& surface);
    // Presents the back buffer; false when the device had to be released (or a reset failed).
    bool PresentFrame();
    // Takes the frame rate a frame announces and moves the due time by the pacing delay for `waiting`
    // descriptors; returns how long to wait from `now` (0 when the picture is due within 3 ms).
    uint32_t AdvanceDue(uint32_t announced_rate, int32_t waiting, uint32_t now);
    // Writes the pending snapshot from the back buffer, if there is one and the back buffer can be read.
    void TakePendingSnapshot();

    const VideoPresenter& presenter() const { return presenter_; }
    const VideoDecoder& decoder() const { return decoder_; }
    bool present_pending() const { return present_pending_.load(std::memory_order_relaxed) != 0; }

  private:
    void CountGop(uint32_t frame_type);

    VideoChannelHost& host_;
    VideoChannelParts parts_;
    std::atomic<uint8_t> present_pending_{0};
    std::atomic<uint32_t> picture_time_{0};
    std::atomic<int32_t> predicted_last_gop_{0};
    int32_t predicted_count_ = 0;
    VideoPresenter presenter_;
    VideoDecoder decoder_;
};

}  // namespace corvel

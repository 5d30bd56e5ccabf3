// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/video_ctx.h"

#include <cstdio>
#include <ctime>
#include <thread>

#include "base/tick.h"

namespace corvel {
namespace {

// Pacing waits shorter than this are not worth a sleep: the picture is shown at once.
constexpr int32_t kMinimumWaitMs = 3;
constexpr uint32_t kIdleSleepMs = 10;
constexpr uint32_t kOverlayRed = 0x0000FF;
constexpr int kOverlayLeftPx = 10;

}  // namespace

CVideoCtx::CVideoCtx(VideoChannelHost& host, const VideoChannelParts& parts) : host_(host), parts_(parts) {}

CVideoCtx::~CVideoCtx() {
    Stop(kStopTimeoutMs);
    WaitForExit();
}

bool CVideoCtx::Start() {
    // The renderer belongs to the worker while one runs, and to an abandoned worker until it leaves Run:
    // rebuilding it here would clear and free the back buffer under a presentation in progress.
    if (HasThread() || !WorkerExited()) return false;
    if (!PrepareRenderer()) return false;
    return CMyThread::Start();
}

void CVideoCtx::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    parts_.pacing.wake().Set();
    CMyThread::Stop(timeout_ms);
}

void CVideoCtx::Refresh() {
    if (HasThread()) {
        present_pending_.store(1, std::memory_order_relaxed);
        parts_.pacing.set_due_tick(TickCount32());
        parts_.pacing.wake().Set();
    } else if (WorkerExited() && presenter_.HasDevice()) {
        // Only when no worker is inside Run: an abandoned one may still be presenting.
        PresentFrame();
    }
}

bool CVideoCtx::ReleaseWindow() {
    if (HasThread() || !WorkerExited()) return false;
    present_pending_.store(0, std::memory_order_relaxed);
    presenter_.Release();
    return true;
}

int CVideoCtx::Run() {
    while (running()) {
        if (presenter_.HasSurface()) {
            if (present_pending_.exchange(0, std::memory_order_relaxed) != 0) PresentFrame();
            if (presenter_.HasSurface()) TakePendingSnapshot();
        }
        FrameRecord frame;
        if (!parts_.buffer.Pop(&frame)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSleepMs));
            parts_.pacing.set_due_tick(TickCount32());
            continue;
        }
        CountGop(frame.type);
        if (!DecodeAndDraw(frame)) continue;
        if (verbose.load(std::memory_order_relaxed) != 0) {
            TextSurface surface;
            if (presenter_.GetDC(&surface)) {
                DrawStatistics(surface);
                presenter_.ReleaseDC();
            }
        }
        const uint32_t wait_ms = AdvanceDue(frame.aux, parts_.buffer.FrameCount(), TickCount32());
        if (wait_ms > 0) parts_.pacing.wake().Wait(wait_ms);
    }
    return 0;
}

void CVideoCtx::CountGop(uint32_t frame_type) {
    if (frame_type == IVOP) {
        predicted_last_gop_.store(predicted_count_, std::memory_order_relaxed);
        predicted_count_ = 0;
    } else if (frame_type == PVOP) {
        ++predicted_count_;
    }
}

uint32_t CVideoCtx::AdvanceDue(uint32_t announced_rate, int32_t waiting, uint32_t now) {
    CFpsCtrl& pacing = parts_.pacing;
    pacing.Announce(announced_rate);
    const int32_t delay = CFpsCtrl::PacingDelay(
        waiting, pacing.frame_rate(), buffer_keep.load(std::memory_order_relaxed), pacing.interval_ms());
    pacing.AdjustDue(delay);
    const int32_t ahead = TickDiff(pacing.due_tick(), now);
    return ahead > kMinimumWaitMs ? static_cast<uint32_t>(ahead) : 0;
}

bool CVideoCtx::DecodeAndDraw(const FrameRecord& frame) {
    if (!decoder_.Decode(frame.data, frame.size)) return false;
    const int width = decoder_.decoded_width();
    const int height = decoder_.decoded_height();
    if (!presenter_.HasSurface() || width != parts_.picture_width.load() ||
        height != parts_.picture_height.load() || !decoder_.ConverterFits()) {
        parts_.picture_width.store(width);
        parts_.picture_height.store(height);
        if (!PrepareRenderer()) {
            parts_.picture_width.store(0);
            parts_.picture_height.store(0);
            return false;
        }
    }
    LockedRect locked;
    if (!presenter_.Lock(&locked)) return false;
    const bool converted = decoder_.Convert(locked.bits, locked.pitch);
    presenter_.Unlock();
    if (!converted) return false;
    present_pending_.store(1, std::memory_order_relaxed);
    parts_.frames_shown.fetch_add(1);
    picture_time_.store(frame.time, std::memory_order_relaxed);
    return true;
}

bool CVideoCtx::PrepareRenderer() {
    const int width = parts_.picture_width.load();
    const int height = parts_.picture_height.load();
    int bits = decoder_.bits_per_pixel();
    VelqWindow* window = host_.VideoWindow();
    // A device of another window is never kept, even before the first picture gives the size: its last
    // picture would otherwise be presented into the window it was made for.
    if (presenter_.window() != window) {
        presenter_.Release();
        present_pending_.store(0, std::memory_order_relaxed);
    }
    if (width != 0 && height != 0) {
        if (presenter_.width() != width || presenter_.height() != height) presenter_.Release();
        if (!presenter_.HasDevice() && !presenter_.Create(window, width, height)) return false;
        presenter_.Clear(background_color.load(std::memory_order_relaxed));
        bits = presenter_.BitsPerPixel();
    }
    return decoder_.Open(width, height, bits);
}

bool CVideoCtx::PresentFrame() {
    switch (presenter_.Present()) {
        case Presenter::PresentOutcome::kShown:
        case Presenter::PresentOutcome::kReset:
            return true;
        case Presenter::PresentOutcome::kResetFailed:
        case Presenter::PresentOutcome::kFailed:
            break;
    }
    return false;
}

void CVideoCtx::TakePendingSnapshot() {
    SnapshotRequest& request = parts_.snapshot;
    if (request.pending.load(std::memory_order_acquire) == 0) return;
    TextSurface surface;
    if (!presenter_.GetDC(&surface)) return;
    const std::string name = SnapshotFileName(request.path, picture_time());
    WriteSnapshotFile(name, surface, parts_.picture_width.load(), parts_.picture_height.load(),
                      decoder_.bits_per_pixel());
    presenter_.ReleaseDC();
    // The flag drops once the file is complete, so whoever sees it clear finds the file; only then may the
    // client's thread store the next path.
    request.pending.store(0, std::memory_order_release);
}

void CVideoCtx::DrawStatistics(const TextSurface& surface) {
    const OverlayFont* font = host_.StatisticsFont();
    if (font == nullptr) return;
    const OverlayFigures figures = host_.Figures();
    char line[260];
    const time_t when = static_cast<time_t>(picture_time());
    tm local{};
    localtime_r(&when, &local);
    strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S", &local);
    font->DrawText(surface, kOverlayLeftPx, 10, line, kOverlayRed);
    snprintf(line, sizeof line, "fps: %2d, P/I: %2d", figures.frames_per_period, predicted_in_last_gop());
    font->DrawText(surface, kOverlayLeftPx, 30, line, kOverlayRed);
    snprintf(line, sizeof line, "vbps: %3d kbps, abps: %3d kbps", figures.video_kbps, figures.audio_kbps);
    font->DrawText(surface, kOverlayLeftPx, 50, line, kOverlayRed);
    snprintf(line, sizeof line, "video: q: %2d, c: %3d KB", parts_.buffer.FrameCount(),
             parts_.buffer.Used() / 1024);
    font->DrawText(surface, kOverlayLeftPx, 70, line, kOverlayRed);
    snprintf(line, sizeof line, "audio: q: %2d, c: %3d KB", figures.audio_frames_queued,
             figures.audio_bytes_queued / 1024);
    font->DrawText(surface, kOverlayLeftPx, 90, line, kOverlayRed);
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
// One display window of the video grid: the window a channel's video is presented into. Docked it is a child
// of the grid's area at the place the grid assigned; undocked it floats as a window of its own.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <mutex>

#include "corvel/corvel.h"
#include "corvel/window.h"
#include "grid/grid_model.h"

class QLabel;
class QPainter;

class CDevShowDlg : public QWidget, public VelqWindow, public GridSlot {
    Q_OBJECT

  public:
    // The client's transfer-status message, as the library's events 192 to 195 are forwarded to a window.
    static constexpr uint32_t kStatusMessage = 0x510;

    // gridArea: the widget the window docks into; its contents rectangle is the display area, whose size is
    // also the floating size of a window whose video size is unknown. The window starts docked and hidden.
    explicit CDevShowDlg(QWidget* gridArea);
    ~CDevShowDlg() override;

    // Any thread: queues the message for this window's thread.
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // A channel's video thread, or the UI thread through VelqChn_Refresh: copies the picture into the
    // window's newest-picture slot, schedules a repaint and returns. Never waits for the UI thread.
    VelqPresentResult PresentPicture(const VelqPicture& picture) override;

    // Paced: a new picture only marks the window, and the owner's repaint clock calls RepaintIfDirty
    // (UI thread), so that the pictures of many windows reach the screen in one paint per tick.
    void SetPaced(bool paced);
    void RepaintIfDirty();

    void Dock();
    void Undock();
    // Stops and releases the bound channel; forgets its device, node and picture. Callers check the binding.
    void ReleaseChannel();
    // Events 192 to 195 for `fromChannel`; other codes, or a channel this window no longer shows, are
    // ignored.
    void TransferStatus(int code, AppChannel* fromChannel);
    // ChildBkColor (background, status line) and TextColor (status text).
    void SetColors(const QColor& background, const QColor& text);

    // The small marks drawn over the picture: recording (red) and the device's audio playing (speaker).
    void SetMarks(bool recording, bool audio);

    QString StatusText() const;
    bool StatusVisible() const;
    bool HasPicture() const;
    // UI thread: the picture the window shows or is about to show (null without one).
    QImage CurrentPicture() const;

    // Client size of an undocked window: a known video size, doubled unless wider than 639 pixels;
    // otherwise the grid area's size.
    static QSize UndockClientSize(int video_width, int video_height, const QSize& gridSize);

    // What the window did with the pictures it was given (the benchmark reads these).
    struct Counters {
        uint64_t presented = 0;          // pictures handed over by the library
        uint64_t painted = 0;            // pictures drawn at least once
        uint64_t replacedUnpainted = 0;  // pictures overwritten by a newer one before a paint took them
        uint64_t late = 0;  // pictures that waited longer than kFramePeriod_us for a paint (painted or not)
        int64_t maxPresentToPaint_us = 0;  // longest wait of a painted picture for its paint
        int64_t maxUnpainted_us = 0;       // longest time a replaced picture stood unpainted
    };
    // One frame period at 25 frames a second: a picture should be painted, or replaced, within it.
    static constexpr int64_t kFramePeriod_us = 40000;
    Counters Stats() const;
    void ResetStats();

  signals:
    // A click: the grid makes this window active.
    void Activated(CDevShowDlg* window);
    // A right-click, after Activated: the main window shows the channel menu for channelItem.
    void MenuRequested(CDevShowDlg* window);
    // The window docked back into the grid (its visibility is the grid's to decide).
    void Docked(CDevShowDlg* window);

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    using Clock = std::chrono::steady_clock;
    void RefreshIfIdle();
    void PaintMarks(QPainter& painter);
    void PlaceStatus();

    QWidget* gridArea_;
    QLabel* status_;
    QColor background_{Qt::black};
    QColor text_{Qt::white};
    bool recordingMark_ = false;
    bool audioMark_ = false;
    QPoint pressAt_;
    bool pressed_ = false;

    // Pictures pass producer -> latest_ -> shown_. The producer fills spare_ (its own), then swaps it with
    // latest_ under mutex_; a paint swaps latest_ with shown_ (the UI thread's own) under the same lock and
    // draws shown_ without it. The lock is held only for the swaps.
    std::mutex produceMutex_;  // one producer at a time; guards spare_
    QImage spare_;
    mutable std::mutex mutex_;  // guards latest_, latestNew_, latestAt_, counters_
    QImage latest_;
    bool latestNew_ = false;
    Clock::time_point latestAt_;
    Counters counters_;
    QImage shown_;  // UI thread only
    std::atomic<bool> updatePosted_{false};
    std::atomic<bool> paced_{false};
    std::atomic<bool> dirty_{false};
    std::atomic<int64_t> lastPresent_ms_{0};
};

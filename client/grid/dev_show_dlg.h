// SPDX-License-Identifier: GPL-3.0-or-later
// One display window of the video grid: the window a channel's video is presented into. Docked it is a child
// of the grid's area at the place the grid assigned; undocked it floats as a window of its own.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "corvel/corvel.h"
#include "corvel/window.h"
#include "grid/grid_model.h"
#include "grid/picture_slot.h"
#include "grid/repaint_pacer.h"
#include "grid/tile_overlay.h"
#include "grid/tile_sink.h"
#include "grid/tile_status.h"
#include "grid/tile_view.h"

class QPainter;

class QTimer;

class CDevShowDlg : public QWidget, public VelqWindow, public GridSlot {
    Q_OBJECT

  public:
    // The client's transfer-status message, as the library's events 192 to 195 are forwarded to a window.
    static constexpr uint32_t kStatusMessage = 0x510;

    // gridArea: the widget the window docks into; its contents rectangle is the display area, whose size is
    // also the floating size of a window whose video size is unknown. The window starts docked and hidden.
    explicit CDevShowDlg(QWidget* gridArea);
    ~CDevShowDlg() override;

    // What the library is given for this window's channel (never the window itself): it outlives the
    // window and drops what arrives once the window is gone, or once the channel is detached. Each binding
    // (BeginChannel) has a sink of its own, so a channel still stopping elsewhere can never present into
    // the channel bound after it.
    const std::shared_ptr<TileSink>& Sink() const { return sink_; }

    // Any thread: queues the message for this window's thread.
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // A channel's video thread, or the UI thread through VelqChn_Refresh: copies the picture into the
    // window's newest-picture slot, schedules a repaint and returns. Never waits for the UI thread.
    VelqPresentResult PresentPicture(const VelqPicture& picture) override;

    // Paced: a new picture only marks the window, and the owner's repaint clock calls RepaintIfDirty
    // (UI thread), so that the pictures of many windows reach the screen in one paint per tick.
    void SetPaced(bool paced) { pacer_.SetPaced(paced); }
    void RepaintIfDirty() { pacer_.RepaintIfDirty(); }

    void Dock();
    void Undock();
    // UI thread. Unbinds at once: refuses pictures and closes the binding's sink (waiting at most for a
    // picture being copied in at that moment), forgets device, channel, node, picture, label and status.
    // Returns the channel, which the caller stops and releases (off this thread); none when there was none.
    AppChannel* DetachChannel();
    // Detaches and stops the channel on this thread, waiting for its threads (the window's destruction).
    // Callers check the binding.
    void ReleaseChannel();
    // Events 192 to 195 for `fromChannel`; other codes, or a channel this window no longer shows, are
    // ignored.
    void TransferStatus(int code, AppChannel* fromChannel);
    // ChildBkColor (background, status line) and TextColor (status text).
    void SetColors(const QColor& background, const QColor& text);

    // The small marks drawn beside the label: recording (red), the device's audio playing (speaker) and
    // talk open to the vehicle (microphone).
    void SetMarks(bool recording, bool audio, bool talk = false);
    TileMarks Marks() const { return overlay_.Marks(); }

    // UI thread. A channel is about to be bound (before the library is given the sink): a new sink, pictures
    // are taken again, and the label names the vehicle and channel. DetachChannel refuses pictures until
    // the next bind, so that a late picture of a released channel never shows in an empty tile.
    void BeginChannel(const QString& vehicle, const QString& channelName);
    // The label (vehicle, channel, clock) drawn over the picture; the marks are drawn either way.
    void SetShowLabel(bool show);
    // Whether the tile draws the keyboard focus frame: the grid sets it on its active tile while the focus
    // is in the grid, since the grid's keys act on the active tile whichever widget holds the focus.
    void SetFocusFrame(bool shown);
    // Whether the frame is drawn now (also for a floating tile that has the focus itself).
    bool FocusFrameShown() const;
    // The picture keeps its aspect (letterboxed in the background) or is stretched over the tile.
    void SetKeepAspect(bool keep);
    const TileView& View() const { return view_; }
    TileView& View() { return view_; }
    // Where the picture is drawn in the tile (the letterbox rectangle; the tile without a picture).
    QRect PictureRect() const;
    QRect LabelRect() const { return overlay_.LabelRect(); }

    // UI thread, from the grid's watch clock: the label's clock, and the stall notice of a shown channel
    // whose newest picture (or, before the first one, its start) is older than kStallAfter_ms.
    void Tick(int64_t now_ms);
    static constexpr int64_t kStallAfter_ms = 2000;
    bool Stalled() const { return stalled_; }
    // UI thread: a note about the channel's recording shown with the stall notice (empty: none), such as
    // a recording that waits for video; it goes with the channel's release.
    void SetRecordingNote(const QString& note);
    const QString& RecordingNote() const { return recording_note_; }
    QString StallText() const { return overlay_.StallText(); }
    // UI thread: a short notice over the picture (a snapshot written or not), shown for kNoticeShown_ms
    // or until the next notice or the channel's release.
    void ShowNotice(const QString& text);
    QString NoticeText() const { return overlay_.Notice(); }
    static constexpr int kNoticeShown_ms = 4000;

    QString StatusText() const { return status_.text(); }
    bool StatusVisible() const { return status_.visible(); }
    bool HasPicture() const;
    // UI thread: the picture the window shows or is about to show (null without one).
    QImage CurrentPicture() const;

    // Client size of an undocked window: a known video size, doubled unless wider than 639 pixels;
    // otherwise the grid area's size.
    static QSize UndockClientSize(int video_width, int video_height, const QSize& gridSize);

    // What the window did with the pictures it was given (the benchmark reads these).
    using Counters = PictureSlot::Counters;
    static constexpr int64_t kFramePeriod_us = PictureSlot::kFramePeriod_us;
    Counters Stats() const;
    void ResetStats();

  signals:
    // A click: the grid makes this window active.
    void Activated(CDevShowDlg* window);
    // A right-click, after Activated: the main window shows the channel menu for channel_item.
    void MenuRequested(CDevShowDlg* window);
    // The window docked back into the grid (its visibility is the grid's to decide).
    void Docked(CDevShowDlg* window);
    // The close button of a hovered, bound tile was clicked: the grid closes its channel.
    void CloseRequested(CDevShowDlg* window);
    // A bound docked tile is dragged: the grid runs the drag (swap on drop).
    void DragRequested(CDevShowDlg* window);

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
    void wheelEvent(QWheelEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  private:
    void RefreshIfIdle();
    void ShowStallText();
    // UI thread: tells the picture slot the tile's size and aspect rule (none while zoomed), so that the
    // video thread fits each picture to it once.
    void PublishFit();
    // The pacer's repaint for a new picture.
    void RepaintPicture();
    // The picture's size (the newest one's while it is not yet shown).
    QSize PictureSize() const;

    QWidget* grid_area_;
    std::shared_ptr<TileSink> sink_;
    TileStatus status_;
    QColor background_{Qt::black};
    QColor text_{Qt::white};
    TileOverlay overlay_;
    QTimer* notice_clock_;
    TileView view_;
    bool hovered_ = false;
    bool focus_frame_ = false;
    QPoint press_at_;
    QPoint last_drag_at_;
    bool pressed_ = false;
    bool panning_ = false;
    // Steady-clock milliseconds from which a missing picture counts as a stall: the bind, the show.
    int64_t watch_from_ms_ = 0;
    bool stalled_ = false;
    QString stall_text_;      // "No video since ..." while stalled
    QString recording_note_;  // SetRecordingNote
    QRect painted_target_;    // where the last paint drew a picture

    PictureSlot pictures_;
    RepaintPacer pacer_{*this, [this] { RepaintPicture(); }};
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/dev_show_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <cstring>

#include "app/app_profile.h"
#include "app/library_event.h"
#include "app/shown_text.h"

namespace {

int64_t NowMs() {
    return RepaintPacer::NowMs();
}

// A window whose last picture is older than this is idle: its channel's video thread is not presenting.
constexpr int64_t kIdleAfter_ms = 200;
// The keyboard focus frame's width: seen at a glance on a wall of moving pictures.
constexpr int kFocusFramePx = 2;

}  // namespace

CDevShowDlg::CDevShowDlg(QWidget* gridArea)
    : QWidget(gridArea),
      grid_area_(gridArea),
      sink_(std::make_shared<TileSink>(this)),
      status_(this),
      notice_clock_(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    notice_clock_->setSingleShot(true);
    notice_clock_->setInterval(kNoticeShown_ms);
    connect(notice_clock_, &QTimer::timeout, this, [this] { ShowNotice(QString()); });
    setFocusPolicy(Qt::ClickFocus);
    setWindowTitle(AppProfile::Translate(QStringLiteral("Device Video Display")));
    // A child widget's title is not read out: the tile is named for screen readers as well.
    setAccessibleName(windowTitle());
    SetColors(background_, text_);
    hide();
}

CDevShowDlg::~CDevShowDlg() {
    // First: a video thread that outlives the release below must find the sink closed.
    sink_->Detach();
    if (channel) ReleaseChannel();
}

void CDevShowDlg::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(this, new LibraryEvent(message, wParam, lParam));
}

bool CDevShowDlg::event(QEvent* e) {
    if (e->type() == LibraryEvent::TypeId()) {
        const auto* m = static_cast<LibraryEvent*>(e);
        if (m->message() == kStatusMessage) {
            TransferStatus(static_cast<int>(m->code()), reinterpret_cast<AppChannel*>(m->value()));
        }
        return true;
    }
    return QWidget::event(e);
}

VelqPresentResult CDevShowDlg::PresentPicture(const VelqPicture& picture) {
    bool taken = false;
    const VelqPresentResult result = pictures_.Put(picture, &taken);
    if (!taken) return result;
    pacer_.Arrived();
    return VELQ_PRESENT_OK;
}

void CDevShowDlg::PublishFit() {
    // A zoomed tile draws a part of the whole picture: fitting would be wasted.
    pictures_.SetFit(view_.Zoomed() ? QSize() : size(), view_.KeepAspect());
}

void CDevShowDlg::RepaintPicture() {
    // Only the picture's part: the bars around it and the label beside it did not change.
    update(PictureRect());
}

void CDevShowDlg::paintEvent(QPaintEvent* e) {
    PublishFit();  // the next picture comes fitted to what this paint shows
    const PictureSlot::Frame& frame = pictures_.TakeForPaint();
    const QImage& shown = frame.full;
    QPainter painter(this);
    if (shown.isNull()) {
        painter.fillRect(rect(), background_);
        if (channel) overlay_.PaintStall(painter, rect());
    } else {
        // Letterboxed: the bars around the picture show the background. No smooth scaling: the grid
        // paints many tiles many times a second.
        const QRect target = view_.TargetRect(size(), shown.size());
        // A picture of another size or aspect moves the bars, which a picture's repaint leaves out.
        if (target != painted_target_ && !e->rect().contains(rect())) update();
        painted_target_ = target;
        if (target != rect()) {
            painter.fillRect(0, 0, width(), target.top(), background_);
            painter.fillRect(0, target.bottom() + 1, width(), height() - target.bottom() - 1, background_);
            painter.fillRect(0, target.top(), target.left(), target.height(), background_);
            painter.fillRect(target.right() + 1, target.top(), width() - target.right() - 1, target.height(),
                             background_);
        }
        if (view_.Zoomed()) {
            painter.drawImage(QRectF(target), shown, view_.SourceRect(shown.size()));
        } else if (frame.fitted_valid && frame.fitted.size() == target.size()) {
            painter.drawImage(target.topLeft(), frame.fitted);  // fitted on the video thread: a blit
        } else {
            painter.drawImage(target, shown);
        }
        overlay_.PaintStall(painter, target);
    }
    // Over the whole tile: a file name has more room than over a letterboxed picture.
    overlay_.PaintNotice(painter, rect());
    overlay_.PaintLabel(painter);
    if (hovered_ && channel_item && !floating) TileOverlay::PaintCloseButton(painter, size());
    if (FocusFrameShown()) {
        // Inside the tile's edge, where no neighbour covers it; the dark inner line keeps it visible on a
        // picture of the highlight's own colour.
        const auto ring = [&painter](const QRect& r, int width, const QColor& color) {
            painter.fillRect(r.left(), r.top(), r.width(), width, color);
            painter.fillRect(r.left(), r.bottom() - width + 1, r.width(), width, color);
            painter.fillRect(r.left(), r.top(), width, r.height(), color);
            painter.fillRect(r.right() - width + 1, r.top(), width, r.height(), color);
        };
        ring(rect(), kFocusFramePx, palette().color(QPalette::Highlight));
        ring(rect().adjusted(kFocusFramePx, kFocusFramePx, -kFocusFramePx, -kFocusFramePx), 1, Qt::black);
    }
}

void CDevShowDlg::SetFocusFrame(bool shown) {
    if (shown == focus_frame_) return;
    focus_frame_ = shown;
    update();
}

bool CDevShowDlg::FocusFrameShown() const {
    return focus_frame_ || (floating && hasFocus());
}

void CDevShowDlg::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    update();
}

void CDevShowDlg::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    update();
}

void CDevShowDlg::SetMarks(bool recording, bool audio, bool talk) {
    if (overlay_.SetMarks({recording, audio, talk})) update();
}

void CDevShowDlg::BeginChannel(const QString& vehicle, const QString& channelName) {
    sink_->Detach();
    sink_ = std::make_shared<TileSink>(this);
    pictures_.Accept();
    overlay_.SetLabel(vehicle, channelName);
    overlay_.SetClock(QTime::currentTime());
    overlay_.SetStallText(QString());
    stalled_ = false;
    stall_text_.clear();
    recording_note_.clear();
    overlay_.SetNotice(QString());
    notice_clock_->stop();
    view_.Reset();
    watch_from_ms_ = NowMs();
    update();
}

void CDevShowDlg::SetShowLabel(bool show) {
    overlay_.SetShowLabel(show);
    update();
}

void CDevShowDlg::SetKeepAspect(bool keep) {
    view_.SetKeepAspect(keep);
    PublishFit();
    update();
}

QSize CDevShowDlg::PictureSize() const {
    return pictures_.PictureSize();
}

QRect CDevShowDlg::PictureRect() const {
    return view_.TargetRect(size(), PictureSize());
}

void CDevShowDlg::Tick(int64_t now_ms) {
    const bool shown = isVisible();
    if (overlay_.SetClock(QTime::currentTime()) && shown) update();
    const int64_t from = std::max(pacer_.lastPictureMs(), watch_from_ms_);
    const bool stalled = channel && shown && now_ms - from >= kStallAfter_ms;
    if (stalled == stalled_) return;
    stalled_ = stalled;
    // The wall-clock time of the newest picture (or of the start), as the operator reads clocks.
    stall_text_ = stalled ? AppProfile::Translate(QStringLiteral("No video since")) + u' ' +
                                LeftToRight(QDateTime::currentDateTime()
                                                .addMSecs(from - now_ms)
                                                .toString(QStringLiteral("HH:mm:ss")))
                          : QString();
    ShowStallText();
}

void CDevShowDlg::SetRecordingNote(const QString& note) {
    if (note == recording_note_) return;
    recording_note_ = note;
    ShowStallText();
}

void CDevShowDlg::ShowStallText() {
    const QString text = recording_note_.isEmpty() ? stall_text_
                         : stall_text_.isEmpty()   ? recording_note_
                                                   : recording_note_ + QStringLiteral(" - ") + stall_text_;
    if (text == overlay_.StallText()) return;
    overlay_.SetStallText(text);
    update();
}

void CDevShowDlg::RefreshIfIdle() {
    if (channel && NowMs() - pacer_.lastPictureMs() > kIdleAfter_ms) {
        VelqChn_Refresh(channel);
    }
}

void CDevShowDlg::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    PublishFit();
    status_.Place(size());
    RefreshIfIdle();
}

void CDevShowDlg::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // A page shown again starts its sources now: their pictures are not overdue yet.
    watch_from_ms_ = NowMs();
    RefreshIfIdle();
}

void CDevShowDlg::mousePressEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        if (hovered_ && channel_item && !floating && TileOverlay::CloseButtonRect(size()).contains(at)) {
            emit CloseRequested(this);
            return;
        }
        pressed_ = true;
        press_at_ = last_drag_at_ = at;
        panning_ = view_.Zoomed();
        emit Activated(this);
    } else if (e->button() == Qt::RightButton) {
        emit Activated(this);
        emit MenuRequested(this);
    }
}

void CDevShowDlg::mouseMoveEvent(QMouseEvent* e) {
    if (!pressed_ || !(e->buttons() & Qt::LeftButton)) return;
    const QPoint at = e->position().toPoint();
    // A zoomed picture follows the drag.
    if (panning_) {
        view_.PanBy(at - last_drag_at_, size(), PictureSize());
        last_drag_at_ = at;
        update();
        return;
    }
    // Past the drag distance (so that clicks and double-clicks stay clicks): a bound docked tile is
    // dragged onto another; otherwise the press drags the floating window, or the main window.
    if ((at - press_at_).manhattanLength() < QApplication::startDragDistance()) return;
    pressed_ = false;
    if (!floating && channel_item) {
        emit DragRequested(this);
        return;
    }
    if (QWindow* handle = window()->windowHandle()) handle->startSystemMove();
}

void CDevShowDlg::mouseReleaseEvent(QMouseEvent*) {
    pressed_ = false;
    panning_ = false;
}

void CDevShowDlg::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = false;
    if (e->modifiers() & Qt::ControlModifier) {
        view_.Reset();
        update();
        return;
    }
    if (floating) {
        Dock();
    } else {
        Undock();
    }
}

void CDevShowDlg::wheelEvent(QWheelEvent* e) {
    const QSize picture = PictureSize();
    if (picture.isEmpty() || e->angleDelta().y() == 0) {
        e->ignore();
        return;
    }
    // One notch of the wheel: a quarter more or less.
    view_.ZoomAt(e->position(), std::pow(1.25, e->angleDelta().y() / 120.0), size(), picture);
    update();
    e->accept();
}

void CDevShowDlg::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    hovered_ = true;
    if (channel_item) update(TileOverlay::CloseButtonRect(size()));
}

void CDevShowDlg::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    hovered_ = false;
    if (channel_item) update(TileOverlay::CloseButtonRect(size()));
}

void CDevShowDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        if (floating) Dock();
        return;
    }
    QWidget::keyPressEvent(e);
}

void CDevShowDlg::closeEvent(QCloseEvent* e) {
    // Closing a floating window puts it back into the grid; it is destroyed only with the main window.
    e->ignore();
    if (floating) Dock();
}

void CDevShowDlg::Dock() {
    const bool visible = isVisible();
    floating = false;
    setParent(grid_area_, Qt::Widget);
    setGeometry(docked_rect.left, docked_rect.top, docked_rect.Width(), docked_rect.Height());
    setVisible(visible);
    update();
    emit Docked(this);
}

QSize CDevShowDlg::UndockClientSize(int video_width, int video_height, const QSize& gridSize) {
    if (video_width <= 0 || video_height <= 0) return gridSize;
    if (video_width > 639) return {video_width, video_height};
    return {video_width * 2, video_height * 2};
}

void CDevShowDlg::Undock() {
    intptr_t videoWidth = 0, videoHeight = 0;
    if (channel) {
        VelqChn_GetChnInfo(channel, VELQ_CHN_WIDTH, &videoWidth);
        VelqChn_GetChnInfo(channel, VELQ_CHN_HEIGHT, &videoHeight);
    }
    const QSize gridSize = grid_area_ ? grid_area_->contentsRect().size() : QSize(640, 480);
    QSize size = UndockClientSize(static_cast<int>(videoWidth), static_cast<int>(videoHeight), gridSize);
    floating = true;
    setParent(nullptr, Qt::Window);
    if (QScreen* screen = grid_area_ ? grid_area_->screen() : QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        // A doubled HD picture would not fit: keep the window on the screen, aspect unchanged.
        if (size.width() > available.width() || size.height() > available.height()) {
            size.scale(available.size() * 0.9, Qt::KeepAspectRatio);
        }
        resize(size);
        move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    } else {
        resize(size);
    }
    show();
    raise();
    activateWindow();
}

void CDevShowDlg::ShowNotice(const QString& text) {
    overlay_.SetNotice(text);
    if (text.isEmpty())
        notice_clock_->stop();
    else
        notice_clock_->start();
    update();
}

void CDevShowDlg::ReleaseChannel() {
    if (AppChannel* detached = DetachChannel()) {
        VelqChn_RecordStop(detached);
        VelqChn_VideoStop(detached);
        VelqChn_Release(detached);
    }
}

AppChannel* CDevShowDlg::DetachChannel() {
    // Both, in this order: the sink stops what the channel's video thread hands over from now on, Refuse
    // forgets what it handed over before.
    sink_->Detach();
    pictures_.Refuse();
    AppChannel* detached = channel;
    device = nullptr;
    channel = nullptr;
    channel_item = nullptr;
    overlay_.SetMarks({});
    overlay_.SetLabel(QString(), QString());
    overlay_.SetStallText(QString());
    stalled_ = false;
    stall_text_.clear();
    recording_note_.clear();
    view_.Reset();
    status_.Hide();
    update();
    return detached;
}

void CDevShowDlg::TransferStatus(int code, AppChannel* fromChannel) {
    if (fromChannel && fromChannel == channel) status_.Show(code, size());
}

void CDevShowDlg::SetColors(const QColor& background, const QColor& text) {
    background_ = background;
    text_ = text;
    status_.SetColors(background, text);
    update();
}

bool CDevShowDlg::HasPicture() const {
    return pictures_.HasPicture();
}

QImage CDevShowDlg::CurrentPicture() const {
    return pictures_.Current();
}

void CDevShowDlg::ResetStats() {
    pictures_.ResetStats();
}

CDevShowDlg::Counters CDevShowDlg::Stats() const {
    return pictures_.Stats();
}

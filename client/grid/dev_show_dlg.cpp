// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/dev_show_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cstring>

#include "app/app_profile.h"
#include "app/library_event.h"

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A window whose last picture is older than this is idle: its channel's video thread is not presenting.
constexpr int64_t kIdleAfter_ms = 200;

}  // namespace

CDevShowDlg::CDevShowDlg(QWidget* gridArea) : QWidget(gridArea), gridArea_(gridArea) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setWindowTitle(AppProfile::Translate(QStringLiteral("Device Video Display")));
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    status_->setAutoFillBackground(true);
    status_->setContentsMargins(4, 2, 4, 2);
    status_->hide();
    SetColors(background_, text_);
    hide();
}

CDevShowDlg::~CDevShowDlg() {
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
    QImage::Format format;
    int bytesPerPixel;
    switch (picture.format) {
        case VELQ_PIX_BGRA32:  // B, G, R, A in memory: RGB32 on a little-endian machine
            format = QImage::Format_RGB32;
            bytesPerPixel = 4;
            break;
        case VELQ_PIX_RGB565:
            format = QImage::Format_RGB16;
            bytesPerPixel = 2;
            break;
        default:
            return VELQ_PRESENT_FAILED;
    }
    if (picture.width <= 0 || picture.height <= 0 || !picture.plane[0] ||
        picture.stride[0] < picture.width * bytesPerPixel) {
        return VELQ_PRESENT_FAILED;
    }
    {
        std::lock_guard produce(produceMutex_);
        if (spare_.width() != picture.width || spare_.height() != picture.height ||
            spare_.format() != format) {
            spare_ = QImage(picture.width, picture.height, format);
            if (spare_.isNull()) return VELQ_PRESENT_LOST;  // no memory now; the presenter tries again
        }
        const size_t rowBytes = static_cast<size_t>(picture.width) * bytesPerPixel;
        for (int y = 0; y < picture.height; ++y) {
            std::memcpy(spare_.scanLine(y), picture.plane[0] + static_cast<ptrdiff_t>(y) * picture.stride[0],
                        rowBytes);
        }
        std::lock_guard lock(mutex_);
        std::swap(spare_, latest_);
        const Clock::time_point now = Clock::now();
        if (latestNew_) {
            ++counters_.replacedUnpainted;
            const int64_t stood =
                std::chrono::duration_cast<std::chrono::microseconds>(now - latestAt_).count();
            counters_.maxUnpainted_us = std::max(counters_.maxUnpainted_us, stood);
            if (stood > kFramePeriod_us) ++counters_.late;
        }
        latestNew_ = true;
        latestAt_ = now;
        ++counters_.presented;
    }
    lastPresent_ms_.store(NowMs(), std::memory_order_relaxed);
    // Paced: the grid's repaint clock picks the picture up. Otherwise one queued repaint request at a time;
    // further pictures before it runs ride on the same paint.
    if (paced_.load(std::memory_order_relaxed)) {
        dirty_.store(true, std::memory_order_release);
    } else if (!updatePosted_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                updatePosted_.store(false);
                update();
            },
            Qt::QueuedConnection);
    }
    return VELQ_PRESENT_OK;
}

void CDevShowDlg::SetPaced(bool paced) {
    paced_.store(paced, std::memory_order_relaxed);
}

void CDevShowDlg::RepaintIfDirty() {
    if (dirty_.exchange(false, std::memory_order_acq_rel)) update();
}

void CDevShowDlg::paintEvent(QPaintEvent*) {
    {
        std::lock_guard lock(mutex_);
        if (latestNew_) {
            std::swap(latest_, shown_);
            latestNew_ = false;
            ++counters_.painted;
            const auto waited =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - latestAt_).count();
            counters_.maxPresentToPaint_us = std::max<int64_t>(counters_.maxPresentToPaint_us, waited);
            if (waited > kFramePeriod_us) ++counters_.late;
        }
    }
    QPainter painter(this);
    if (shown_.isNull()) {
        painter.fillRect(rect(), background_);
    } else {
        painter.drawImage(rect(), shown_);
    }
    if (recordingMark_ || audioMark_) PaintMarks(painter);
}

void CDevShowDlg::PaintMarks(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    int x = width() - 16;
    const int y = 6;
    if (recordingMark_) {
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(QColor(220, 20, 20));
        painter.drawEllipse(QRect(x, y, 10, 10));
        x -= 16;
    }
    if (audioMark_) {
        // A small speaker: the box, the cone, one sound wave.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(240, 240, 240));
        painter.drawRect(QRect(x, y + 3, 3, 4));
        const QPoint cone[] = {{x + 3, y + 3}, {x + 7, y}, {x + 7, y + 10}, {x + 3, y + 7}};
        painter.drawPolygon(cone, 4);
        painter.setPen(QPen(QColor(240, 240, 240), 1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRect(x + 5, y + 1, 6, 8), -60 * 16, 120 * 16);
    }
}

void CDevShowDlg::SetMarks(bool recording, bool audio) {
    if (recording == recordingMark_ && audio == audioMark_) return;
    recordingMark_ = recording;
    audioMark_ = audio;
    update();
}

void CDevShowDlg::RefreshIfIdle() {
    if (channel && NowMs() - lastPresent_ms_.load(std::memory_order_relaxed) > kIdleAfter_ms) {
        VelqChn_Refresh(channel);
    }
}

void CDevShowDlg::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    PlaceStatus();
    RefreshIfIdle();
}

void CDevShowDlg::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    RefreshIfIdle();
}

void CDevShowDlg::PlaceStatus() {
    const int h = status_->sizeHint().height();
    status_->setGeometry(0, 0, width(), h);
}

void CDevShowDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        pressed_ = true;
        pressAt_ = e->position().toPoint();
        emit Activated(this);
    } else if (e->button() == Qt::RightButton) {
        emit Activated(this);
        emit MenuRequested(this);
    }
}

void CDevShowDlg::mouseMoveEvent(QMouseEvent* e) {
    // A press that moves drags the floating window, or the main window while docked. The move starts only
    // past the drag distance, so that clicks and double-clicks stay clicks.
    if (!pressed_ || !(e->buttons() & Qt::LeftButton)) return;
    if ((e->position().toPoint() - pressAt_).manhattanLength() < QApplication::startDragDistance()) return;
    pressed_ = false;
    if (QWindow* handle = window()->windowHandle()) handle->startSystemMove();
}

void CDevShowDlg::mouseReleaseEvent(QMouseEvent*) {
    pressed_ = false;
}

void CDevShowDlg::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    pressed_ = false;
    if (floating) {
        Dock();
    } else {
        Undock();
    }
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
    setParent(gridArea_, Qt::Widget);
    setGeometry(dockedRect.left, dockedRect.top, dockedRect.Width(), dockedRect.Height());
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
    const QSize gridSize = gridArea_ ? gridArea_->contentsRect().size() : QSize(640, 480);
    QSize size = UndockClientSize(static_cast<int>(videoWidth), static_cast<int>(videoHeight), gridSize);
    floating = true;
    setParent(nullptr, Qt::Window);
    if (QScreen* screen = gridArea_ ? gridArea_->screen() : QGuiApplication::primaryScreen()) {
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

void CDevShowDlg::ReleaseChannel() {
    if (channel) {
        VelqChn_RecordStop(channel);
        VelqChn_VideoStop(channel);
        VelqChn_Release(channel);
    }
    device = nullptr;
    channel = nullptr;
    channelItem = nullptr;
    recordingMark_ = audioMark_ = false;
    status_->hide();
    {
        std::lock_guard produce(produceMutex_);
        std::lock_guard lock(mutex_);
        latest_ = QImage();
        latestNew_ = false;
    }
    shown_ = QImage();
    update();
}

void CDevShowDlg::TransferStatus(int code, AppChannel* fromChannel) {
    if (!fromChannel || fromChannel != channel) return;
    switch (code) {
        case VELQ_EV_MEDIA_FAILED:
        case VELQ_EV_MEDIA_RECV_FAILED:
            status_->setText(AppProfile::Translate(QStringLiteral("Source NoData Received!")));
            break;
        case VELQ_EV_MEDIA_ROUTE:
            status_->setText(AppProfile::Translate(QStringLiteral("Connecting TransfServer...")));
            break;
        case VELQ_EV_MEDIA_FIRST_FRAME:
            status_->setText(AppProfile::Translate(QStringLiteral("Source Receiving...")));
            status_->hide();
            return;
        default:
            return;
    }
    PlaceStatus();
    status_->show();
}

void CDevShowDlg::SetColors(const QColor& background, const QColor& text) {
    background_ = background;
    text_ = text;
    QPalette palette = status_->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    status_->setPalette(palette);
    update();
}

QString CDevShowDlg::StatusText() const {
    return status_->text();
}
bool CDevShowDlg::StatusVisible() const {
    return !status_->isHidden();
}

bool CDevShowDlg::HasPicture() const {
    std::lock_guard lock(mutex_);
    return !shown_.isNull() || latestNew_;
}

QImage CDevShowDlg::CurrentPicture() const {
    std::lock_guard lock(mutex_);
    return latestNew_ ? latest_.copy() : shown_.copy();
}

void CDevShowDlg::ResetStats() {
    std::lock_guard lock(mutex_);
    counters_ = Counters();
}

CDevShowDlg::Counters CDevShowDlg::Stats() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

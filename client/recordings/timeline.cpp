// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/timeline.h"

#include "recordings/true_times.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace recordings {
namespace {

constexpr int kMargin = 8;

}  // namespace

double TimelinePosition(int x, int width, double duration_ms) {
    if (width <= 0 || duration_ms <= 0) return 0;
    return std::clamp(static_cast<double>(x) / width, 0.0, 1.0) * duration_ms;
}

QString TimeOfDay(const QDateTime& start, double position_ms) {
    const qint64 ms = static_cast<qint64>(std::floor(std::max(0.0, position_ms)));
    if (start.isValid()) return start.addMSecs(ms).toString(QStringLiteral("HH:mm:ss"));
    return QTime(0, 0)
        .addMSecs(static_cast<int>(ms % (24 * 3600 * 1000)))
        .toString(QStringLiteral("HH:mm:ss"));
}

QString Duration(double ms) {
    const qint64 seconds = static_cast<qint64>(std::max(0.0, ms) / 1000);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

Timeline::Timeline(QWidget* parent) : QWidget(parent) {
    // A time axis reads left to right in every language, like the clocks: in a mirrored window the bar and
    // its labels stay as they are rather than the labels alone swapping ends.
    setLayoutDirection(Qt::LeftToRight);
    setMinimumHeight(40);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void Timeline::SetRecording(const QDateTime& start, double duration_ms) {
    start_ = start;
    duration_ms_ = duration_ms;
    update();
}

void Timeline::SetPosition(double position_ms) {
    if (position_ms == position_ms_) return;
    position_ms_ = position_ms;
    update();
}

void Timeline::SetMarks(double in_ms, double out_ms) {
    in_ms_ = in_ms;
    out_ms_ = out_ms;
    update();
}

void Timeline::SetTrueTimes(const TrueTimes* times) {
    times_ = times;
    update();
}

bool Timeline::TrueAxis() const {
    return times_ && times_->valid() && times_->last_ms() > times_->first_ms();
}

int Timeline::XOfTime(int64_t unix_ms) const {
    const QRect bar = Bar();
    const double share =
        static_cast<double>(unix_ms - times_->first_ms()) / (times_->last_ms() - times_->first_ms());
    return bar.left() + static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * bar.width()));
}

std::vector<QRect> Timeline::GapRects() const {
    std::vector<QRect> rects;
    if (!TrueAxis()) return rects;
    const QRect bar = Bar();
    for (const velq::times::Gap& gap : times_->gaps())
        rects.emplace_back(QPoint(XOfTime(gap.from_ms), bar.top()), QPoint(XOfTime(gap.to_ms), bar.bottom()));
    return rects;
}

QString Timeline::LabelAt(double position_ms) const {
    return TrueAxis() ? ClockText(times_->TimeAt(position_ms)) : TimeOfDay(start_, position_ms);
}

void Timeline::SeekAt(int x) {
    const QRect bar = Bar();
    if (!TrueAxis()) {
        emit seekRequested(TimelinePosition(x - bar.left(), bar.width(), duration_ms_));
        return;
    }
    const double share = std::clamp(static_cast<double>(x - bar.left()) / bar.width(), 0.0, 1.0);
    const auto unix_ms = times_->first_ms() +
                         static_cast<int64_t>(std::llround(share * (times_->last_ms() - times_->first_ms())));
    if (const auto gap = times_->GapAt(unix_ms)) {
        emit gapEntered(gap->from_ms, gap->to_ms);
        emit seekRequested(times_->PositionAfter(*gap));
        return;
    }
    emit seekRequested(times_->PositionAt(unix_ms));
}

QSize Timeline::sizeHint() const {
    return {400, 44};
}

QRect Timeline::Bar() const {
    return QRect(kMargin, 6, std::max(1, width() - 2 * kMargin), 12);
}

int Timeline::XOf(double position_ms) const {
    const QRect bar = Bar();
    if (TrueAxis()) return XOfTime(times_->TimeAt(position_ms));
    if (duration_ms_ <= 0) return bar.left();
    return bar.left() + static_cast<int>(std::lround(position_ms / duration_ms_ * bar.width()));
}

void Timeline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect bar = Bar();
    painter.fillRect(bar, palette().color(QPalette::Mid));
    // No video: hatched, so it reads as missing rather than as another colour of the bar.
    for (const QRect& gap : GapRects()) {
        painter.fillRect(gap, QColor(90, 30, 30));
        painter.fillRect(gap, QBrush(QColor(230, 90, 90), Qt::BDiagPattern));
    }
    if (in_ms_ >= 0 || out_ms_ >= 0) {
        const int from = XOf(in_ms_ >= 0 ? in_ms_ : 0);
        const int to = XOf(out_ms_ >= 0 ? out_ms_ : duration_ms_);
        painter.fillRect(
            QRect(QPoint(std::min(from, to), bar.top()), QPoint(std::max(from, to), bar.bottom())),
            QColor(70, 130, 200));
    }
    painter.fillRect(
        QRect(QPoint(bar.left(), bar.top()), QPoint(XOf(position_ms_), bar.bottom())).adjusted(0, 4, 0, -4),
        palette().color(QPalette::Highlight));
    painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
    const int x = XOf(position_ms_);
    painter.drawLine(x, bar.top() - 3, x, bar.bottom() + 3);

    painter.setPen(palette().color(QPalette::WindowText));
    const QRect labels(bar.left(), bar.bottom() + 4, bar.width(), height() - bar.bottom() - 4);
    // Absolute: the start's time at the bar's start, whatever the painter's direction.
    painter.drawText(labels, Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignTop, LabelAt(0));
    painter.drawText(labels, Qt::AlignHCenter | Qt::AlignTop, LabelAt(position_ms_));
    painter.drawText(labels, Qt::AlignAbsolute | Qt::AlignRight | Qt::AlignTop,
                     TrueAxis() ? ClockText(times_->last_ms()) : TimeOfDay(start_, duration_ms_));
}

void Timeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    SeekAt(event->position().toPoint().x());
}

void Timeline::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    SeekAt(event->position().toPoint().x());
}

}  // namespace recordings

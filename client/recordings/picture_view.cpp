// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/picture_view.h"

#include <QPainter>

namespace recordings {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(176, 144);
}

void PictureView::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QSize fitted = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    // Only the bands beside the picture are cleared: the picture covers the rest.
    const QRegion bands = QRegion(rect()) - QRegion(target);
    for (const QRect& band : bands) painter.fillRect(band, Qt::black);
    painter.drawImage(target, picture_);
}

}  // namespace recordings

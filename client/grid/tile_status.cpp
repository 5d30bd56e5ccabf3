// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tile_status.h"

#include <QLabel>

#include "app/app_profile.h"
#include "corvel/corvel.h"

TileStatus::TileStatus(QWidget* tile) : label_(new QLabel(tile)) {
    label_->setTextFormat(Qt::PlainText);
    label_->setAutoFillBackground(true);
    label_->setContentsMargins(4, 2, 4, 2);
    label_->hide();
}

void TileStatus::Show(int code, const QSize& tile) {
    switch (code) {
        case VELQ_EV_MEDIA_FAILED:
        case VELQ_EV_MEDIA_RECV_FAILED:
            label_->setText(AppProfile::Translate(QStringLiteral("Source NoData Received!")));
            break;
        case VELQ_EV_MEDIA_ROUTE:
            label_->setText(AppProfile::Translate(QStringLiteral("Connecting TransfServer...")));
            break;
        case VELQ_EV_MEDIA_FIRST_FRAME:
            label_->setText(AppProfile::Translate(QStringLiteral("Source Receiving...")));
            label_->hide();
            return;
        default:
            return;
    }
    Place(tile);
    label_->show();
}

void TileStatus::Hide() {
    label_->hide();
}

void TileStatus::Place(const QSize& tile) {
    const int h = label_->sizeHint().height();
    label_->setGeometry(0, tile.height() - h, tile.width(), h);
}

void TileStatus::SetColors(const QColor& background, const QColor& text) {
    QPalette palette = label_->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    label_->setPalette(palette);
}

QString TileStatus::text() const {
    return label_->text();
}

bool TileStatus::visible() const {
    return !label_->isHidden();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging onto the grid: channel nodes from the tree, and tiles moved within the grid.
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTreeWidgetItem>

#include "fleet/dev_tree.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"

QMimeData* PageTab::ChannelMime(int device, int channel) {
    return DevTree::ChannelMime(device, channel);
}

QTreeWidgetItem* PageTab::DraggedNode(const QMimeData* mime) const {
    if (!mime || !mime->hasFormat(QString::fromLatin1(kChannelMime))) return nullptr;
    const QList<QByteArray> parts = mime->data(QString::fromLatin1(kChannelMime)).split(' ');
    if (parts.size() != 2) return nullptr;
    bool okDevice = false, okChannel = false;
    const int device = parts[0].toInt(&okDevice);
    const int channel = parts[1].toInt(&okChannel);
    if (!okDevice || !okChannel) return nullptr;
    return owner_->ChannelNode(device, channel);
}

QMimeData* PageTab::TileMime(int index) {
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kTileMime), QByteArray::number(index));
    return mime;
}

CDevShowDlg* PageTab::DraggedTile(const QMimeData* mime) const {
    if (!mime || !mime->hasFormat(QString::fromLatin1(kTileMime))) return nullptr;
    bool ok = false;
    const int index = mime->data(QString::fromLatin1(kTileMime)).toInt(&ok);
    if (!ok || index < 0 || index >= model_->BoundCount()) return nullptr;
    return static_cast<CDevShowDlg*>(model_->Windows()[index]);
}

void PageTab::StartTileDrag(CDevShowDlg* window) {
    const auto& all = model_->Windows();
    const auto it = std::find(all.begin(), all.end(), window);
    if (it == all.end()) return;
    auto* drag = new QDrag(window);
    drag->setMimeData(TileMime(int(it - all.begin())));
    const QImage picture = window->CurrentPicture();
    if (!picture.isNull()) drag->setPixmap(QPixmap::fromImage(picture.scaled(96, 72, Qt::KeepAspectRatio)));
    drag->exec(Qt::MoveAction);
}

void PageTab::dragEnterEvent(QDragEnterEvent* e) {
    if (DraggedNode(e->mimeData()) || DraggedTile(e->mimeData())) e->acceptProposedAction();
}

void PageTab::dragMoveEvent(QDragMoveEvent* e) {
    if (DraggedNode(e->mimeData()) || DraggedTile(e->mimeData())) e->acceptProposedAction();
}

void PageTab::dropEvent(QDropEvent* e) {
    if (CDevShowDlg* dragged = DraggedTile(e->mimeData())) {
        const QPoint at = e->position().toPoint();
        const int cells = model_->Cells();
        for (int i = 0; i < cells; ++i) {
            GridSlot* target = model_->Windows()[model_->CurrentPage() * cells + i];
            if (target->docked_rect.Contains(at.x(), at.y())) {
                if (model_->SwapWindows(dragged, target)) e->acceptProposedAction();
                break;
            }
        }
        return;
    }
    QTreeWidgetItem* node = DraggedNode(e->mimeData());
    if (!node) return;
    const QPoint at = e->position().toPoint();
    const bool onNewPage = NewPageTabRect().contains(at);
    if (model_->DropChannel(node, at.x(), at.y(), onNewPage)) e->acceptProposedAction();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/dev_tree.h"

#include <QBitmap>
#include <QDateTime>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "fleet/center_link.h"
#include "fleet/device_info.h"

namespace {

QString TimeText(uint32_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

DevTree::DevTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setAccessibleName(AppProfile::Translate(QStringLiteral("Device List")));
    setColumnCount(1);
    setUniformRowHeights(true);
    setIconSize(QSize(26, 17));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A double-click on a device node expands or collapses it (mouseDoubleClickEvent, which decides it
    // from the node under the cursor alone); Enter opens its channels.
    setExpandsOnDoubleClick(false);
    setFrameShape(QFrame::NoFrame);
    // Channel nodes are dragged into the video grid.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

void DevTree::Setup(DevTreeHost* host, const QString& skin_folder, const AppSettings& settings) {
    host_ = host;
    struct ImageFile {
        const char* name;
        QRgb mask;
    };
    const ImageFile files[] = {{"camera-4.bmp", qRgb(0, 0, 0)},      {"camera-3.bmp", qRgb(0, 0, 0)},
                               {"camera-1.bmp", qRgb(0, 0, 0)},      {"camera-2.bmp", qRgb(0, 0, 0)},
                               {"dvr-off.bmp", qRgb(255, 255, 255)}, {"dvr-on.bmp", qRgb(255, 255, 255)}};
    images_.clear();
    for (const ImageFile& file : files) {
        QPixmap pixmap(skin_folder + QLatin1String(file.name));
        if (pixmap.isNull()) continue;  // the later images move up
        pixmap.setMask(pixmap.createMaskFromColor(QColor(file.mask), Qt::MaskInColor));
        images_.push_back(QIcon(pixmap));
    }
    province_offset_ = settings.ProvinceOffset;
    expand_devices_ = settings.ExpandDevice != 0;
    QPalette p = palette();
    p.setColor(QPalette::Base, AppSettings::Color(settings.ChildBkColor));
    p.setColor(QPalette::Window, AppSettings::Color(settings.ChildBkColor));
    p.setColor(QPalette::Text, AppSettings::Color(settings.TextColor));
    setPalette(p);
}

QIcon DevTree::ImageIcon(int image) const {
    return image >= 0 && image < images_.size() ? images_[image] : QIcon();
}

void DevTree::SetNodeImage(QTreeWidgetItem* node, int image) {
    node->setIcon(0, ImageIcon(image));
}

QString DevTree::LabelFor(const QString& vehicle_id, const QStringList& provinces, int province_offset) {
    QString id = vehicle_id;
    int province = -1;
    const int at = id.indexOf(u'@');
    if (at >= 0) {
        // The decimal number after "@" (its leading digits, as the C library reads it).
        province = int(ProfileFile::ParseInt(id.mid(at + 1)).value_or(0)) - province_offset;
        id.truncate(at);
    }
    QString label;
    if (province == -1)
        label = id;
    else if (province >= 0 && province < provinces.size())
        label = provinces[province] + id;
    return label.left(32);
}

QString DevTree::GetDeviceLabel(AppDevice* device) {
    const QString label = LabelFor(DeviceText(device, VELQ_DEV_TEXT1, 32), provinces_, province_offset_);
    // An empty label would leave a blank node and name recordings "_-chn01.avi" for every such vehicle.
    return label.isEmpty() ? DeviceText(device, VELQ_DEV_ID, 64) : label;
}

const DevTreeEntry* DevTree::Entry(int index) const {
    return index >= 0 && index < entries_.size() ? &entries_[index] : nullptr;
}

DevTreeEntry* DevTree::Entry(int index) {
    return index >= 0 && index < entries_.size() ? &entries_[index] : nullptr;
}

int DevTree::AddDevice(AppDevice* device, int online_allowed) {
    const QString label = GetDeviceLabel(device);
    const int online = online_allowed != 0 && DeviceInt(device, VELQ_DEV_LAST_REPORT) != 0 ? 1 : 0;
    auto* node = new QTreeWidgetItem(QStringList{label});
    SetNodeImage(node, kDeviceOff + online);
    const int index = int(entries_.size());
    node->setData(0, Qt::UserRole, index);
    entries_.push_back({node, device, nullptr, -1});
    VelqDev_SetUserData(device, index);

    const bool cut = AddChannelNodes(node, DeviceInt(device, VELQ_DEV_CHANNELS), ImageIcon(kChannelIdle));
    addTopLevelItem(node);
    if (cut && host_) {
        host_->AddLogLine(nullptr,
                          u'[' + DeviceText(device, VELQ_DEV_ID, 64) + QStringLiteral(" - ") + label +
                              QStringLiteral("] ") +
                              AppProfile::Translate(QStringLiteral("Only the first 64 channels are shown")));
    }
    if (expand_devices_) node->setExpanded(true);
    entries_[index].online = online;
    return index;
}

bool DevTree::AddChannelNodes(QTreeWidgetItem* node, int count, const QIcon& icon) {
    const int shown = qBound(0, count, kMaxChannelNodes);
    const QString channel_word = AppProfile::Translate(QStringLiteral("Channel"));
    QList<QTreeWidgetItem*> children;
    children.reserve(shown);
    for (int i = 1; i <= shown; ++i) {
        auto* child = new QTreeWidgetItem(QStringList{channel_word + QString::asprintf("-%02d", i)});
        child->setIcon(0, icon);
        child->setData(0, Qt::UserRole, i);
        children.push_back(child);
    }
    node->addChildren(children);
    return count > kMaxChannelNodes;
}

void DevTree::SetDeviceState(int online, AppDevice* device) {
    DevTreeEntry* record = Entry(VelqDev_GetUserData(device));
    if (!record || record->device != device) return;  // not a device of this tree
    record->item->setText(0, GetDeviceLabel(device));
    if (online != record->online) {
        record->online = online;
        SetNodeImage(record->item, kDeviceOff + online);
    }
}

void DevTree::ReportAlarm(AppDevice* device, int code) {
    if (code < 8 || code > 15) return;
    const DevTreeEntry* record = Entry(VelqDev_GetUserData(device));
    if (!record || record->device != device || !host_) return;
    // The alarm words, by code - 8 (the language files carry each as a key).
    static const QString kTranslated[8] = {
        QStringLiteral("GPIO 0 Alarm"),     QStringLiteral("GPIO 1 Alarm"),    QStringLiteral("GPIO 2 Alarm"),
        QStringLiteral("GPIO 3 Alarm"),     QStringLiteral("Disk Error"),      QStringLiteral("Over Speed"),
        QStringLiteral("Reserved Alarm 6"), QStringLiteral("Reserved Alarm 7")};
    const QString id = DeviceText(device, VELQ_DEV_ID, 128);
    uint32_t when = uint32_t(DeviceInt(device, VELQ_DEV_LAST_REPORT));
    if (when == 0) when = uint32_t(QDateTime::currentSecsSinceEpoch());
    const QString text = u'[' + id + QStringLiteral(" - ") + record->item->text(0) + QStringLiteral("] ") +
                         AppProfile::Translate(kTranslated[code - 8]);
    const QString time = TimeText(when);
    host_->AddLogLine(&time, text);
}

void DevTree::SetStatesUnknown(bool unknown) {
    if (unknown == states_unknown_) return;
    states_unknown_ = unknown;
    const QBrush grey = unknown ? QBrush(UnknownColor(palette())) : QBrush();
    for (const DevTreeEntry& record : entries_) {
        if (!record.item) continue;
        record.item->setForeground(0, grey);
        for (int i = 0; i < record.item->childCount(); ++i) record.item->child(i)->setForeground(0, grey);
        SetNodeImage(record.item, kDeviceOff + record.online);
        if (unknown) {
            const QIcon icon = record.item->icon(0);
            record.item->setIcon(0, QIcon(icon.pixmap(iconSize(), QIcon::Disabled)));
        }
    }
}

void DevTree::DeleteAll() {
    states_unknown_ = false;
    entries_.clear();
    drag_item_ = nullptr;
    clear();
}

void DevTree::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    if (!host_) return;
    if (event->button() == Qt::LeftButton && node) host_->SelectDeviceNode(node);
    if (event->button() == Qt::RightButton && node) host_->ShowChannelMenu(node);
    host_->TreeClicked();
}

void DevTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    if (node && !node->parent()) node->setExpanded(!node->isExpanded());
    if (!host_ || !node) return;
    if (node->parent()) {
        host_->SelectDeviceNode(node);
        emit channelActivated(node);
    }
    host_->TreeClicked();
}

void DevTree::keyPressEvent(QKeyEvent* event) {
    QTreeWidgetItem* node = currentItem();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && node && !node->parent()) {
        emit vehicleActivated(node->data(0, Qt::UserRole).toInt());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

const DevTreeEntry* DevTree::EntryOf(const QTreeWidgetItem* node) const {
    if (!node) return nullptr;
    if (node->parent()) node = node->parent();
    return Entry(node->data(0, Qt::UserRole).toInt());
}

DevTreeEntry* DevTree::EntryOf(const QTreeWidgetItem* node) {
    return const_cast<DevTreeEntry*>(std::as_const(*this).EntryOf(node));
}

QTreeWidgetItem* DevTree::ChannelNode(int device, int channel) const {
    const DevTreeEntry* record = Entry(device);
    if (!record || !record->item) return nullptr;
    for (int i = 0; i < record->item->childCount(); ++i) {
        QTreeWidgetItem* child = record->item->child(i);
        if (child->data(0, Qt::UserRole).toInt() == channel) return child;
    }
    return nullptr;
}

QTreeWidgetItem* DevTree::FindChannelNode(const QByteArray& device_id, int channel) const {
    if (device_id.isEmpty() || channel == 0) return nullptr;
    for (int i = 0; i < entries_.size(); ++i) {
        if (DeviceBytes(entries_[i].device, VELQ_DEV_ID, 64) == device_id) return ChannelNode(i, channel);
    }
    return nullptr;
}

QMimeData* DevTree::ChannelMime(int device, int channel) {
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kChannelMime),
                  QByteArray::number(device) + ' ' + QByteArray::number(channel));
    return mime;
}

void DevTree::startDrag(Qt::DropActions) {
    QTreeWidgetItem* node = currentItem();
    if (!node || !host_) return;
    host_->SelectDeviceNode(node);
    host_->TreeClicked();
    const DevTreeEntry* record = EntryOf(node);
    if (!node->parent() || !record) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(
        ChannelMime(node->parent()->data(0, Qt::UserRole).toInt(), node->data(0, Qt::UserRole).toInt()));
    const QIcon icon = ImageIcon(record->online == 1 ? kChannelPlaying : kChannelIdle);
    if (!icon.isNull()) {
        drag->setPixmap(icon.pixmap(iconSize()));
        drag->setHotSpot(QPoint(0, -32));
    }
    drag_item_ = node;
    drag->exec(Qt::CopyAction);
    drag_item_ = nullptr;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/device_status_list.h"

#include <QBrush>
#include <QColor>

#include <QHeaderView>
#include <algorithm>

#include "app/app_profile.h"
#include "fleet/center_link.h"

int DeviceStatusModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int DeviceStatusModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant DeviceStatusModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return QVariant();
    if (role == Qt::ForegroundRole && rows_color_.isValid()) return rows_color_;
    if (role == Qt::BackgroundRole && Highlighted(index.row())) return QBrush(QColor(150, 32, 32));
    if (role != Qt::DisplayRole) return QVariant();
    return shown_[size_t(index.row())][size_t(index.column())];
}

QString DeviceStatusModel::Shown(int column, const QString& text) {
    // Figures with their units ("27.78 km/h", "2026-12-09 02:59:34") read left to right in a right-to-left
    // window too: shown inside a left-to-right embedding, the bidi rules keep them in their own order.
    if (column >= 2 && std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); }))
        return QChar(0x202A) + text + QChar(0x202C);
    return text;
}

QVariant DeviceStatusModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return headers_[size_t(section)];
    return QVariant();
}

void DeviceStatusModel::AppendRow(const QString& name) {
    const int row = int(rows_.size());
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back({name, QString(), QString(), QString()});
    shown_.push_back({name, QString(), QString(), QString()});
    endInsertRows();
}

void DeviceStatusModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= int(rows_.size()) || column < 0 || column >= kColumns) return;
    QString& cell = rows_[size_t(row)][size_t(column)];
    if (cell == text) return;
    cell = text;
    shown_[size_t(row)][size_t(column)] = Shown(column, text);
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

bool DeviceStatusModel::StoreCell(int row, int column, const QString& text) {
    if (row < 0 || row >= int(rows_.size()) || column < 0 || column >= kColumns) return false;
    QString& cell = rows_[size_t(row)][size_t(column)];
    if (cell == text) return false;
    cell = text;
    shown_[size_t(row)][size_t(column)] = Shown(column, text);
    return true;
}

void DeviceStatusModel::ReportRows(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, int(rows_.size()) - 1);
    if (first <= last) emit dataChanged(index(first, 0), index(last, kColumns - 1), {Qt::DisplayRole});
}

QString DeviceStatusModel::Cell(int row, int column) const {
    if (row < 0 || row >= int(rows_.size()) || column < 0 || column >= kColumns) return QString();
    return rows_[size_t(row)][size_t(column)];
}

void DeviceStatusModel::SetRowsColor(const QColor& color) {
    if (color == rows_color_) return;
    rows_color_ = color;
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, kColumns - 1), {Qt::ForegroundRole});
}

void DeviceStatusModel::SetHighlight(int row, bool on) {
    if (row < 0 || row >= int(rows_.size()) || Highlighted(row) == on) return;
    if (highlight_.size() < rows_.size()) highlight_.resize(rows_.size(), false);
    highlight_[size_t(row)] = on;
    emit dataChanged(index(row, 0), index(row, kColumns - 1), {Qt::BackgroundRole});
}

void DeviceStatusModel::Clear() {
    beginResetModel();
    rows_.clear();
    shown_.clear();
    highlight_.clear();
    endResetModel();
}

DeviceStatusList::DeviceStatusList(QWidget* parent) : QTreeView(parent) {
    setModel(&proxy_);
    setAccessibleName(AppProfile::Translate(QStringLiteral("Vehicle Status")));
    // No order until the operator clicks a heading: the rows stand in the order the vehicles arrived.
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    resort_.setSingleShot(true);
    resort_.setInterval(kResortIntervalMs);
    connect(&resort_, &QTimer::timeout, &proxy_, &VehicleListProxy::Resort);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { emit rowClicked(SourceRow(index)); });
    // A column widens to a new text that does not fit it (one measure per changed cell, never a pass
    // over every row); it never narrows below its first width.
    connect(&model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                if (first.column() <= proxy_.sortColumn() && proxy_.sortColumn() <= last.column() &&
                    !resort_.isActive())
                    resort_.start();
                // UpdateTime is one fixed format that its first width holds.
                if (first.row() != last.row() || first.column() != last.column() || first.column() == 3)
                    return;
                FitColumn(first.column(), model_.Cell(first.row(), first.column()));
            });
}

void DeviceStatusList::FitColumn(int column, const QString& text) {
    const int needed_px = fontMetrics().horizontalAdvance(text) + kCellPaddingPx;
    if (needed_px > columnWidth(column)) setColumnWidth(column, needed_px);
}

void DeviceStatusList::InsertColumns() {
    model_.SetHeaders({AppProfile::Translate(QStringLiteral("Vehicle Id")),
                       AppProfile::Translate(QStringLiteral("Driver")),
                       AppProfile::Translate(QStringLiteral("Speed")),
                       AppProfile::Translate(QStringLiteral("UpdateTime"))});
    emit model_.headerDataChanged(Qt::Horizontal, 0, DeviceStatusModel::kColumns - 1);
    const int widths[DeviceStatusModel::kColumns] = {84, 84, 84, 168};
    for (int i = 0; i < DeviceStatusModel::kColumns; ++i) setColumnWidth(i, widths[i]);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->setStretchLastSection(false);
}

void DeviceStatusList::SetColors(const QColor& text, const QColor& background) {
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::AlternateBase, background);
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
}

void DeviceStatusList::SetRowName(int row, const QString& name) {
    FitColumn(0, name);
    if (row == model_.rowCount())
        model_.AppendRow(name);
    else
        model_.SetCell(row, 0, name);
}

bool DeviceStatusList::StoreCell(int row, int column, const QString& text) {
    if (!model_.StoreCell(row, column, text)) return false;
    if (column != 3) FitColumn(column, text);
    return true;
}

void DeviceStatusList::SetStatesUnknown(bool unknown) {
    model_.SetRowsColor(unknown ? UnknownColor(palette()) : QColor());
}

void DeviceStatusList::SelectRow(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    const QModelIndex index = proxy_.mapFromSource(model_.index(row, 0));
    if (isRowHidden(index.row(), QModelIndex())) {
        clearSelection();
        return;
    }
    setCurrentIndex(index);
    scrollTo(index);
}

void DeviceStatusList::SetRowShown(int row, bool shown) {
    if (row < 0 || row >= model_.rowCount()) return;
    const int place = proxy_.mapFromSource(model_.index(row, 0)).row();
    if (isRowHidden(place, QModelIndex()) == !shown) return;
    setRowHidden(place, QModelIndex(), !shown);
}

bool DeviceStatusList::RowShown(int row) const {
    if (row < 0 || row >= model_.rowCount()) return false;
    return !isRowHidden(proxy_.mapFromSource(model_.index(row, 0)).row(), QModelIndex());
}

int DeviceStatusList::RowAt(int place) const {
    if (place < 0 || place >= proxy_.rowCount()) return -1;
    return SourceRow(proxy_.index(place, 0));
}

void DeviceStatusList::startDrag(Qt::DropActions) {
    // Dragging a row only selects its device; nothing is dropped anywhere.
    const QModelIndex index = currentIndex();
    if (index.isValid()) emit rowDragStarted(SourceRow(index));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/log_list.h"

#include <QScrollBar>

#include "app/app_profile.h"
#include "app/shown_text.h"

namespace {

// The line as shown: its time stamp ("[2026-12-09 17:33:28] ", digits and separators only) isolated, so
// that it keeps its order in a right-to-left layout; a bracketed device part is left as it is.
QString DisplayedLine(const QString& line) {
    const qsizetype end = line.startsWith(u'[') ? line.indexOf(u']') : -1;
    if (end < 2) return line;
    for (qsizetype i = 1; i < end; ++i) {
        const QChar c = line[i];
        if (!c.isDigit() && c != u'-' && c != u':' && c != u' ' && c != u'.' && c != u'/') return line;
    }
    return LeftToRight(line.left(end + 1)) + line.mid(end + 1);
}

}  // namespace

int LogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(lines_.size())) return QVariant();
    if (role == Qt::DisplayRole) return DisplayedLine(lines_[size_t(index.row())]);
    // Tool tips would read markup in a line (a device id from the server) as rich text: escape it.
    if (role == Qt::ToolTipRole)
        return QStringLiteral("<p style='white-space:pre'>") + lines_[size_t(index.row())].toHtmlEscaped() +
               QStringLiteral("</p>");
    if (role == Qt::SizeHintRole && item_size_.isValid()) return item_size_;
    return QVariant();
}

void LogListModel::Append(const QString& line, int max_lines) {
    while (max_lines > 0 && int(lines_.size()) >= max_lines) {
        beginRemoveRows(QModelIndex(), 0, 0);
        lines_.pop_front();
        endRemoveRows();
    }
    const int row = int(lines_.size());
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(line);
    endInsertRows();
}

LogList::LogList(QWidget* parent) : QListView(parent) {
    setModel(&model_);
    setAccessibleName(AppProfile::Translate(QStringLiteral("Log Info")));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
}

void LogList::AddLine(const QString& line) {
    // Keep following the newest line only while the operator looks at the end.
    QScrollBar* bar = verticalScrollBar();
    const bool at_end = bar->value() >= bar->maximum();
    model_.Append(line, max_lines_);
    // The lines are as wide as the longest one so far, so none is cut short of the scroll extent.
    const int width_px = fontMetrics().horizontalAdvance(line) + kLinePaddingPx;
    if (width_px > line_width_px_) {
        line_width_px_ = width_px;
        model_.SetItemSize(QSize(line_width_px_, fontMetrics().height() + 2));
        scheduleDelayedItemsLayout();
    }
    if (at_end && isVisible()) scrollToBottom();
}

void LogList::showEvent(QShowEvent* event) {
    QListView::showEvent(event);
    scrollToBottom();
}

void LogList::SetHorizontalExtent(int width_px) {
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    line_width_px_ = qMax(line_width_px_, width_px);
    model_.SetItemSize(QSize(line_width_px_, fontMetrics().height() + 2));
}

void LogList::SetColors(const QColor& text, const QColor& background) {
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
    setAutoFillBackground(true);
}

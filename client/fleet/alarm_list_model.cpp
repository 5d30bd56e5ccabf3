// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_list_model.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <limits>

#include "app/shown_text.h"

AlarmListModel::AlarmListModel(const AlarmBook& book, std::function<QString(const QString&)> translate,
                               QObject* parent)
    : QAbstractTableModel(parent), book_(book), translate_(std::move(translate)) {
    const char* const names[kColumns] = {"Start Time", "Vehicle", "Kind", "State", "Acknowledged"};
    for (int i = 0; i < kColumns; ++i) headers_[i] = translate_(QLatin1String(names[i]));
}

void AlarmListModel::OnBookChange(const AlarmEpisode& episode, AlarmBook::Change change) {
    switch (change) {
        case AlarmBook::Change::kAboutToOpen:
        case AlarmBook::Change::kAboutToDrop:
            return;
        case AlarmBook::Change::kOpened:
            ++pending_new_;
            break;
        case AlarmBook::Change::kDropped:
            // The oldest left: a shown row, unless every episode the book held was still unannounced.
            if (book_.size() < pending_new_)
                --pending_new_;
            else
                ++pending_drop_;
            break;
        case AlarmBook::Change::kCleared:
        case AlarmBook::Change::kReopened:
        case AlarmBook::Change::kAcknowledged:
            if (const int row = RowOf(episode.id); row >= 0)
                emit dataChanged(index(row, 0), index(row, kColumns - 1));
            return;
    }
    if (!flush_posted_) {
        flush_posted_ = true;
        QMetaObject::invokeMethod(this, &AlarmListModel::Flush, Qt::QueuedConnection);
    }
}

void AlarmListModel::Flush() {
    flush_posted_ = false;
    if (pending_drop_ > 0) {
        const int rows = rowCount();
        beginRemoveRows(QModelIndex(), rows - pending_drop_, rows - 1);
        pending_drop_ = 0;
        endRemoveRows();
    }
    if (pending_new_ > 0) {
        beginInsertRows(QModelIndex(), 0, pending_new_ - 1);  // the newest on top
        pending_new_ = 0;
        endInsertRows();
    }
}

const AlarmEpisode* AlarmListModel::EpisodeAt(int row) const {
    const int index = book_.size() - 1 - pending_new_ - row;
    return row >= 0 && index >= 0 && index < book_.size() ? &book_.at(index) : nullptr;
}

int AlarmListModel::RowOf(int64_t id) const {
    if (!book_.Find(id)) return -1;
    // Ids grow along the book; bisect for the index.
    int low = 0, high = book_.size() - 1;
    while (low <= high) {
        const int mid = (low + high) / 2;
        const int64_t at = book_.at(mid).id;
        if (at == id) {
            const int row = book_.size() - 1 - pending_new_ - mid;
            return row >= 0 ? row : -1;
        }
        if (at < id)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return -1;
}

int AlarmListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : book_.size() - pending_new_ + pending_drop_;
}

int AlarmListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString AlarmListModel::TimeText(int64_t seconds) {
    if (seconds == 0) return QString();
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString AlarmListModel::CellText(const AlarmEpisode& e, int column,
                                 const std::function<QString(const QString&)>& translate) {
    switch (column) {
        case kStart:
            return LeftToRight(TimeText(e.started_s));
        case kVehicle:
            return e.label + QStringLiteral(" (") + e.device_id + u')';
        case kKind:
            return AlarmKindText(e, translate);
        case kState: {
            QString state = e.active() ? translate(QStringLiteral("Active"))
                                       : translate(QStringLiteral("Cleared at")) + u' ' +
                                             LeftToRight(TimeText(e.cleared_s));
            if (e.at_login) state += QStringLiteral(", ") + translate(QStringLiteral("present at login"));
            // How often the word came on in this episode, once it flapped.
            if (e.repeats > 0) state += QStringLiteral(" (\u00d7%1)").arg(qint64(e.repeats) + 1);
            return state;
        }
        case kAcknowledged: {
            if (!e.acknowledged()) return QString();
            QString text = e.ack_user + QStringLiteral(", ") + LeftToRight(TimeText(e.ack_s));
            if (!e.ack_comment.isEmpty()) text += QStringLiteral(": ") + e.ack_comment;
            return text;
        }
    }
    return QString();
}

QVariant AlarmListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= kColumns) return QVariant();
    const AlarmEpisode* episode = EpisodeAt(index.row());
    if (!episode) return QVariant();
    const AlarmEpisode& e = *episode;
    switch (role) {
        case Qt::DisplayRole:
            // The left panel is narrow: today's times without the date, the vehicle by its label; the
            // tool tip and the history give the full texts.
            if (index.column() == kStart) {
                const QDateTime start = QDateTime::fromSecsSinceEpoch(e.started_s);
                return LeftToRight(start.date() == QDate::currentDate()
                                       ? start.toString(QStringLiteral("HH:mm:ss"))
                                       : start.toString(QStringLiteral("MM-dd HH:mm")));
            }
            if (index.column() == kVehicle && !e.label.isEmpty()) return e.label;
            return CellText(e, index.column(), translate_);
        case Qt::ToolTipRole:
            return CellText(e, index.column(), translate_);
        case kIdRole:
            return qlonglong(e.id);
        case kWordRole:
            return e.word;
        case kPendingRole:
            return !e.acknowledged();
        case kDeviceRole:
            return e.device_id;
        case kSortRole:
            switch (index.column()) {
                case kStart:
                    return qlonglong(e.started_s);
                case kState:
                    return qlonglong(e.active() ? std::numeric_limits<int64_t>::max() : e.cleared_s);
                case kAcknowledged:
                    return qlonglong(e.ack_s);
                default:
                    return CellText(e, index.column(), translate_);
            }
        case Qt::ForegroundRole:
            // Unacknowledged rows stand out; an active one most.
            if (!e.acknowledged()) return QBrush(e.active() ? QColor(255, 90, 80) : QColor(255, 190, 80));
            return QVariant();
        case Qt::FontRole:
            return QVariant();
    }
    return QVariant();
}

QVariant AlarmListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return headers_[section];
    return QVariant();
}

void AlarmFilter::SetVehicleText(const QString& text) {
    vehicle_ = text.trimmed();
    invalidateRowsFilter();
}

void AlarmFilter::SetWord(int word) {
    word_ = word;
    invalidateRowsFilter();
}

void AlarmFilter::SetUnacknowledgedOnly(bool on) {
    unacknowledged_only_ = on;
    invalidateRowsFilter();
}

bool AlarmFilter::filterAcceptsRow(int source_row, const QModelIndex&) const {
    const auto* model = qobject_cast<const AlarmListModel*>(sourceModel());
    if (!model) return true;
    const AlarmEpisode* episode = model->EpisodeAt(source_row);
    if (!episode) return false;
    const AlarmEpisode& e = *episode;
    if (word_ != 0 && e.word != word_) return false;
    if (unacknowledged_only_ && e.acknowledged()) return false;
    if (!vehicle_.isEmpty() && !e.label.contains(vehicle_, Qt::CaseInsensitive) &&
        !e.device_id.contains(vehicle_, Qt::CaseInsensitive))
        return false;
    return true;
}

bool AlarmFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(AlarmListModel::kSortRole);
    const QVariant b = right.data(AlarmListModel::kSortRole);
    int order = 0;
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString) {
        order = a.toString().compare(b.toString(), Qt::CaseInsensitive);
    } else {
        const qlonglong x = a.toLongLong(), y = b.toLongLong();
        order = x < y ? -1 : x > y ? 1 : 0;
    }
    if (order != 0) return order < 0;
    return left.data(AlarmListModel::kIdRole).toLongLong() < right.data(AlarmListModel::kIdRole).toLongLong();
}

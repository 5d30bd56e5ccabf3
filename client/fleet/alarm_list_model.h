// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm list as rows for a view: one row per episode of an AlarmBook, newest first, with the columns
// start time, vehicle, kind, state and acknowledgement; AlarmFilter narrows it to a vehicle text, a kind
// and "unacknowledged only". The model follows the book through OnBookChange(): changed rows are announced
// at once; episodes that enter or leave are announced together once the event loop comes round (Flush),
// so a burst of hundreds of alarms costs the views one insertion, not hundreds. Never reset. Texts are
// plain. UI thread only.
#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <functional>

#include "fleet/alarm_book.h"

class AlarmListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kStart = 0, kVehicle, kKind, kState, kAcknowledged, kColumns };
    static constexpr int kIdRole = Qt::UserRole + 1;       // qlonglong episode id
    static constexpr int kWordRole = Qt::UserRole + 2;     // int alarm word
    static constexpr int kPendingRole = Qt::UserRole + 3;  // bool: not yet acknowledged
    // What a column sorts by: times as seconds (an active episode's state after every cleared one), the
    // other columns by their full text.
    static constexpr int kSortRole = Qt::UserRole + 4;
    static constexpr int kDeviceRole = Qt::UserRole + 5;  // QString device id

    // `translate` turns an English text into the user's language (AppProfile::Translate in the client).
    AlarmListModel(const AlarmBook& book, std::function<QString(const QString&)> translate,
                   QObject* parent = nullptr);

    // The book's listener calls this for every change (AlarmBook::Listener).
    void OnBookChange(const AlarmEpisode& episode, AlarmBook::Change change);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Announces the episodes that entered or left the book since the last call.
    void Flush();
    // The episode of a row; null for a row whose episode left the book and is about to be removed.
    const AlarmEpisode* EpisodeAt(int row) const;
    // Row of an episode the model shows, or -1.
    int RowOf(int64_t id) const;

    // Texts of an episode's cells, shared with the history dialog and the CSV export.
    static QString TimeText(int64_t seconds);
    static QString CellText(const AlarmEpisode& episode, int column,
                            const std::function<QString(const QString&)>& translate);

  private:
    const AlarmBook& book_;
    std::function<QString(const QString&)> translate_;
    int pending_new_ = 0;   // newest episodes of the book not yet announced as rows
    int pending_drop_ = 0;  // rows at the bottom whose episodes left the book, not yet removed
    bool flush_posted_ = false;
    QString headers_[kColumns];
};

class AlarmFilter : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit AlarmFilter(QObject* parent = nullptr) : QSortFilterProxyModel(parent) {
        setSortRole(AlarmListModel::kSortRole);
    }

    // Rows whose vehicle label or device id contains `text` (any case); empty: every vehicle.
    void SetVehicleText(const QString& text);
    // Alarm word 8..15, or 0 for every kind.
    void SetWord(int word);
    void SetUnacknowledgedOnly(bool on);

  protected:
    bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
    // By kSortRole (texts in any case); equal keys by episode id, so the order never depends on where rows
    // happened to be.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    QString vehicle_;
    int word_ = 0;
    bool unacknowledged_only_ = false;
};

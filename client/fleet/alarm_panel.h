// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm list panel of the left column: filters (vehicle text, kind, unacknowledged only) over the
// episodes newest first, a comment field and the acknowledge buttons (selected rows, or every row shown),
// and the history search. It only shows the model and reports what the operator asks; AlarmDesk acts.
// The list sorts by any column (newest first at start); a row's context menu acknowledges, opens the
// vehicle's video or its history; new rows never move the rows the operator is looking at once the list is
// scrolled or under the mouse. UI thread only.
#include <QList>
#include <QPersistentModelIndex>
#include <QWidget>
#include <functional>

#include "fleet/alarm_list_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeView;

class AlarmPanel : public QWidget {
    Q_OBJECT
  public:
    AlarmPanel(AlarmListModel* model, const std::function<QString(const QString&)>& translate,
               QWidget* parent = nullptr);

    void SetColors(const QColor& text, const QColor& background);
    // A line about the alarm history (writes failing, read-only, ...) shown above the buttons as plain
    // text; empty hides it.
    void SetHistoryStatus(const QString& text);

    // Ids of the selected rows, and of every row the filters show.
    QList<int64_t> SelectedIds() const;
    QList<int64_t> ShownIds() const;

    QTreeView* view() const { return view_; }
    AlarmFilter* filter() const { return filter_; }
    QLineEdit* vehicleEdit() const { return vehicle_; }
    QComboBox* kindBox() const { return kind_; }
    QCheckBox* unacknowledgedOnly() const { return unacked_only_; }
    QLineEdit* commentEdit() const { return comment_; }
    QPushButton* acknowledgeButton() const { return ack_selected_; }
    QPushButton* acknowledgeAllButton() const { return ack_all_; }
    QPushButton* historyButton() const { return history_; }
    QLabel* historyStatus() const { return history_status_; }

    // The context menu of the row at `index` (a view index), its actions wired to the signals below; the
    // caller owns it. The row is selected first unless it already is.
    QMenu* RowMenu(const QModelIndex& index);

  signals:
    // The operator acknowledges these episodes with this comment (may be empty); the comment field
    // empties afterwards.
    void acknowledgeRequested(const QList<int64_t>& ids, const QString& comment);
    // A row was double-clicked.
    void episodeActivated(int64_t id);
    void historyRequested();
    // The history of one vehicle (its device id), from a row's context menu.
    void vehicleHistoryRequested(const QString& device_id);

  private:
    void Acknowledge(const QList<int64_t>& ids);
    void SetUpView(const std::function<QString(const QString&)>& translate);
    // Around rows entering or the order changing: the row at the top of the viewport stays where it is
    // while the list is scrolled down or the mouse is over it.
    void RememberTopRow();
    void RestoreTopRow();
    // "Acknowledge All Shown": the shown rows may be thousands, so the operator confirms their count first.
    void AcknowledgeAllShown();

    AlarmFilter* filter_;
    QTreeView* view_;
    QLineEdit* vehicle_;
    QComboBox* kind_;
    QCheckBox* unacked_only_;
    QLineEdit* comment_;
    QPushButton* ack_selected_;
    QPushButton* ack_all_;
    QPushButton* history_;
    QLabel* history_status_;
    std::function<QString(const QString&)> translate_;
    QPersistentModelIndex top_row_;
    int top_offset_px_ = 0;
    QString ask_all_;  // the question of AcknowledgeAllShown, translated, with %1 for the count
};

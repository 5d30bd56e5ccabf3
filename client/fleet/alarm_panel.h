// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm list panel of the left column: filters (vehicle text, kind, unacknowledged only) over the
// episodes newest first, a comment field and the acknowledge buttons (selected rows, or every row shown),
// and the history search. It only shows the model and reports what the operator asks; AlarmDesk acts.
// UI thread only.
#include <QList>
#include <QWidget>
#include <functional>

#include "fleet/alarm_list_model.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeView;

class AlarmPanel : public QWidget {
    Q_OBJECT
  public:
    AlarmPanel(AlarmListModel* model, const std::function<QString(const QString&)>& translate,
               QWidget* parent = nullptr);

    void SetColors(const QColor& text, const QColor& background);

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

  signals:
    // The operator acknowledges these episodes with this comment (may be empty); the comment field
    // empties afterwards.
    void acknowledgeRequested(const QList<int64_t>& ids, const QString& comment);
    // A row was double-clicked.
    void episodeActivated(int64_t id);
    void historyRequested();

  private:
    void Acknowledge(const QList<int64_t>& ids);
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
    QString ask_all_;  // the question of AcknowledgeAllShown, translated, with %1 for the count
};

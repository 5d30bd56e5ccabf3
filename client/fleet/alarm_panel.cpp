// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Rows the short columns are measured on (those in view and as many around them).
constexpr int kColumnSampleRows = 200;
constexpr int kMinColumnWidthPx = 40;

}  // namespace

AlarmPanel::AlarmPanel(AlarmListModel* model, const std::function<QString(const QString&)>& translate,
                       QWidget* parent)
    : QWidget(parent) {
    filter_ = new AlarmFilter(this);
    filter_->setSourceModel(model);

    vehicle_ = new QLineEdit(this);
    vehicle_->setPlaceholderText(translate(QStringLiteral("Vehicle")));
    // A placeholder is not read out as the field's name.
    vehicle_->setAccessibleName(vehicle_->placeholderText());
    vehicle_->setClearButtonEnabled(true);
    kind_ = new QComboBox(this);
    kind_->addItem(translate(QStringLiteral("All Kinds")), 0);
    for (int word = kFirstAlarmWord; word <= kLastAlarmWord; ++word)
        kind_->addItem(translate(AlarmWordText(word)).remove(QLatin1String("%1")).trimmed(), word);
    unacked_only_ = new QCheckBox(translate(QStringLiteral("Unacknowledged only")), this);

    view_ = new QTreeView(this);
    view_->setAccessibleName(translate(QStringLiteral("Alarm List")));
    SetUpView(translate);

    comment_ = new QLineEdit(this);
    comment_->setPlaceholderText(translate(QStringLiteral("Comment")));
    comment_->setAccessibleName(comment_->placeholderText());
    comment_->setMaxLength(200);
    ack_selected_ = new QPushButton(translate(QStringLiteral("Acknowledge")), this);
    ack_all_ = new QPushButton(translate(QStringLiteral("Acknowledge All Shown")), this);
    history_ = new QPushButton(translate(QStringLiteral("History...")), this);
    history_status_ = new QLabel(this);
    history_status_->setTextFormat(Qt::PlainText);  // carries file names and SQLite's texts
    history_status_->setWordWrap(true);
    history_status_->hide();
    ask_all_ = translate(QStringLiteral("Acknowledge %1 alarms?"));

    auto* filters = new QGridLayout;
    filters->setContentsMargins(0, 0, 0, 0);
    filters->addWidget(vehicle_, 0, 0);
    filters->addWidget(kind_, 0, 1);
    filters->addWidget(unacked_only_, 1, 0, 1, 2);
    auto* actions = new QGridLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->addWidget(comment_, 0, 0, 1, 2);
    actions->addWidget(ack_selected_, 1, 0);
    actions->addWidget(ack_all_, 1, 1);
    actions->addWidget(history_, 2, 0, 1, 2);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    column->addLayout(filters);
    column->addWidget(view_, 1);
    column->addWidget(history_status_);
    column->addLayout(actions);

    connect(vehicle_, &QLineEdit::textChanged, filter_, &AlarmFilter::SetVehicleText);
    connect(kind_, &QComboBox::currentIndexChanged, this,
            [this](int index) { filter_->SetWord(kind_->itemData(index).toInt()); });
    connect(unacked_only_, &QCheckBox::toggled, filter_, &AlarmFilter::SetUnacknowledgedOnly);
    connect(ack_selected_, &QPushButton::clicked, this, [this] { Acknowledge(SelectedIds()); });
    connect(ack_all_, &QPushButton::clicked, this, &AlarmPanel::AcknowledgeAllShown);
    connect(history_, &QPushButton::clicked, this, &AlarmPanel::historyRequested);
    connect(view_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        emit episodeActivated(index.data(AlarmListModel::kIdRole).toLongLong());
    });
}

void AlarmPanel::SetUpView(const std::function<QString(const QString&)>& translate) {
    translate_ = translate;
    view_->setModel(filter_);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Pixels, so that a kept row keeps its exact place (rows are of one height: the offset is exact).
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* header = view_->header();
    header->setStretchLastSection(true);
    // The short columns take the width of what they show (judged on the rows near the view, so that a
    // long list costs no more than a screenful); the acknowledgement takes the rest and scrolls.
    header->setResizeContentsPrecision(kColumnSampleRows);
    for (int column = 0; column < AlarmListModel::kAcknowledged; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    header->setMinimumSectionSize(kMinColumnWidthPx);
    view_->setSortingEnabled(true);
    view_->sortByColumn(AlarmListModel::kStart, Qt::DescendingOrder);

    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = view_->indexAt(at);
        if (!index.isValid()) return;
        QMenu* menu = RowMenu(index);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(view_->viewport()->mapToGlobal(at));
    });

    connect(filter_, &QAbstractItemModel::rowsAboutToBeInserted, this, &AlarmPanel::RememberTopRow);
    connect(filter_, &QAbstractItemModel::rowsInserted, this, &AlarmPanel::RestoreTopRow);
    connect(filter_, &QAbstractItemModel::layoutAboutToBeChanged, this, &AlarmPanel::RememberTopRow);
    connect(filter_, &QAbstractItemModel::layoutChanged, this, &AlarmPanel::RestoreTopRow);
}

void AlarmPanel::RememberTopRow() {
    top_row_ = QPersistentModelIndex();
    const bool scrolled = view_->verticalScrollBar()->value() > 0;
    if (!scrolled && !view_->viewport()->underMouse()) return;  // at the top, the newest come into sight
    const QModelIndex top = view_->indexAt(QPoint(0, 0));
    if (!top.isValid()) return;
    top_row_ = top;
    top_offset_px_ = view_->visualRect(top).top();
}

void AlarmPanel::RestoreTopRow() {
    if (!top_row_.isValid()) return;
    const QModelIndex top = top_row_;
    top_row_ = QPersistentModelIndex();
    view_->scrollTo(top, QAbstractItemView::PositionAtTop);
    QScrollBar* bar = view_->verticalScrollBar();
    bar->setValue(bar->value() - top_offset_px_);
}

QMenu* AlarmPanel::RowMenu(const QModelIndex& index) {
    const QModelIndex row = index.siblingAtColumn(0);
    if (!view_->selectionModel()->isRowSelected(row.row(), row.parent()))
        view_->selectionModel()->setCurrentIndex(
            row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const int64_t id = row.data(AlarmListModel::kIdRole).toLongLong();
    const QString device_id = row.data(AlarmListModel::kDeviceRole).toString();
    auto* menu = new QMenu(view_);
    QAction* acknowledge = menu->addAction(translate_(QStringLiteral("Acknowledge")));
    bool pending = false;
    for (const QModelIndex& selected : view_->selectionModel()->selectedRows())
        pending = pending || selected.data(AlarmListModel::kPendingRole).toBool();
    acknowledge->setEnabled(pending);
    connect(acknowledge, &QAction::triggered, this, [this] { Acknowledge(SelectedIds()); });
    QAction* video = menu->addAction(translate_(QStringLiteral("Open Video")));
    connect(video, &QAction::triggered, this, [this, id] { emit episodeActivated(id); });
    QAction* history = menu->addAction(translate_(QStringLiteral("History...")));
    history->setEnabled(!device_id.isEmpty());
    connect(history, &QAction::triggered, this,
            [this, device_id] { emit vehicleHistoryRequested(device_id); });
    return menu;
}

void AlarmPanel::SetColors(const QColor& text, const QColor& background) {
    QPalette palette = view_->palette();
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    view_->setPalette(palette);
    QPalette own = this->palette();
    own.setColor(QPalette::WindowText, text);
    own.setColor(QPalette::Window, background);
    setPalette(own);
    setAutoFillBackground(true);
}

void AlarmPanel::SetHistoryStatus(const QString& text) {
    history_status_->setText(text);
    history_status_->setVisible(!text.isEmpty());
}

QList<int64_t> AlarmPanel::SelectedIds() const {
    QList<int64_t> ids;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        ids.append(index.data(AlarmListModel::kIdRole).toLongLong());
    return ids;
}

QList<int64_t> AlarmPanel::ShownIds() const {
    QList<int64_t> ids;
    ids.reserve(filter_->rowCount());
    for (int row = 0; row < filter_->rowCount(); ++row)
        ids.append(filter_->index(row, 0).data(AlarmListModel::kIdRole).toLongLong());
    return ids;
}

void AlarmPanel::AcknowledgeAllShown() {
    const QList<int64_t> ids = ShownIds();
    if (ids.isEmpty()) return;
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Question, window()->windowTitle(), ask_all_.arg(ids.size()),
                        QMessageBox::Yes | QMessageBox::No, this);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::No);  // Enter alone never acknowledges them all
    const int answer = box->exec();
    // The panel goes with the window when the program is told to end while the box is up.
    if (!box) return;
    delete box;
    if (answer == QMessageBox::Yes) Acknowledge(ids);
}

void AlarmPanel::Acknowledge(const QList<int64_t>& ids) {
    if (ids.isEmpty()) return;
    emit acknowledgeRequested(ids, comment_->text().trimmed());
    comment_->clear();
}

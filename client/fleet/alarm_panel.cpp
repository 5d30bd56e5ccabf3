// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

AlarmPanel::AlarmPanel(AlarmListModel* model, const std::function<QString(const QString&)>& translate,
                       QWidget* parent)
    : QWidget(parent) {
    filter_ = new AlarmFilter(this);
    filter_->setSourceModel(model);

    vehicle_ = new QLineEdit(this);
    vehicle_->setPlaceholderText(translate(QStringLiteral("Vehicle")));
    vehicle_->setClearButtonEnabled(true);
    kind_ = new QComboBox(this);
    kind_->addItem(translate(QStringLiteral("All Kinds")), 0);
    for (int word = 8; word <= 15; ++word) kind_->addItem(translate(AlarmWordText(word)), word);
    unacked_only_ = new QCheckBox(translate(QStringLiteral("Unacknowledged only")), this);

    view_ = new QTreeView(this);
    view_->setModel(filter_);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->header()->setStretchLastSection(true);
    const int widths[AlarmListModel::kColumns] = {62, 70, 84, 150, 200};
    for (int i = 0; i < AlarmListModel::kColumns; ++i) view_->setColumnWidth(i, widths[i]);

    comment_ = new QLineEdit(this);
    comment_->setPlaceholderText(translate(QStringLiteral("Comment")));
    comment_->setMaxLength(200);
    ack_selected_ = new QPushButton(translate(QStringLiteral("Acknowledge")), this);
    ack_all_ = new QPushButton(translate(QStringLiteral("Acknowledge All Shown")), this);
    history_ = new QPushButton(translate(QStringLiteral("History...")), this);
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

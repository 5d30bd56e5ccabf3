// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_history_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "fleet/alarm_list_model.h"
#include "fleet/alarm_store.h"

namespace {

QByteArray CsvField(QString text) {
    text.remove(QChar(u'\0'));  // NULs end a text early in some readers and hide what follows
    // Spreadsheets run a field as a formula when it starts with one of =+-@ (also after blanks, which they
    // trim) or with a tab or carriage return; an apostrophe in front makes it text.
    qsizetype first = 0;
    while (first < text.size() && (text[first] == u' ' || text[first] == u'\t')) ++first;
    const bool control_first = !text.isEmpty() && (text.front() == u'\t' || text.front() == u'\r');
    if (control_first || (first < text.size() && QStringLiteral("=+-@").contains(text[first])))
        text.prepend(u'\'');
    // ';' too: spreadsheets in many languages split on it.
    static const QString kQuoted = QStringLiteral("\",;\n\r'");
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return kQuoted.contains(c); })) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        text = u'"' + text + u'"';
    }
    return text.toUtf8();
}

}  // namespace

QByteArray AlarmCsv(const QList<AlarmEpisode>& episodes,
                    const std::function<QString(const QString&)>& translate) {
    const char* const headings[] = {
        "Start Time", "Vehicle",         "Device Id",         "Kind",    "State", "Cleared Time",
        "At Login",   "Acknowledged By", "Acknowledged Time", "Comment", "Count"};
    QByteArray csv;
    for (size_t i = 0; i < std::size(headings); ++i) {
        if (i) csv += ',';
        csv += CsvField(translate(QLatin1String(headings[i])));
    }
    csv += "\r\n";
    for (const AlarmEpisode& e : episodes) {
        const QString fields[] = {
            AlarmListModel::TimeText(e.started_s),
            e.label,
            e.device_id,
            AlarmKindText(e, translate),
            translate(e.active() ? QStringLiteral("Active") : QStringLiteral("Cleared")),
            AlarmListModel::TimeText(e.cleared_s),
            e.at_login ? QStringLiteral("1") : QStringLiteral("0"),
            e.ack_user,
            AlarmListModel::TimeText(e.ack_s),
            e.ack_comment,
            QString::number(qint64(e.repeats) + 1)};
        for (size_t i = 0; i < std::size(fields); ++i) {
            if (i) csv += ',';
            csv += CsvField(fields[i]);
        }
        csv += "\r\n";
    }
    return csv;
}

AlarmHistoryDlg::AlarmHistoryDlg(QString database_path, std::function<QString(const QString&)> translate,
                                 QWidget* parent)
    : QDialog(parent), path_(std::move(database_path)), translate_(std::move(translate)) {
    setWindowTitle(translate_(QStringLiteral("Alarm History")));
    vehicle_ = new QLineEdit(this);
    vehicle_->setClearButtonEnabled(true);
    kind_ = new QComboBox(this);
    kind_->addItem(translate_(QStringLiteral("All Kinds")), 0);
    for (int word = kFirstAlarmWord; word <= kLastAlarmWord; ++word)
        kind_->addItem(translate_(AlarmWordText(word)).remove(QLatin1String("%1")).trimmed(), word);
    const QDateTime now = QDateTime::currentDateTime();
    use_from_ = new QCheckBox(translate_(QStringLiteral("From")), this);
    from_ = new QDateTimeEdit(now.addDays(-1), this);
    use_to_ = new QCheckBox(translate_(QStringLiteral("To")), this);
    to_ = new QDateTimeEdit(now, this);
    // The check box before each field says what it is.
    from_->setAccessibleName(use_from_->text());
    to_->setAccessibleName(use_to_->text());
    for (QDateTimeEdit* edit : {from_, to_}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
    }
    auto* search = new QPushButton(translate_(QStringLiteral("Search")), this);
    search->setDefault(true);
    auto* export_csv = new QPushButton(translate_(QStringLiteral("Export CSV...")), this);
    auto* close = new QPushButton(translate_(QStringLiteral("Close")), this);
    results_ = new QTreeWidget(this);
    results_->setRootIsDecorated(false);
    results_->setAccessibleName(translate_(QStringLiteral("Alarm History")));
    results_->setUniformRowHeights(true);
    QStringList headings;
    const char* const names[] = {"Start Time", "Vehicle", "Kind", "State", "Acknowledged"};
    for (const char* name : names) headings << translate_(QLatin1String(name));
    results_->setHeaderLabels(headings);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);

    auto* form = new QFormLayout;
    form->addRow(translate_(QStringLiteral("Vehicle")), vehicle_);
    form->addRow(translate_(QStringLiteral("Kind")), kind_);
    auto* range = new QHBoxLayout;
    range->addWidget(use_from_);
    range->addWidget(from_);
    range->addWidget(use_to_);
    range->addWidget(to_);
    form->addRow(range);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(search);
    buttons->addWidget(export_csv);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(results_, 1);
    column->addLayout(buttons);
    resize(760, 480);

    connect(search, &QPushButton::clicked, this, &AlarmHistoryDlg::Search);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(export_csv, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, translate_(QStringLiteral("Export CSV...")),
                                         QStringLiteral("alarms.csv"), QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty()) ExportTo(path);
    });
}

AlarmHistoryDlg::~AlarmHistoryDlg() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void AlarmHistoryDlg::SetBeforeSearch(std::function<void()> before) {
    std::lock_guard lock(mutex_);
    before_search_ = std::move(before);
}

void AlarmHistoryDlg::Search() {
    AlarmQuery query;
    query.vehicle = vehicle_->text().trimmed();
    query.word = kind_->currentData().toInt();
    if (use_from_->isChecked()) query.from_s = from_->dateTime().toSecsSinceEpoch();
    if (use_to_->isChecked()) query.to_s = to_->dateTime().toSecsSinceEpoch();
    {
        std::lock_guard lock(mutex_);
        request_ = query;
        request_generation_ = ++generation_;
        if (!worker_.joinable()) worker_ = std::thread([this] { RunSearches(); });
    }
    wake_.notify_all();
    searching_ = true;
    status_->setText(translate_(QStringLiteral("Searching...")));
}

void AlarmHistoryDlg::RunSearches() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || request_.has_value(); });
        if (stop_) return;
        const AlarmQuery query = *request_;
        const uint64_t generation = request_generation_;
        request_.reset();
        const std::function<void()> before = before_search_;
        lock.unlock();
        if (before) before();
        const QList<AlarmEpisode> found = AlarmStore::Search(path_, query);
        lock.lock();
        // A newer search is waiting: these results would only flash by.
        if (request_.has_value() || stop_) continue;
        QMetaObject::invokeMethod(
            this, [this, generation, found] { ShowResults(generation, found); }, Qt::QueuedConnection);
    }
}

void AlarmHistoryDlg::ShowResults(uint64_t generation, const QList<AlarmEpisode>& found) {
    if (generation != generation_) return;  // superseded meanwhile
    searching_ = false;
    shown_ = found;
    results_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(shown_.size());
    for (const AlarmEpisode& e : shown_) {
        QStringList cells;
        for (int column = 0; column < AlarmListModel::kColumns; ++column)
            cells << AlarmListModel::CellText(e, column, translate_);
        items.append(new QTreeWidgetItem(cells));
    }
    results_->addTopLevelItems(items);
    for (int column = 0; column < AlarmListModel::kColumns - 1; ++column)
        results_->resizeColumnToContents(column);
    status_->setText(QString::number(shown_.size()) + u' ' + translate_(QStringLiteral("alarms found")));
    emit searchFinished();
}

bool AlarmHistoryDlg::ExportTo(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AlarmCsv(shown_, translate_)) < 0 || !file.commit()) {
        status_->setText(translate_(QStringLiteral("Export failed")) + QStringLiteral(": ") +
                         file.errorString());
        return false;
    }
    status_->setText(translate_(QStringLiteral("Exported")) + QStringLiteral(": ") + path);
    return true;
}

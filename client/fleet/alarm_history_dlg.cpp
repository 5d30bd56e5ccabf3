// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_history_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFileInfo>
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

QString AlarmRecordText(const AlarmEpisode& e, const std::function<QString(const QString&)>& translate) {
    const std::pair<const char*, QString> fields[] = {
        {"Vehicle", e.label},
        {"Device Id", e.device_id},
        {"Kind", AlarmKindText(e, translate)},
        {"Start Time", AlarmListModel::TimeText(e.started_s)},
        {"State", translate(e.active() ? QStringLiteral("Active") : QStringLiteral("Cleared"))},
        {"Cleared Time", AlarmListModel::TimeText(e.cleared_s)},
        {"Acknowledged By", e.ack_user},
        {"Acknowledged Time", AlarmListModel::TimeText(e.ack_s)},
        {"Comment", e.ack_comment},
        {"Count", QString::number(qint64(e.repeats) + 1)}};
    QString text;
    for (const auto& [name, value] : fields)
        text += translate(QLatin1String(name)) + QStringLiteral(": ") + value + u'\n';
    return text;
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
    recordings_ = new QTreeWidget(this);
    recordings_->setRootIsDecorated(false);
    recordings_->setHeaderLabels({translate_(QStringLiteral("Channel")), translate_(QStringLiteral("From")),
                                  translate_(QStringLiteral("To")), translate_(QStringLiteral("Recording"))});
    recordings_->setMaximumHeight(140);
    play_ = new QPushButton(translate_(QStringLiteral("Play")), this);
    play_->setEnabled(false);
    recordings_status_ = new QLabel(this);
    recordings_status_->setTextFormat(Qt::PlainText);

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
    auto* covering = new QHBoxLayout;
    auto* covering_label = new QLabel(translate_(QStringLiteral("Recordings of the alarm")), this);
    // The heading names the list for screen readers too (an item view does not take its name from a
    // buddy label).
    recordings_->setAccessibleName(covering_label->text());
    covering->addWidget(covering_label);
    covering->addWidget(recordings_status_, 1);
    covering->addWidget(play_);
    column->addLayout(covering);
    column->addWidget(recordings_);
    column->addLayout(buttons);
    resize(760, 600);

    connect(search, &QPushButton::clicked, this, &AlarmHistoryDlg::Search);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(results_, &QTreeWidget::currentItemChanged, this, &AlarmHistoryDlg::LookUpRecordings);
    connect(recordings_, &QTreeWidget::currentItemChanged, this,
            [this] { play_->setEnabled(recordings_->currentItem() != nullptr); });
    connect(recordings_, &QTreeWidget::itemActivated, this, &AlarmHistoryDlg::PlaySelected);
    connect(play_, &QPushButton::clicked, this, &AlarmHistoryDlg::PlaySelected);
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

void AlarmHistoryDlg::SetRecordingsLookup(RecordingsLookup lookup) {
    std::lock_guard lock(mutex_);
    lookup_ = std::move(lookup);
}

void AlarmHistoryDlg::LookUpRecordings() {
    recordings_->clear();
    covering_.clear();
    covered_episode_.reset();
    play_->setEnabled(false);
    const int row = results_->indexOfTopLevelItem(results_->currentItem());
    ++lookup_generation_;
    if (row < 0 || row >= shown_.size()) {
        recordings_status_->clear();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (!lookup_) return;
        lookup_request_ = shown_[row];
        lookup_request_generation_ = lookup_generation_;
        if (!worker_.joinable()) worker_ = std::thread([this] { RunSearches(); });
    }
    wake_.notify_all();
    recordings_status_->setText(translate_(QStringLiteral("Searching...")));
}

void AlarmHistoryDlg::ShowRecordings(uint64_t generation, const EpisodeRecordings& found) {
    if (generation != lookup_generation_) return;  // another episode was chosen meanwhile
    const int row = results_->indexOfTopLevelItem(results_->currentItem());
    if (row < 0 || row >= shown_.size()) return;
    covered_episode_ = shown_[row];
    covering_ = found.recordings;
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    for (const EpisodeRecording& recording : covering_) {
        recordings_->addTopLevelItem(
            new QTreeWidgetItem({QString::number(recording.channel), recording.first.toString(format),
                                 recording.last.toString(format), QFileInfo(recording.path).fileName()}));
    }
    for (int column = 0; column < 3; ++column) recordings_->resizeColumnToContents(column);
    if (!covering_.isEmpty()) recordings_->setCurrentItem(recordings_->topLevelItem(0));
    // The list itself shows what was found; only its absence and a capped search are worth words.
    QString text =
        covering_.isEmpty() ? translate_(QStringLiteral("No recording covers this alarm")) : QString();
    if (found.capped)
        text += QStringLiteral(" (") + translate_(QStringLiteral("not all files were read")) + u')';
    recordings_status_->setText(text.trimmed());
    emit recordingsShown();
}

void AlarmHistoryDlg::PlaySelected() {
    const int row = recordings_->indexOfTopLevelItem(recordings_->currentItem());
    if (!covered_episode_ || row < 0 || row >= covering_.size()) return;
    emit playRequested(*covered_episode_, covering_[row].path);
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
        wake_.wait(lock, [&] { return stop_ || request_.has_value() || lookup_request_.has_value(); });
        if (stop_) return;
        if (lookup_request_.has_value()) {
            const AlarmEpisode episode = *lookup_request_;
            const uint64_t generation = lookup_request_generation_;
            lookup_request_.reset();
            const RecordingsLookup lookup = lookup_;
            lock.unlock();
            const EpisodeRecordings found = lookup(episode);
            lock.lock();
            if (stop_) return;
            QMetaObject::invokeMethod(
                this, [this, generation, found] { ShowRecordings(generation, found); }, Qt::QueuedConnection);
            continue;
        }
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
    LookUpRecordings();  // the episode whose recordings were listed may be gone
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

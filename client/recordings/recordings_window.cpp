// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/recordings_window.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "app/shown_text.h"
#include "recordings/regular_file.h"
#include "recordings/timeline.h"

namespace recordings {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr QSize kThumbnailSize(160, 120);
// Thumbnails are read on the UI thread: only this many of the newest are shown.
constexpr int kMaximumThumbnails = 200;
// A snapshot bigger than this is shown without its thumbnail (a BMP of 4K is 25 MB).
constexpr qint64 kMaximumThumbnailSourceBytes = 64 * 1024 * 1024;

QString Length(double ms, const TranslateText& translate) {
    if (ms == RecordingsIndex::kNotProbed) return translate(QStringLiteral("reading..."));
    return ms < 0 ? translate(QStringLiteral("unreadable")) : Duration(ms);
}

// The snapshot's picture made small; a null image for anything that is not a readable picture. The file is
// opened as a regular file only, so that a FIFO put there since the listing cannot block the window.
QImage Thumbnail(const QString& path) {
    RegularFile file;
    QByteArray data;
    if (!file.Open(path, nullptr) || !file.ReadAll(kMaximumThumbnailSourceBytes, &data)) return QImage();
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid()) reader.setScaledSize(size.scaled(kThumbnailSize, Qt::KeepAspectRatio));
    return reader.read();
}

}  // namespace

RecordingsWindow::RecordingsWindow(RecordingsIndex& index, OpenRecording open_recording,
                                   TranslateText translate, QWidget* parent)
    : QWidget(parent, Qt::Window),
      index_(index),
      open_recording_(std::move(open_recording)),
      translate_(std::move(translate)) {
    setWindowTitle(translate_(QStringLiteral("Recordings")));
    vehicle_ = new QComboBox(this);
    use_date_ = new QCheckBox(translate_(QStringLiteral("Date")), this);
    date_ = new QDateEdit(QDate::currentDate(), this);
    date_->setCalendarPopup(true);
    date_->setEnabled(false);
    // The check box before the field says what it is.
    date_->setAccessibleName(use_date_->text());
    auto* add_folder = new QPushButton(translate_(QStringLiteral("Add Folder...")), this);
    auto* refresh = new QPushButton(translate_(QStringLiteral("Refresh")), this);
    list_ = new QTreeWidget(this);
    list_->setHeaderLabels({translate_(QStringLiteral("Recording")), translate_(QStringLiteral("Start")),
                            translate_(QStringLiteral("Length")), translate_(QStringLiteral("Size"))});
    list_->setUniformRowHeights(true);
    list_->setAccessibleName(windowTitle());
    list_->setRootIsDecorated(true);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    snapshots_ = new QListWidget(this);
    snapshots_->setViewMode(QListView::IconMode);
    snapshots_->setAccessibleName(translate_(QStringLiteral("Snapshots")));
    snapshots_->setIconSize(kThumbnailSize);
    snapshots_->setResizeMode(QListView::Adjust);
    snapshots_->setMovement(QListView::Static);
    snapshots_->setUniformItemSizes(true);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(translate_(QStringLiteral("Vehicle")), this));
    filters->addWidget(vehicle_);
    filters->addWidget(use_date_);
    filters->addWidget(date_);
    filters->addStretch();
    filters->addWidget(add_folder);
    filters->addWidget(refresh);
    auto* split = new QSplitter(this);
    split->addWidget(list_);
    split->addWidget(snapshots_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({640, 340});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);

    connect(vehicle_, &QComboBox::currentIndexChanged, this, [this] { Fill(); });
    connect(use_date_, &QCheckBox::toggled, this, [this](bool on) {
        date_->setEnabled(on);
        Fill();
    });
    connect(date_, &QDateEdit::dateChanged, this, [this] { Fill(); });
    connect(add_folder, &QPushButton::clicked, this, &RecordingsWindow::AddFolder);
    connect(refresh, &QPushButton::clicked, this, &RecordingsWindow::Refresh);
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(0, kPathRole).toString();
        if (!path.isEmpty() && open_recording_) open_recording_(path);
    });
    resize(1000, 560);
    Refresh();
}

RecordingsWindow::~RecordingsWindow() {
    StopProbes();
}

void RecordingsWindow::Refresh() {
    StopProbes();
    index_.List();
    const QString chosen = vehicle_->currentData().toString();
    filling_ = true;
    vehicle_->clear();
    vehicle_->addItem(translate_(QStringLiteral("All")), QString());
    for (const QString& vehicle : index_.Vehicles()) vehicle_->addItem(vehicle, vehicle);
    vehicle_->setCurrentIndex(std::max(0, vehicle_->findData(chosen)));
    filling_ = false;
    Fill();
    StartProbes();
}

void RecordingsWindow::StartProbes() {
    const QStringList paths = index_.Unprobed();
    if (paths.isEmpty()) {
        emit lengthsRead();
        return;
    }
    probes_ = new QFutureWatcher<Probed>(this);
    connect(probes_, &QFutureWatcher<Probed>::resultReadyAt, this, &RecordingsWindow::OnProbed);
    connect(probes_, &QFutureWatcher<Probed>::finished, this, [this] {
        probes_->deleteLater();
        probes_ = nullptr;
        emit lengthsRead();
    });
    // The worker gets copies only: the window and the index may be gone before it ends.
    probes_->setFuture(QtConcurrent::run([probe = index_.probe(), paths](QPromise<Probed>& promise) {
        for (const QString& path : paths) {
            if (promise.isCanceled()) return;
            promise.addResult(Probed{path, probe ? probe(path) : -1});
        }
    }));
}

void RecordingsWindow::StopProbes() {
    if (probes_ == nullptr) return;
    probes_->disconnect(this);
    probes_->cancel();
    delete probes_;
    probes_ = nullptr;
}

void RecordingsWindow::OnProbed(int result_index) {
    const Probed probed = probes_->resultAt(result_index);
    if (!index_.SetLength(probed.path, probed.duration_ms)) return;
    if (QTreeWidgetItem* row = rows_.value(probed.path))
        row->setText(2, Length(probed.duration_ms, translate_));
}

void RecordingsWindow::SetFilter(const RecordingFilter& filter) {
    filling_ = true;
    vehicle_->setCurrentIndex(std::max(0, vehicle_->findData(filter.vehicle)));
    use_date_->setChecked(filter.date.isValid());
    date_->setEnabled(filter.date.isValid());
    if (filter.date.isValid()) date_->setDate(filter.date);
    filling_ = false;
    Fill();
}

RecordingFilter RecordingsWindow::CurrentFilter() const {
    RecordingFilter filter;
    filter.vehicle = vehicle_->currentData().toString();
    if (use_date_->isChecked()) filter.date = date_->date();
    return filter;
}

void RecordingsWindow::Fill() {
    if (filling_) return;
    const RecordingFilter filter = CurrentFilter();
    const QLocale locale;
    list_->clear();
    rows_.clear();
    // Groups with the newest recording first.
    auto groups = index_.Groups(filter);
    std::vector<const std::pair<const std::pair<QString, int>, std::vector<RecordingEntry>>*> order;
    for (const auto& group : groups) order.push_back(&group);
    std::stable_sort(order.begin(), order.end(),
                     [](auto* a, auto* b) { return a->second.front().start > b->second.front().start; });
    for (const auto* group : order) {
        const auto& [key, entries] = *group;
        auto* top = new QTreeWidgetItem(list_);
        top->setText(0, key.first.isEmpty()
                            ? translate_(QStringLiteral("Other files"))
                            : QStringLiteral("%1  chn%2").arg(key.first).arg(key.second, 2, 10, QChar(u'0')));
        top->setText(2, entries.size() == 1 ? translate_(QStringLiteral("1 file"))
                                            : translate_(QStringLiteral("%1 files")).arg(entries.size()));
        for (const RecordingEntry& entry : entries) {
            auto* row = new QTreeWidgetItem(top);
            row->setText(0, QFileInfo(entry.path).fileName());
            row->setText(1, LeftToRight(entry.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
            row->setText(2, Length(entry.duration_ms, translate_));
            row->setText(3, locale.formattedDataSize(entry.bytes));
            row->setData(0, kPathRole, entry.path);
            row->setToolTip(0, entry.path);
            rows_.insert(entry.path, row);
        }
        top->setExpanded(true);
    }

    snapshots_->clear();
    int shown = 0;
    for (const RecordingEntry& entry : index_.Snapshots(filter)) {
        if (++shown > kMaximumThumbnails) break;
        const QImage thumbnail = Thumbnail(entry.path);
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)),
                                         LeftToRight(entry.start.toString(QStringLiteral("MM-dd HH:mm:ss"))),
                                         snapshots_);
        item->setToolTip(QFileInfo(entry.path).fileName());
        item->setData(kPathRole, entry.path);
    }
}

QStringList RecordingsWindow::ListedRecordings() const {
    QStringList paths;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* top = list_->topLevelItem(i);
        for (int j = 0; j < top->childCount(); ++j) paths << top->child(j)->data(0, kPathRole).toString();
    }
    return paths;
}

QStringList RecordingsWindow::ListedSnapshots() const {
    QStringList paths;
    for (int i = 0; i < snapshots_->count(); ++i) paths << snapshots_->item(i)->data(kPathRole).toString();
    return paths;
}

void RecordingsWindow::OpenListed(int row) {
    const QStringList paths = ListedRecordings();
    if (row >= 0 && row < paths.size() && open_recording_) open_recording_(paths[row]);
}

void RecordingsWindow::AddFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, translate_(QStringLiteral("Add Folder")));
    if (folder.isEmpty()) return;
    index_.AddFolder(folder);
    Refresh();
}

}  // namespace recordings

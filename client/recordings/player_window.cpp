// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/player_window.h"

#include "recordings/evidence_export.h"

#include <QFile>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

#include "recordings/clip_exporter.h"
#include "recordings/picture_view.h"
#include "recordings/recordings_index.h"
#include "recordings/timeline.h"

namespace recordings {
namespace {

constexpr int kTickMs = 10;
constexpr double kSpeeds[] = {0.25, 0.5, 1.0, 2.0, 4.0, 8.0};

}  // namespace

PlayerWindow::PlayerWindow(QString snapshot_folder, TranslateText translate, QWidget* parent)
    : QWidget(parent, Qt::Window),
      snapshot_folder_(std::move(snapshot_folder)),
      translate_(std::move(translate)) {
    setAttribute(Qt::WA_DeleteOnClose);
    picture_ = new PictureView(this);
    timeline_ = new Timeline(this);
    play_ = new QPushButton(translate_(QStringLiteral("Play")), this);
    step_ = new QPushButton(translate_(QStringLiteral("Step")), this);
    speed_ = new QComboBox(this);
    for (const double speed : kSpeeds) speed_->addItem(QStringLiteral("%1x").arg(speed), speed);
    speed_->setCurrentIndex(2);
    auto* snapshot = new QPushButton(translate_(QStringLiteral("Snapshot")), this);
    auto* save_as = new QPushButton(translate_(QStringLiteral("Save Picture...")), this);
    auto* mark_in = new QPushButton(translate_(QStringLiteral("Mark In")), this);
    auto* mark_out = new QPushButton(translate_(QStringLiteral("Mark Out")), this);
    auto* export_clip = new QPushButton(translate_(QStringLiteral("Export Clip...")), this);
    auto* evidence = new QPushButton(translate_(QStringLiteral("Evidence...")), this);
    time_ = new QLabel(this);
    time_->setTextFormat(Qt::PlainText);
    // "14:05:09  (00:01:05 / 00:05:00)" keeps its order in a right-to-left window.
    time_->setLayoutDirection(Qt::LeftToRight);
    message_ = new QLabel(this);
    message_->setTextFormat(Qt::PlainText);  // file names come from anywhere
    message_->setWordWrap(true);
    message_->hide();
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->hide();

    auto* controls = new QHBoxLayout;
    for (QWidget* widget : {static_cast<QWidget*>(play_), static_cast<QWidget*>(step_),
                            static_cast<QWidget*>(speed_), static_cast<QWidget*>(time_)})
        controls->addWidget(widget);
    controls->addStretch();
    // The file actions get a row of their own: on one row with the playback controls their texts were cut
    // at the window's usual width, and more so in the longer languages.
    auto* actions = new QHBoxLayout;
    for (QWidget* widget : {snapshot, save_as, mark_in, mark_out, export_clip, evidence})
        actions->addWidget(widget);
    actions->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture_, 1);
    layout->addWidget(timeline_);
    layout->addLayout(controls);
    layout->addLayout(actions);
    layout->addWidget(progress_);
    layout->addWidget(message_);

    connect(play_, &QPushButton::clicked, this, &PlayerWindow::TogglePlay);
    connect(step_, &QPushButton::clicked, this, &PlayerWindow::StepForward);
    connect(speed_, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetSpeed(speed_->itemData(index).toDouble()); });
    connect(timeline_, &Timeline::seekRequested, this, &PlayerWindow::SeekTo);
    connect(timeline_, &Timeline::gapEntered, this, [this](qint64 from_ms, qint64 to_ms) {
        message_->setText(
            translate_(QStringLiteral("No video from %1 to %2")).arg(ClockText(from_ms), ClockText(to_ms)));
        message_->show();
        gap_notice_ = gap_seek_ = true;
    });
    connect(snapshot, &QPushButton::clicked, this, [this] { SaveSnapshot(); });
    connect(save_as, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, translate_(QStringLiteral("Save Picture")), snapshot_folder_,
                                         translate_(QStringLiteral("Pictures (*.png *.bmp)")));
        if (!path.isEmpty()) SaveSnapshot(path);
    });
    connect(mark_in, &QPushButton::clicked, this, &PlayerWindow::MarkIn);
    connect(mark_out, &QPushButton::clicked, this, &PlayerWindow::MarkOut);
    connect(export_clip, &QPushButton::clicked, this, &PlayerWindow::AskExport);
    connect(evidence, &QPushButton::clicked, this, [this] {
        const QString parent = QFileDialog::getExistingDirectory(
            this, translate_(QStringLiteral("Please select a folder...")), QFileInfo(path_).path());
        if (!parent.isEmpty()) StartEvidence(parent);
    });

    ticker_.setTimerType(Qt::PreciseTimer);
    ticker_.setInterval(kTickMs);
    connect(&ticker_, &QTimer::timeout, this, &PlayerWindow::Tick);
    clock_.start();
    resize(720, 560);
}

PlayerWindow::~PlayerWindow() {
    cancel_export_ = true;
    if (export_thread_.joinable()) export_thread_.join();
}

bool PlayerWindow::Open(const QString& path, QString* error) {
    UserText failure;
    ticker_.stop();
    sound_.Stop();
    if (!player_.Open(path, &failure)) {
        const QString why = failure.In(translate_);
        message_->setText(why);
        message_->show();
        picture_->SetPicture(QImage());
        setWindowTitle(QFileInfo(path).fileName());
        if (error != nullptr) *error = why;
        return false;
    }
    path_ = path;
    const RecordingName name = ParseRecordingName(QFileInfo(path).fileName());
    vehicle_ = name.vehicle;
    channel_ = name.channel;
    start_ = name.start;
    in_ms_ = out_ms_ = -1;
    times_ = TrueTimes::Load(path, player_.frame_period_ms(), static_cast<int64_t>(player_.frame_count()));
    timeline_->SetTrueTimes(&times_);
    timeline_->SetRecording(start_, player_.duration_ms());
    timeline_->SetMarks(-1, -1);
    message_->setVisible(player_.duration_from_reading());
    message_->setText(translate_(
        QStringLiteral("This recording was not closed properly; it plays up to its last readable frame.")));
    setWindowTitle(QFileInfo(path).fileName());
    ShowState();
    return true;
}

QString PlayerWindow::message() const {
    return message_->isHidden() ? QString() : message_->text();
}

void PlayerWindow::TogglePlay() {
    if (!player_.is_open()) return;
    if (player_.playing()) {
        player_.Pause();
        ticker_.stop();
        sound_.Stop();
    } else {
        player_.Play(NowMs());
        ticker_.start();
    }
    ShowState();
}

void PlayerWindow::StepForward() {
    ticker_.stop();
    sound_.Stop();
    player_.StepForward();
    ShowState();
}

void PlayerWindow::SeekTo(double position_ms) {
    // A gap's notice stays until the operator seeks elsewhere.
    if (gap_seek_) {
        gap_seek_ = false;
    } else if (gap_notice_) {
        gap_notice_ = false;
        message_->hide();
    }
    player_.Seek(position_ms, NowMs());
    ShowState();
}

void PlayerWindow::SetSpeed(double speed) {
    player_.SetSpeed(speed, NowMs());
    const int index = speed_->findData(player_.speed());
    if (index >= 0 && index != speed_->currentIndex()) speed_->setCurrentIndex(index);
    if (!player_.sound_on()) sound_.Stop();
}

void PlayerWindow::Tick() {
    const bool shown = player_.Advance(NowMs());
    if (player_.sound_on() && sound_.Start(player_.sound_rate(), player_.sound_channels())) {
        sound_.Write(player_.TakeSound());
    } else {
        player_.TakeSound();
    }
    if (shown || !player_.playing()) ShowState();
    if (!player_.playing()) {
        ticker_.stop();
        sound_.Stop();
    }
}

void PlayerWindow::ShowState() {
    picture_->SetPicture(player_.picture());
    timeline_->SetPosition(player_.position_ms());
    time_->setText(QStringLiteral("%1  (%2 / %3)")
                       .arg(times_.valid() ? ClockText(times_.TimeAt(player_.position_ms()))
                                           : TimeOfDay(start_, player_.position_ms()),
                            Duration(player_.position_ms()), Duration(player_.duration_ms())));
    play_->setText(player_.playing() ? translate_(QStringLiteral("Pause"))
                                     : translate_(QStringLiteral("Play")));
    if (const QDateTime shown = ShownTime(); shown.isValid()) emit shownTimeChanged(shown);
}

QString PlayerWindow::SaveSnapshot(const QString& path) {
    const QImage picture = player_.picture();
    if (picture.isNull()) return QString();
    QString target = path;
    if (target.isEmpty()) {
        QDir().mkpath(snapshot_folder_);
        const QString base = vehicle_.isEmpty()
                                 ? QFileInfo(path_).completeBaseName()
                                 : QStringLiteral("%1-chn%2").arg(vehicle_).arg(channel_, 2, 10, QChar(u'0'));
        const QDateTime shown = ShownTime();
        const QDateTime when = shown.isValid() ? shown : QDateTime::currentDateTime();
        target = QDir(snapshot_folder_)
                     .filePath(base + u'-' + when.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss")) +
                               QStringLiteral(".bmp"));
    }
    const char* format = target.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? "PNG" : "BMP";
    // BMP files of this system are 24 bits per pixel.
    if (!picture.convertToFormat(QImage::Format_RGB888).save(target, format)) {
        message_->setText(translate_(QStringLiteral("The picture could not be saved as %1.")).arg(target));
        message_->show();
        return QString();
    }
    QApplication::clipboard()->setImage(picture);
    return target;
}

bool PlayerWindow::SeekToTime(const QDateTime& when) {
    if (!when.isValid()) return false;
    double position_ms = -1;
    if (times_.valid()) {
        const qint64 unix_ms = when.toMSecsSinceEpoch();
        if (unix_ms >= times_.first_ms() && unix_ms <= times_.last_ms())
            position_ms = times_.PositionAt(unix_ms);
    } else if (start_.isValid()) {
        position_ms = static_cast<double>(start_.msecsTo(when));
    }
    if (position_ms < 0 || position_ms > player_.duration_ms()) return false;
    SeekTo(position_ms);
    return true;
}

QDateTime PlayerWindow::ShownTime() const {
    if (times_.valid()) return QDateTime::fromMSecsSinceEpoch(times_.TimeAt(player_.position_ms()));
    return start_.isValid() ? start_.addMSecs(static_cast<qint64>(player_.position_ms())) : QDateTime();
}

void PlayerWindow::MarkIn() {
    in_ms_ = player_.position_ms();
    if (out_ms_ >= 0 && out_ms_ <= in_ms_) out_ms_ = -1;
    timeline_->SetMarks(in_ms_, out_ms_);
}

void PlayerWindow::MarkOut() {
    // The out mark takes the shown frame in.
    out_ms_ = player_.position_ms() + player_.frame_period_ms();
    if (in_ms_ >= out_ms_) in_ms_ = -1;
    timeline_->SetMarks(in_ms_, out_ms_);
}

void PlayerWindow::AskExport() {
    // Named by the time of day of its first frame, as the recordings are.
    const QDateTime shown = ShownTime();
    const double in = in_ms_ >= 0 ? in_ms_ : 0;
    const QDateTime at = times_.valid()
                             ? QDateTime::fromMSecsSinceEpoch(times_.TimeAt(in))
                             : (start_.isValid() ? start_.addMSecs(static_cast<qint64>(in)) : shown);
    const QString base = vehicle_.isEmpty() || !at.isValid()
                             ? QFileInfo(path_).completeBaseName()
                             : QStringLiteral("%1-chn%2-%3")
                                   .arg(vehicle_)
                                   .arg(channel_, 2, 10, QChar(u'0'))
                                   .arg(at.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss")));
    const QString suggested = QFileInfo(path_).path() + u'/' + base + QStringLiteral("-clip.avi");
    const QString target =
        QFileDialog::getSaveFileName(this, translate_(QStringLiteral("Export Clip")), suggested,
                                     translate_(QStringLiteral("AVI recordings (*.avi)")));
    if (!target.isEmpty()) StartExport(target);
}

bool PlayerWindow::StartExport(const QString& target) {
    if (!player_.is_open() || exporting()) return false;
    const double in = in_ms_ >= 0 ? in_ms_ : 0;
    const double out = out_ms_ >= 0 ? out_ms_ : player_.duration_ms();
    if (out <= in) return false;
    progress_->setValue(0);
    progress_->show();
    cancel_export_ = false;
    export_thread_ = std::thread([this, source = path_, target, in, out, times = times_] {
        ClipResult result = ExportClip(source, target, in, out, [this](double done) {
            QMetaObject::invokeMethod(
                this, [this, done] { progress_->setValue(static_cast<int>(done * 1000)); },
                Qt::QueuedConnection);
            return !cancel_export_.load();
        });
        // The clip keeps the true times of its frames, in a time file beside it as the recorder writes one.
        if (result.ok && times.valid()) {
            const std::string text =
                times.ClipText(result.start_ms, static_cast<int64_t>(result.video_frames));
            QFile file(target + QStringLiteral(".times"));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(text.data(), static_cast<qint64>(text.size())) !=
                    static_cast<qint64>(text.size())) {
                result.ok = false;
                result.error = UserText([name = file.fileName()](const TranslateText& translate) {
                    return translate(QStringLiteral("%1 cannot be written.")).arg(name);
                });
            }
        }
        // The message is put into words on the UI thread, where the translation lives.
        QMetaObject::invokeMethod(
            this,
            [this, ok = result.ok, target, error = std::move(result.error)] {
                FinishExport(ok, target, error);
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool PlayerWindow::StartEvidence(const QString& parent_folder) {
    if (!player_.is_open() || exporting()) return false;
    const QDateTime shown = ShownTime();
    const QString stamp = (shown.isValid() ? shown : QDateTime::currentDateTime())
                              .toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
    const QString base = vehicle_.isEmpty()
                             ? QFileInfo(path_).completeBaseName()
                             : QStringLiteral("%1-chn%2").arg(vehicle_).arg(channel_, 2, 10, QChar(u'0'));
    EvidenceContent content;
    content.folder = QDir(parent_folder).filePath(base + u'-' + stamp + QStringLiteral("-evidence"));
    if (QFileInfo::exists(content.folder) || !QDir().mkpath(content.folder)) {
        message_->setText(translate_(QStringLiteral("%1 cannot be written.")).arg(content.folder));
        message_->show();
        return false;
    }
    content.snapshot = player_.picture();
    content.snapshot_time =
        shown.isValid() ? shown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
    content.vehicle = vehicle_.isEmpty() ? base : vehicle_;
    content.alarm_record = evidence_alarm_;
    if (track_source_ && !vehicle_.isEmpty()) {
        const double in = in_ms_ >= 0 ? in_ms_ : 0;
        const double out = out_ms_ >= 0 ? out_ms_ : player_.duration_ms();
        const auto wall_ms = [this](double position_ms) -> std::optional<int64_t> {
            if (times_.valid()) return times_.TimeAt(position_ms);
            if (start_.isValid()) return start_.toMSecsSinceEpoch() + static_cast<int64_t>(position_ms);
            return std::nullopt;
        };
        const std::optional<int64_t> from_ms = wall_ms(in), to_ms = wall_ms(out);
        // Whole seconds that take in the clip's first and last frames.
        if (from_ms && to_ms)
            content.track_gpx = track_source_(vehicle_, *from_ms / 1000, (*to_ms + 999) / 1000);
    }
    const QString clip = QDir(content.folder).filePath(base + u'-' + stamp + QStringLiteral(".avi"));
    content.clips = {clip};
    evidence_ = std::make_unique<EvidenceContent>(std::move(content));
    if (!StartExport(clip)) {
        evidence_.reset();
        return false;
    }
    return true;
}

void PlayerWindow::FinishExport(bool ok, const QString& target, const UserText& error) {
    if (export_thread_.joinable()) export_thread_.join();
    progress_->hide();
    if (evidence_) {
        const std::unique_ptr<EvidenceContent> content = std::move(evidence_);
        if (ok) {
            const EvidenceResult result = WriteEvidence(*content, translate_);
            const QString text = result.message.In(translate_);
            message_->setText(text);
            message_->show();
            emit evidenceFinished(result.ok, content->folder, text);
            return;
        }
        emit evidenceFinished(false, content->folder, error.In(translate_));
    }
    const QString text = ok ? target : error.In(translate_);
    message_->setText(ok ? translate_(QStringLiteral("Clip written to %1")).arg(target) : text);
    message_->show();
    emit exportFinished(ok, text);
}

void PlayerWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
            TogglePlay();
            return;
        case Qt::Key_Period:
        case Qt::Key_Right:
            StepForward();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace recordings

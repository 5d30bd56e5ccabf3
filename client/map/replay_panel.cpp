// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/replay_panel.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include "app/app_profile.h"
#include "positions/gpx_track.h"

namespace {

// The window's texts in the user's language.
QString Translate(const QString& english) {
    return AppProfile::Translate(english);
}

constexpr int kMaxTrackPoints = 200000;  // a vehicle-week at 5 s; more is no route to look at

QString DurationText(int64_t seconds) {
    if (seconds < 3600) return Translate(QStringLiteral("%1 min")).arg(seconds / 60);
    return Translate(QStringLiteral("%1 h %2 min")).arg(seconds / 3600).arg((seconds % 3600) / 60);
}

}  // namespace

ReplayPanel::ReplayPanel(Sources sources, QWidget* parent) : QDialog(parent), sources_(std::move(sources)) {
    setWindowTitle(Translate(QStringLiteral("Route Replay")));
    auto* grid = new QGridLayout(this);
    vehicle_ = new QComboBox(this);
    vehicle_->setMinimumContentsLength(16);
    from_ = new QDateTimeEdit(this);
    to_ = new QDateTimeEdit(this);
    for (QDateTimeEdit* edit : {from_, to_}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        edit->setCalendarPopup(true);
    }
    const QDateTime now = QDateTime::currentDateTime();
    from_->setDateTime(QDateTime(now.date(), QTime(0, 0)));
    to_->setDateTime(now.addSecs(60));
    show_ = new QPushButton(Translate(QStringLiteral("Show")), this);
    // Each label is its field's buddy, which gives the field its accessible name.
    const auto label_for = [this](const QString& text, QWidget* field) {
        auto* label = new QLabel(text, this);
        label->setBuddy(field);
        return label;
    };
    grid->addWidget(label_for(Translate(QStringLiteral("Vehicle")), vehicle_), 0, 0);
    grid->addWidget(vehicle_, 0, 1, 1, 3);
    grid->addWidget(label_for(Translate(QStringLiteral("From")), from_), 1, 0);
    grid->addWidget(from_, 1, 1);
    grid->addWidget(label_for(Translate(QStringLiteral("To")), to_), 1, 2);
    grid->addWidget(to_, 1, 3);
    grid->addWidget(show_, 0, 4);

    play_ = new QToolButton(this);
    play_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    play_->setToolTip(Translate(QStringLiteral("Play / pause")));
    play_->setAccessibleName(play_->toolTip());
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setEnabled(false);
    slider_->setAccessibleName(Translate(QStringLiteral("Replay position")));
    speed_ = new QSpinBox(this);
    speed_->setRange(RouteReplay::kMinSpeed, RouteReplay::kMaxSpeed);
    speed_->setSuffix(QStringLiteral("x"));
    speed_->setValue(replay_.speed());
    speed_->setToolTip(Translate(QStringLiteral("Replay speed")));
    speed_->setAccessibleName(speed_->toolTip());
    clock_ = new QLabel(this);
    clock_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00  000 km/h")));
    auto* player = new QHBoxLayout;
    player->addWidget(play_);
    player->addWidget(slider_, 1);
    player->addWidget(speed_);
    video_ = new QPushButton(Translate(QStringLiteral("Video")), this);
    video_->setToolTip(Translate(QStringLiteral("Play the vehicle's recording of this moment")));
    video_->setEnabled(false);
    video_->hide();
    player->addWidget(video_);
    grid->addLayout(player, 2, 0, 1, 5);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    export_ = new QPushButton(Translate(QStringLiteral("Export GPX...")), this);
    export_->setEnabled(false);
    grid->addWidget(clock_, 3, 0, 1, 2);
    grid->addWidget(status_, 3, 2, 1, 2);
    grid->addWidget(export_, 3, 4);

    connect(show_, &QPushButton::clicked, this, &ReplayPanel::ShowTrack);
    connect(play_, &QToolButton::clicked, this, [this] { SetPlaying(!playing()); });
    connect(speed_, &QSpinBox::valueChanged, this, [this](int speed) { replay_.SetSpeed(speed); });
    connect(slider_, &QSlider::valueChanged, this, [this](int second) {
        // The slider counts seconds from the track's start; while playing the clock moves it.
        if (replay_.time_ms() / 1000 - replay_.start_ms() / 1000 != second)
            replay_.Seek(replay_.start_ms() + int64_t(second) * 1000);
        ShowClock();
        SendMarker();
        video_link_.ReplayMoved(replay_.time_ms(), false);
    });
    connect(export_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, Translate(QStringLiteral("Export GPX")),
            vehicle_->currentData().toString() + QStringLiteral(".gpx"), QStringLiteral("GPX (*.gpx)"));
        if (!path.isEmpty()) ExportTo(path);
    });
    connect(video_, &QPushButton::clicked, this, &ReplayPanel::OpenVideo);
    connect(&video_link_, &ReplayVideoLink::coverageChanged, video_, &QWidget::setEnabled);
    connect(&video_link_, &ReplayVideoLink::playerMoved, this, &ReplayPanel::FollowPlayer);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &ReplayPanel::Tick);
}

QString ReplayPanel::StopLabel(const PositionStop& stop) const {
    return QStringLiteral("%1 (%2)").arg(
        DurationText(stop.duration_s()),
        QDateTime::fromSecsSinceEpoch(stop.from_s).toString(QStringLiteral("HH:mm")));
}

void ReplayPanel::RefreshVehicles() {
    const QString kept = vehicle_->currentData().toString();
    vehicle_->clear();
    if (!sources_.vehicles) return;
    for (const auto& [id, label] : sources_.vehicles())
        vehicle_->addItem(label.isEmpty() ? id : QStringLiteral("%1 (%2)").arg(label, id), id);
    const int index = vehicle_->findData(kept);
    if (index >= 0) vehicle_->setCurrentIndex(index);
}

void ReplayPanel::ShowTrack() {
    SetPlaying(false);
    const QString device = vehicle_->currentData().toString();
    QList<PositionFix> track;
    if (!device.isEmpty() && sources_.read)
        track =
            sources_.read(device, from_->dateTime().toSecsSinceEpoch(), to_->dateTime().toSecsSinceEpoch());
    if (track.size() > kMaxTrackPoints) track.resize(kMaxTrackPoints);
    replay_.Load(std::move(track));
    video_link_.SetVehicle(device);
    slider_->setEnabled(!replay_.empty());
    export_->setEnabled(!replay_.empty());
    {
        const QSignalBlocker quiet(slider_);
        slider_->setRange(0, int((replay_.end_ms() - replay_.start_ms()) / 1000));
        slider_->setValue(0);
    }
    ShowClock();
    if (replay_.empty()) {
        status_->setText(Translate(QStringLiteral("No positions of this vehicle in that time.")));
        if (sources_.call_page) sources_.call_page(QStringLiteral("clearReplay"), "null", {});
        return;
    }
    status_->setText(Translate(QStringLiteral("%1 points, %2 stops of 2 minutes or more"))
                         .arg(replay_.track().size())
                         .arg(replay_.stops().size()));
    if (!sources_.call_page) return;
    std::optional<RouteReplay::Offset> offset;
    // One correction for the whole track, as the page takes it: the table's cells are far larger than
    // the streets a replay is looked at for.
    if (sources_.offset_at)
        offset = sources_.offset_at(replay_.track().first().lat_deg(), replay_.track().first().lon_deg());
    QPointer<ReplayPanel> self(this);
    sources_.call_page(QStringLiteral("showReplay"),
                       replay_.PageData([this](const PositionStop& stop) { return StopLabel(stop); }, offset),
                       [self](bool shown) {
                           if (!self) return;
                           self->page_has_replay_ = shown;
                           if (!shown)
                               self->status_->setText(Translate(
                                   QStringLiteral("Route replay is not available on this map page.")));
                       });
    SendMarker();
    video_link_.ReplayMoved(replay_.time_ms(), false);
}

bool ReplayPanel::ExportTo(const QString& path) {
    const QString name = vehicle_->currentText();
    if (replay_.empty() || !WriteGpxFile(path, name, replay_.track())) {
        status_->setText(Translate(QStringLiteral("The track could not be written to %1.")).arg(path));
        return false;
    }
    status_->setText(Translate(QStringLiteral("Track written to %1.")).arg(path));
    return true;
}

void ReplayPanel::SetPlaying(bool playing) {
    if (playing && replay_.empty()) playing = false;
    if (playing == this->playing()) return;
    if (playing) {
        if (replay_.time_ms() >= replay_.end_ms()) replay_.Seek(replay_.start_ms());
        // The replay leads from here on; a player left playing would pull it back.
        video_link_.PausePlayer();
        since_tick_.start();
        timer_.start();
    } else {
        timer_.stop();
    }
    play_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void ReplayPanel::Tick() {
    // Wall time between ticks, not the interval: a late timer does not slow the replay down.
    const bool more = replay_.Advance(since_tick_.restart());
    {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(int((replay_.time_ms() - replay_.start_ms()) / 1000));
    }
    ShowClock();
    SendMarker();
    video_link_.ReplayMoved(replay_.time_ms(), true);
    if (!more) SetPlaying(false);
}

void ReplayPanel::SetVideoSources(ReplayVideoLink::Sources sources) {
    video_link_.SetSources(std::move(sources));
    video_->setVisible(video_link_.available());
}

bool ReplayPanel::OpenVideo() {
    if (replay_.empty()) return false;
    if (video_link_.OpenAt(replay_.time_ms())) return true;
    status_->setText(Translate(QStringLiteral("No local recording of this vehicle at %1."))
                         .arg(QDateTime::fromMSecsSinceEpoch(replay_.time_ms())
                                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    return false;
}

void ReplayPanel::FollowPlayer(qint64 unix_ms, bool player_playing) {
    if (replay_.empty()) return;
    // The player leads while it plays.
    if (player_playing) SetPlaying(false);
    replay_.Seek(unix_ms);
    {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(int((replay_.time_ms() - replay_.start_ms()) / 1000));
    }
    ShowClock();
    SendMarker();
}

void ReplayPanel::ShowClock() {
    if (replay_.empty()) {
        clock_->clear();
        return;
    }
    const RouteReplay::Place place = replay_.PlaceNow();
    clock_->setText(QStringLiteral("%1  %2 %3")
                        .arg(QDateTime::fromMSecsSinceEpoch(replay_.time_ms())
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                        .arg(qRound(place.speed_kmh))
                        .arg(Translate(QStringLiteral("km/h"))));
}

void ReplayPanel::SendMarker() {
    if (replay_.empty() || !page_has_replay_ || !sources_.call_page) return;
    const RouteReplay::Place place = replay_.PlaceNow();
    sources_.call_page(QStringLiteral("moveReplayMarker"),
                       QJsonDocument(QJsonArray{place.lat_deg, place.lon_deg, place.course_deg})
                           .toJson(QJsonDocument::Compact),
                       {});
}

void ReplayPanel::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RefreshVehicles();
}

void ReplayPanel::hideEvent(QHideEvent* event) {
    SetPlaying(false);
    if (sources_.call_page) sources_.call_page(QStringLiteral("clearReplay"), "null", {});
    QDialog::hideEvent(event);
}

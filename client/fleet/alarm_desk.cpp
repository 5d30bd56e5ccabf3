// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_desk.h"

#include <QDateTime>
#include <QSet>

#include "app/app_profile.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_sound.h"
#include "fleet/alarm_store.h"

AlarmSettings AlarmSettings::Read(const QString& program_folder) {
    AlarmSettings settings;
    settings.sound = AppProfile::ReadInt(QStringLiteral("Alarm_Sound"), 1) != 0;
    settings.auto_video = AppProfile::ReadInt(QStringLiteral("Alarm_AutoVideo"), 0) != 0;
    settings.keep_days = qBound(1, AppProfile::ReadInt(QStringLiteral("Alarm_KeepDays"), 90), 36500);
    if (!program_folder.isEmpty()) settings.database = program_folder + QStringLiteral("alarms.db");
    settings.sound_backend = qEnvironmentVariable("CORVEL_SOUND_OUT");
    return settings;
}

bool AlarmVideoPolicy::Allow(const QString& device_id, int64_t now_ms) {
    const auto it = last_ms_.constFind(device_id);
    if (it != last_ms_.constEnd() && now_ms - *it < kQuietMs) return false;
    last_ms_.insert(device_id, now_ms);
    return true;
}

AlarmDesk::AlarmDesk(const AlarmSettings& settings, std::function<QString(const QString&)> translate,
                     const AlarmVehicles* vehicles, QObject* parent)
    : QObject(parent), settings_(settings), vehicles_(vehicles), translate_(std::move(translate)) {
    clock_.start();
    AlarmStoreOptions options;
    options.path = settings_.database;
    options.keep_days = settings_.keep_days;
    store_ = std::make_unique<AlarmStore>(options);
    model_ = std::make_unique<AlarmListModel>(book_, translate_);
    sound_ = std::make_unique<AlarmSound>(settings_.sound_backend, settings_.sound_source);
    sound_->SetEnabled(settings_.sound);
    book_.SetListener(
        [this](const AlarmEpisode& episode, AlarmBook::Change change) { OnBookChange(episode, change); });
    loading_ = true;
    book_.Load(store_->loaded());
    loading_ = false;
    count_timer_.setSingleShot(true);
    count_timer_.setInterval(kCountDelayMs);
    connect(&count_timer_, &QTimer::timeout, this, [this] { emit unacknowledgedChanged(unacknowledged()); });
    if (vehicles_) {
        poll_timer_.setInterval(kPollMs);
        connect(&poll_timer_, &QTimer::timeout, this, &AlarmDesk::Poll);
        poll_timer_.start();
    }
    if (!store_->problem().isEmpty()) {
        // After the constructor, so that whoever made the desk has connected by then.
        QTimer::singleShot(0, this, [this] { emit problemReported(store_->problem()); });
    }
}

AlarmDesk::~AlarmDesk() {
    book_.SetListener(nullptr);
}

AlarmPanel* AlarmDesk::Panel(QWidget* parent) {
    if (!panel_) {
        panel_ = new AlarmPanel(model_.get(), translate_, parent);
        connect(panel_, &AlarmPanel::acknowledgeRequested, this,
                [this](const QList<int64_t>& ids, const QString& comment) { Acknowledge(ids, comment); });
        connect(panel_, &AlarmPanel::historyRequested, this, [this] { ShowHistory(panel_->window()); });
        connect(panel_, &AlarmPanel::episodeActivated, this, [this](int64_t id) {
            const AlarmEpisode* episode = book_.Find(id);
            if (!episode) return;
            const auto row = row_of_.constFind(episode->device_id);
            if (row != row_of_.constEnd()) emit videoRequested(*row);
        });
    }
    return panel_;
}

void AlarmDesk::VehicleListed(int row, const QString& device_id) {
    if (device_id.isEmpty()) return;
    row_of_.insert(device_id, row);
    UpdateHighlight(device_id);
}

void AlarmDesk::ForgetVehicles() {
    const QSet<int> rows = highlighted_;
    highlighted_.clear();
    row_of_.clear();
    watch_.Forget();
    for (const int row : rows) emit vehicleHighlightChanged(row, false);
}

void AlarmDesk::Poll() {
    if (!vehicles_) return;
    std::vector<AlarmWatch::Change> changes;
    watch_.Tick(*vehicles_, &changes);
    if (changes.empty()) return;
    const int64_t now_s = QDateTime::currentSecsSinceEpoch();
    for (const AlarmWatch::Change& change : changes) {
        // A vehicle's report time dates what its record says; a word seen later than that is dated now.
        const int64_t reported_s = vehicles_->LastReport_s(change.row);
        OnStatusWord(change.row, vehicles_->DeviceId(change.row), vehicles_->Label(change.row), change.word,
                     change.active, reported_s > 0 && reported_s <= now_s ? reported_s : now_s,
                     change.first_look);
    }
}

void AlarmDesk::OnStatusWord(int row, const QString& device_id, const QString& label, int word, bool active,
                             int64_t time_s, bool at_login) {
    if (device_id.isEmpty()) return;
    row_of_.insert(device_id, row);
    const int64_t id = book_.Observe(device_id, label, word, active, time_s, at_login);
    if (id == 0 || !active || at_login) return;
    sound_->Alert(clock_.elapsed());
    if (settings_.auto_video && video_policy_.Allow(device_id, clock_.elapsed())) emit videoRequested(row);
}

int AlarmDesk::Acknowledge(const QList<int64_t>& ids, const QString& comment) {
    const QString user = user_ ? user_() : QString();
    return book_.Acknowledge(ids, user, comment.left(200), QDateTime::currentSecsSinceEpoch());
}

void AlarmDesk::ShowHistory(QWidget* parent) {
    if (!history_) history_ = new AlarmHistoryDlg(settings_.database, translate_, parent);
    store_->Flush();  // the search sees what the list shows
    history_->Search();
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void AlarmDesk::OnBookChange(const AlarmEpisode& episode, AlarmBook::Change change) {
    model_->OnBookChange(episode, change);
    switch (change) {
        case AlarmBook::Change::kOpened:
        case AlarmBook::Change::kCleared:
        case AlarmBook::Change::kAcknowledged:
            if (!loading_) store_->Save(episode);
            break;
        default:
            break;
    }
    if (change == AlarmBook::Change::kOpened || change == AlarmBook::Change::kAcknowledged ||
        change == AlarmBook::Change::kDropped) {
        UpdateHighlight(episode.device_id);
        if (!count_timer_.isActive()) count_timer_.start();
    }
}

void AlarmDesk::UpdateHighlight(const QString& device_id) {
    const auto it = row_of_.constFind(device_id);
    if (it == row_of_.constEnd()) return;
    const int row = *it;
    const bool on = book_.UnacknowledgedOf(device_id) > 0;
    if (on == highlighted_.contains(row)) return;
    if (on)
        highlighted_.insert(row);
    else
        highlighted_.remove(row);
    emit vehicleHighlightChanged(row, on);
}

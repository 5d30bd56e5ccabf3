// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_desk.h"

#include <QDateTime>
#include <QSet>

#include "app/app_profile.h"
#include "app/own_prefs.h"
#include "app/own_settings.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_sound.h"
#include "fleet/alarm_store.h"

AlarmSettings AlarmSettings::Read(const QString& program_folder) {
    AlarmSettings settings;
    // Tavrin.ini, or Config.ini where an older client kept them (OwnPrefs).
    OwnSettings own_settings(program_folder);
    const OwnPrefs prefs = OwnPrefs::Read(own_settings);
    settings.sound = prefs.alarm_sound;
    settings.auto_video = prefs.alarm_auto_video;
    settings.keep_days = prefs.alarm_history_days;
    settings.reopen_window_s = 30;
    if (!program_folder.isEmpty()) {
        settings.database = program_folder + QStringLiteral("alarms.db");
        settings.max_rows =
            qBound(1000, own_settings.ReadInt(QStringLiteral("AlarmHistoryMaxRows"), 1000000), 100000000);
        settings.reopen_window_s =
            qBound(0, own_settings.ReadInt(QStringLiteral("AlarmReopenSeconds"), 30), 3600);
    }
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
    options.max_rows = settings_.max_rows;
    // Both come on the store's worker; the desk takes them on its own thread, and drops them once gone.
    options.on_loaded = [this](const QList<AlarmEpisode>& episodes) {
        QMetaObject::invokeMethod(
            this, [this, episodes] { ApplyHistory(episodes); }, Qt::QueuedConnection);
    };
    options.on_event = [this](const AlarmStoreEvent& event) {
        QMetaObject::invokeMethod(
            this, [this, event] { OnStoreEvent(event); }, Qt::QueuedConnection);
    };
    store_ = std::make_unique<AlarmStore>(options);
    model_ = std::make_unique<AlarmListModel>(book_, translate_);
    sound_ = std::make_unique<AlarmSound>(settings_.sound_backend, settings_.sound_source);
    sound_->SetEnabled(settings_.sound);
    book_.SetReopenWindow(settings_.reopen_window_s);
    book_.SetListener(
        [this](const AlarmEpisode& episode, AlarmBook::Change change) { OnBookChange(episode, change); });
    // Without a file there is nothing to wait for.
    history_loaded_ = settings_.database.isEmpty();
    count_timer_.setSingleShot(true);
    count_timer_.setInterval(kCountDelayMs);
    connect(&count_timer_, &QTimer::timeout, this, [this] { emit unacknowledgedChanged(unacknowledged()); });
    if (vehicles_) {
        poll_timer_.setInterval(kPollMs);
        connect(&poll_timer_, &QTimer::timeout, this, &AlarmDesk::Poll);
        poll_timer_.start();
    }
}

AlarmDesk::~AlarmDesk() {
    // The dialog's search worker flushes the store: it goes first.
    delete history_.data();
    book_.SetListener(nullptr);
}

void AlarmDesk::WaitForHistory() {
    ApplyHistory(store_->loaded());
}

void AlarmDesk::ApplyHistory(const QList<AlarmEpisode>& episodes) {
    if (history_loaded_) return;
    history_loaded_ = true;
    loading_ = true;
    book_.Load(episodes);
    loading_ = false;
    std::deque<Observation> waiting;
    waiting.swap(waiting_);
    for (const Observation& o : waiting)
        OnStatusWord(o.row, o.device_id, o.label, o.word, o.active, o.time_s, o.at_login, o.zone);
    emit historyReady();
}

void AlarmDesk::SetHistoryStatus(const QString& text) {
    history_status_ = text;
    if (panel_) panel_->SetHistoryStatus(text);
}

void AlarmDesk::OnStoreEvent(const AlarmStoreEvent& event) {
    using Kind = AlarmStoreEvent::Kind;
    QString text;
    switch (event.kind) {
        case Kind::kSetAside:
            text = translate_(QStringLiteral("Alarm history %1 could not be used (%2); set aside as %3"))
                       .arg(event.path, event.detail, event.aside);
            break;
        case Kind::kUnusable:
            text = translate_(
                       QStringLiteral("Alarm history %1 could not be used (%2); no alarm history is kept"))
                       .arg(event.path, event.detail);
            SetHistoryStatus(text);
            break;
        case Kind::kLocked:
            text = translate_(QStringLiteral("Alarm history %1 is locked by another program; waiting for it"))
                       .arg(event.path);
            SetHistoryStatus(text);
            break;
        case Kind::kReadOnly:
            text = translate_(QStringLiteral(
                                  "Alarm history %1 is read-only: it is shown, but new alarms are not kept"))
                       .arg(event.path);
            SetHistoryStatus(text);
            break;
        case Kind::kRecreated:
            text =
                translate_(QStringLiteral("Alarm history %1 was removed while in use; a new one was started"))
                    .arg(event.path);
            break;
        case Kind::kWriteFailed:
            text = translate_(QStringLiteral(
                                  "Alarm history writing failed (%1); alarms are kept in memory and retried"))
                       .arg(event.detail);
            SetHistoryStatus(text);
            break;
        case Kind::kWriteRecovered:
            text = translate_(QStringLiteral("Alarm history writing recovered; %1 alarms could not be kept"))
                       .arg(event.dropped);
            SetHistoryStatus(QString());
            break;
    }
    emit problemReported(text);
}

AlarmPanel* AlarmDesk::Panel(QWidget* parent) {
    if (!panel_) {
        panel_ = new AlarmPanel(model_.get(), translate_, parent);
        panel_->SetHistoryStatus(history_status_);
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
                             int64_t time_s, bool at_login, const QString& zone) {
    if (device_id.isEmpty()) return;
    if (!history_loaded_) {
        // The episodes still open from the last run must be in the book before a word can close them.
        if (waiting_.size() >= kMaxWaitingObservations) waiting_.pop_front();
        waiting_.push_back({row, device_id, label, word, active, time_s, at_login, zone});
        return;
    }
    row_of_.insert(device_id, row);
    const int64_t id = book_.Observe(device_id, label, word, active, time_s, at_login, zone);
    if (id == 0 || !active || at_login) return;
    emit alarmRaised(device_id);
    // A flapping word back on reopens its episode: the operator was alerted when it first came.
    if (const AlarmEpisode* episode = book_.Find(id); episode && episode->repeats > 0) return;
    sound_->Alert(clock_.elapsed());
    if (settings_.auto_video && video_policy_.Allow(device_id, clock_.elapsed())) emit videoRequested(row);
}

void AlarmDesk::OnZoneAlarm(int row, int word, const QString& zone, bool active, int64_t time_s) {
    if (!vehicles_ || row < 0 || row >= vehicles_->Count()) return;
    const QString device_id = vehicles_->DeviceId(row), label = vehicles_->Label(row);
    OnStatusWord(row, device_id, label, word, active, time_s, false, zone);
    if (active && word != kZoneSpeedingWord)
        OnStatusWord(row, device_id, label, word, false, time_s, false, zone);
}

int AlarmDesk::Acknowledge(const QList<int64_t>& ids, const QString& comment) {
    const QString user = user_ ? user_() : QString();
    return book_.Acknowledge(ids, user, comment.left(200), QDateTime::currentSecsSinceEpoch());
}

void AlarmDesk::ShowHistory(QWidget* parent) {
    if (!history_) {
        history_ = new AlarmHistoryDlg(settings_.database, translate_, parent);
        // On the search's worker, so that the search sees what the list shows without the window waiting.
        AlarmStore* store = store_.get();
        history_->SetBeforeSearch([store] { store->Flush(5000); });
        if (history_setup_) history_setup_(*history_);
    }
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
        case AlarmBook::Change::kReopened:
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

AlarmHistoryDlg* AlarmDesk::historyDialog() const {
    return history_.data();
}

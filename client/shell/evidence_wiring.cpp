// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/evidence_wiring.h"

#include <QTimer>
#include <QTreeWidgetItem>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "dialogs/own_prefs_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/dev_tree.h"
#include "grid/channel_commands.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "shell/main_menu_bar.h"

namespace {

QString DeviceIdOf(AppDevice* device) {
    char id[64] = {};
    const int n = VelqDev_GetDevInfo(device, VELQ_DEV_ID, id, sizeof id);
    return n > 0 ? QString::fromUtf8(id, qMin(n, int(sizeof id) - 1)) : QString();
}

QTreeWidgetItem* NodeOf(PageTab& grid, AppChannel* channel) {
    for (const GridSlot* slot : grid.Model().Windows())
        if (slot->channel == channel) return slot->channel_item;
    return nullptr;
}

}  // namespace

EvidenceWiring::EvidenceWiring(const Targets& targets, std::function<void(const QString&)> log,
                               QWidget* window)
    : QObject(window),
      targets_(targets),
      log_(std::move(log)),
      prefs_(OwnPrefs::Read(targets.own)),
      dialog_(new OwnPrefsDlg(
          targets.own, [this](const OwnPrefs& prefs) { Apply(prefs); }, window)),
      recorder_({[this] { return GridChannels(); },
                 [](AppChannel* channel) { return VelqChn_IsRecording(channel) != 0; },
                 [this](const GridChannel& channel) { return StartRecording(channel); },
                 [this](const GridChannel& channel) { StopRecording(channel); }}),
      timer_(new QTimer(this)) {
    clock_.start();
    recorder_.Configure(prefs_.record_on_alarm, prefs_.post_alarm_s);
    QAction* entry = targets_.menu.commandAction(MainMenuBar::kCmdSnapshotSetting);
    if (QMenu* option = entry ? qobject_cast<QMenu*>(entry->parent()) : nullptr) {
        QAction* ours =
            option->addAction(AppProfile::Translate(QStringLiteral("Evidence and Alarm Setting")));
        ours->setData(kMenuCommand);
        connect(ours, &QAction::triggered, dialog_.data(), &PreferenceDlg::ShowCurrent);
    }
    connect(&targets_.alarms, &AlarmDesk::alarmRaised, this,
            [this](const QString& device_id) { recorder_.OnAlarm(device_id, clock_.elapsed()); });
    connect(timer_, &QTimer::timeout, this, &EvidenceWiring::Tick);
    timer_->start(kTick_ms);
}

EvidenceWiring::~EvidenceWiring() { delete dialog_.data(); }

OwnPrefsDlg* EvidenceWiring::dialog() const { return dialog_.data(); }

std::vector<GridChannel> EvidenceWiring::GridChannels() const {
    std::vector<GridChannel> channels;
    for (const GridSlot* slot : targets_.grid.Model().Windows()) {
        if (!slot->channel_item || !slot->channel || !slot->device) continue;
        GridChannel channel;
        channel.device = slot->device;
        channel.channel = slot->channel;
        channel.device_id = DeviceIdOf(slot->device);
        channel.vehicle = slot->channel_item->parent() ? slot->channel_item->parent()->text(0) : QString();
        channel.number = slot->channel_item->data(0, Qt::UserRole).toInt();
        channels.push_back(channel);
    }
    return channels;
}

void EvidenceWiring::Tick() {
    std::vector<AppDevice*> devices;
    for (const GridSlot* slot : targets_.grid.Model().Windows())
        if (slot->channel_item && slot->device) devices.push_back(slot->device);
    pre_record_.Sync(devices, prefs_.pre_alarm_s);
    recorder_.Tick(clock_.elapsed());
    WatchRecordings();
}

void EvidenceWiring::WatchRecordings() {
    const std::vector<CDevShowDlg*> windows = targets_.grid.Windows();
    std::vector<RecordingWatch::Sample> samples;
    for (CDevShowDlg* window : windows)
        if (window->channel && window->channel_item)
            samples.push_back(
                {window->channel, VelqChn_IsRecording(window->channel) != 0, window->Stats().presented});
    const auto name_of = [](const CDevShowDlg* window) {
        QTreeWidgetItem* node = window->channel_item;
        return (node->parent() ? node->parent()->text(0) + u' ' : QString()) + node->text(0);
    };
    for (const RecordingWatch::Change& change : watch_.Step(samples, clock_.elapsed())) {
        for (const CDevShowDlg* window : windows) {
            if (window->channel != change.channel || !window->channel_item) continue;
            if (change.waiting)
                log_(AppProfile::Translate(QStringLiteral("REC - waiting for video")) + QStringLiteral(": ") +
                     name_of(window));
            else
                log_(AppProfile::Translate(QStringLiteral("Recording resumed after %1 s without video"))
                         .arg(change.waited_ms / 1000) +
                     QStringLiteral(": ") + name_of(window));
        }
    }
    const QString note = AppProfile::Translate(QStringLiteral("REC - waiting for video"));
    for (CDevShowDlg* window : windows) {
        const bool waiting = window->channel && window->channel_item && watch_.Waiting(window->channel);
        if (waiting == !window->RecordingNote().isEmpty()) continue;
        window->SetRecordingNote(waiting ? note : QString());
        if (QTreeWidgetItem* node = window->channel_item) {
            // The recording icon greyed while nothing is written; back to what the channel does now.
            const QIcon recording = targets_.tree.ImageIcon(DevTree::kChannelRecording);
            if (waiting)
                node->setIcon(0, QIcon(recording.pixmap(16, QIcon::Disabled)));
            else
                targets_.tree.SetChannelImage(node, VelqChn_IsRecording(window->channel)
                                                        ? DevTree::kChannelRecording
                                                        : DevTree::kChannelPlaying);
            node->setToolTip(0, waiting ? note : QString());
        }
    }
}

void EvidenceWiring::LoggedOut() {
    pre_record_.Sync({}, prefs_.pre_alarm_s);
    pre_record_.Forget();
    recorder_.Forget();
}

void EvidenceWiring::Apply(const OwnPrefs& prefs) {
    prefs_ = prefs;
    recorder_.Configure(prefs.record_on_alarm, prefs.post_alarm_s);
    Tick();
}

bool EvidenceWiring::StartRecording(const GridChannel& channel) {
    const AppSettings& settings = targets_.settings;
    if (!EnsureFolder(settings.RecordPath)) return false;
    const QString path = settings.RecordPath + RecordFileName(channel.vehicle, channel.number);
    // The grid's sources: a stop of this source left by cycling may still be running.
    targets_.grid.Sources().SourceStart(channel.channel);
    if (!VelqChn_RecordStart(channel.channel, reinterpret_cast<const char16_t*>(path.utf16()),
                             settings.RecordDuration)) {
        log_(AppProfile::Translate(QStringLiteral("Record failed")) + QStringLiteral(": ") + path);
        return false;
    }
    if (QTreeWidgetItem* node = NodeOf(targets_.grid, channel.channel))
        targets_.tree.SetChannelImage(node, DevTree::kChannelRecording);
    log_(AppProfile::Translate(QStringLiteral("Recording on alarm")) + QStringLiteral(": ") + path);
    return true;
}

void EvidenceWiring::StopRecording(const GridChannel& channel) {
    VelqChn_RecordStop(channel.channel);
    if (QTreeWidgetItem* node = NodeOf(targets_.grid, channel.channel))
        targets_.tree.SetChannelImage(node, DevTree::kChannelPlaying);
    log_(AppProfile::Translate(QStringLiteral("Recording on alarm ended")) + QStringLiteral(": ") +
         channel.vehicle + QStringLiteral(" ") + QString::number(channel.number));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/channel_actions.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>
#include <QUrl>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "app/shown_text.h"
#include "fleet/dev_tree.h"
#include "fleet/dev_tree_entry.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "grid/snapshot_watch.h"

namespace {

const char16_t* Utf16(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// Polls for the file a snapshot request wrote and says on the tile which it is, or that none came. The
// poll belongs to the tile, so it ends with it.
void NoticeWhenWritten(CDevShowDlg* window, const SnapshotWatch& watch) {
    constexpr int kPoll_ms = 100;
    auto* poll = new QTimer(window);
    const QDeadlineTimer deadline(SnapshotWatch::kWait_ms);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll, deadline, watch] {
        const QString written = watch.Find();
        if (written.isEmpty() && !deadline.hasExpired()) return;
        window->ShowNotice(written.isEmpty() ? AppProfile::Translate(QStringLiteral("Snapshot failed: %1"))
                                                   .arg(LeftToRight(watch.RequestedName()))
                                             : AppProfile::Translate(QStringLiteral("Snapshot saved: %1"))
                                                   .arg(LeftToRight(QFileInfo(written).fileName())));
        poll->deleteLater();
    });
    poll->start(kPoll_ms);
}

}  // namespace

ChannelActions::ChannelActions(DevTree* tree, PageTab* grid, VelqWindow* eventWindow,
                               const AppSettings& settings, std::function<void(const QString&)> log,
                               ChannelStopper& stopper, QObject* parent)
    : QObject(parent),
      tree_(tree),
      grid_(grid),
      event_window_(eventWindow),
      settings_(settings),
      log_(std::move(log)),
      stopper_(stopper),
      self_(std::make_shared<ChannelActions*>(this)) {}

QString ChannelActions::CommandText(int command) {
    switch (command) {
        case kCommandPlay:
            return AppProfile::Translate(QStringLiteral("Play"));
        case kCommandAudio:
            return AppProfile::Translate(QStringLiteral("Audio"));
        case kCommandTalk:
            return AppProfile::Translate(QStringLiteral("Talk"));
        case kCommandRecord:
            return AppProfile::Translate(QStringLiteral("Record"));
        case kCommandSnapshot:
            return AppProfile::Translate(QStringLiteral("Snapshot"));
        case kCommandConfig:
            return AppProfile::Translate(QStringLiteral("Config"));
        case kCommandMap:
            return AppProfile::Translate(QStringLiteral("Map"));
    }
    return {};
}

ChannelMenuFacts ChannelActions::FactsFor(QTreeWidgetItem* node) const {
    ChannelMenuFacts facts;
    if (!node) return facts;
    if (node->parent()) {
        facts.chn = node->data(0, Qt::UserRole).toInt();
        facts.dev = node->parent()->data(0, Qt::UserRole).toInt();
    } else {
        facts.dev = node->data(0, Qt::UserRole).toInt();
    }
    const CDevShowDlg* active = grid_->ActiveWindow();
    facts.nodeIsActiveChannel = active && active->channel_item == node;
    facts.activeRecording = facts.nodeIsActiveChannel && active->channel &&
                            VelqChn_IsRecording(active->channel) && !RecordStopping(active->channel);
    if (const DevTreeEntry* record = tree_->EntryOf(node); record && record->audio_channel) {
        facts.hasAudioChannel = true;
        facts.audioPlaying = SoundOn(*record, false);
        facts.talking = SoundOn(*record, true);
    }
    return facts;
}

void ChannelActions::ShowMenu(QTreeWidgetItem* node, const QPoint& globalPos, QWidget* parent) {
    QMenu menu(parent);
    for (const ChannelMenuEntry& entry : ChannelMenuEntries(FactsFor(node))) {
        QAction* action = menu.addAction(CommandText(entry.command));
        action->setData(int(entry.command));
        action->setEnabled(entry.enabled);
        action->setCheckable(entry.checked);
        action->setChecked(entry.checked);
    }
    if (node && !node->parent() && open_all_) {
        menu.addSeparator();
        menu.addAction(AppProfile::Translate(QStringLiteral("Open All Channels")))
            ->setData(kCommandOpenAllChannels);
    }
    if (more_) {
        menu.addSeparator();
        more_(menu);
    }
    if (QAction* chosen = menu.exec(globalPos)) Run(chosen->data().toInt());
}

void ChannelActions::Run(int command) {
    QTreeWidgetItem* node = tree_->currentItem();
    switch (command) {
        case kCommandPlay:
            Play(node);
            break;
        case kCommandAudio:
            ToggleSound(node, false);
            break;
        case kCommandTalk:
            ToggleSound(node, true);
            break;
        case kCommandRecord:
            Record(node);
            break;
        case kCommandSnapshot:
            Snapshot(node);
            break;
        case kCommandMap:
            if (map_toggle_) map_toggle_();
            break;
        case kCommandConfig:
            if (config_) config_(node);
            break;
        case kCommandOpenAllChannels:
            if (open_all_ && node && !node->parent()) open_all_(node);
            break;
        default:
            break;
    }
    grid_->UpdateMarks();
}

void ChannelActions::Play(QTreeWidgetItem* node) {
    if (!node || !node->parent()) return;
    grid_->Model().PlayCommand(node);
}

void ChannelActions::ToggleSound(QTreeWidgetItem* node, bool talk) {
    DevTreeEntry* record = tree_->EntryOf(node);
    if (!record) return;
    if (!record->audio_channel) {
        record->audio_channel = VelqDev_CreateChannel(record->device, 1, event_window_);
        if (!record->audio_channel) return;  // the next command tries again
    }
    AppChannel* channel = record->audio_channel;
    if (SoundOn(*record, talk)) {
        // Each stop waits for its transfer and player threads; the marks follow once it has ended.
        stopper_.Stop(
            SoundKey(record->device, talk),
            [channel, talk] { talk ? VelqChn_TalkStop(channel) : VelqChn_AudioStop(channel); },
            [self = std::weak_ptr(self_)] {
                if (const auto alive = self.lock()) (*alive)->grid_->UpdateMarks();
            });
        return;
    }
    // Once a stop of the same sound still pending has ended (a logout drops the start).
    stopper_.StartAfterStops(SoundKey(record->device, talk), [channel, talk, self = std::weak_ptr(self_)] {
        const auto alive = self.lock();
        if (!alive) return;
        talk ? VelqChn_TalkStart(channel) : VelqChn_AudioPlay(channel);
        (*alive)->grid_->UpdateMarks();
    });
}

ChannelStopper::Key ChannelActions::SoundKey(const AppDevice* device, bool talk) {
    // Numbers no camera has: listening and talk stop apart, and neither holds back the device's first
    // camera (the audio channel is made as channel 1).
    return {device, talk ? -3 : -2};
}

bool ChannelActions::SoundOn(const DevTreeEntry& record, bool talk) const {
    AppChannel* channel = record.audio_channel;
    if (!channel || stopper_.Pending(SoundKey(record.device, talk))) return false;
    return (talk ? VelqChn_IsTalking(channel) : VelqChn_IsAudioPlaying(channel)) != 0;
}

AppChannel* ChannelActions::ActiveChannelOf(QTreeWidgetItem* node) const {
    const CDevShowDlg* active = grid_->ActiveWindow();
    if (!node || !node->parent() || !active || active->channel_item != node) return nullptr;
    return active->channel;
}

void ChannelActions::Record(QTreeWidgetItem* node) {
    AppChannel* channel = ActiveChannelOf(node);
    if (!channel) return;
    if (VelqChn_IsRecording(channel) && !RecordStopping(channel)) {
        // Closing the file waits for a write in progress on a transfer thread.
        record_stopping_.insert(channel);
        stopper_.Stop(
            ChannelStopper::KeyOf(channel), [channel] { VelqChn_RecordStop(channel); },
            [self = std::weak_ptr(self_), channel] {
                if (const auto alive = self.lock()) (*alive)->record_stopping_.erase(channel);
            });
        tree_->SetChannelImage(node, DevTree::kChannelPlaying);
        return;
    }
    const AppSettings& settings = settings_;
    if (!EnsureFolder(settings.RecordPath)) return;
    const QString path =
        settings.RecordPath + RecordFileName(node->parent()->text(0), node->data(0, Qt::UserRole).toInt());
    if (path.size() > kMaxPathUnits) {
        log_(AppProfile::Translate(QStringLiteral("Record path too long")) + QStringLiteral(": ") + path);
        return;
    }
    // A recording of this camera still closing (or its source still stopping) ends first: started before,
    // the new recording would find the old one open and be closed with it. A stop of the camera queued
    // meanwhile (its tile closed) or a logout drops the start.
    stopper_.StartAfterStops(ChannelStopper::KeyOf(channel), [self = std::weak_ptr(self_), channel, path,
                                                              duration_s = settings.RecordDuration] {
        if (const auto alive = self.lock()) (*alive)->StartRecording(channel, path, duration_s);
    });
}

void ChannelActions::StartRecording(AppChannel* channel, const QString& path, int duration_s) {
    QTreeWidgetItem* node = nullptr;
    for (GridSlot* slot : grid_->Model().Windows()) {
        if (slot->channel == channel) node = slot->channel_item;
    }
    if (!node) return;  // the tile let go of the channel meanwhile
    // Through the grid's sources: a stop of this source left by cycling may still be running.
    grid_->Sources().SourceStart(channel);
    if (!VelqChn_RecordStart(channel, Utf16(path), duration_s)) {
        log_(AppProfile::Translate(QStringLiteral("Record failed")) + QStringLiteral(": ") + path);
        return;
    }
    tree_->SetChannelImage(node, DevTree::kChannelRecording);
    grid_->UpdateMarks();
}

void ChannelActions::Snapshot(QTreeWidgetItem* node) {
    AppChannel* channel = ActiveChannelOf(node);
    if (!channel) return;
    const AppSettings& settings = settings_;
    if (!EnsureFolder(settings.SnapshotPath)) return;
    const QString path = settings.SnapshotPath +
                         SnapshotFileName(node->parent()->text(0), node->data(0, Qt::UserRole).toInt());
    if (path.size() > kMaxPathUnits) {
        log_(AppProfile::Translate(QStringLiteral("Snapshot path too long")) + QStringLiteral(": ") + path);
        return;
    }
    CDevShowDlg* window = grid_->ActiveWindow();
    if (!VelqChn_Snapshot(channel, Utf16(path))) {
        window->ShowNotice(AppProfile::Translate(QStringLiteral("Snapshot failed: %1"))
                               .arg(LeftToRight(QFileInfo(path).fileName())));
    } else {
        NoticeWhenWritten(window, SnapshotWatch(path, QDateTime::currentDateTime()));
    }
    if (settings.SnapshotOpenPath != 0) QDesktopServices::openUrl(QUrl::fromLocalFile(settings.SnapshotPath));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tree_channel.h"

#include <QPointer>
#include <QTreeWidgetItem>
#include <memory>
#include <vector>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "grid/dev_show_dlg.h"
#include "grid/grid_model.h"

namespace {

// Makes the window's channel and plays it, unless the window was unbound or bound again since `binding`
// (its sink) was made: then the start is no longer wanted.
void OpenChannel(const QPointer<CDevShowDlg>& window, const std::weak_ptr<TileSink>& binding,
                 AppDevice* device, int number, const AppSettings& settings) {
    const std::shared_ptr<TileSink> sink = binding.lock();
    if (!window || !sink || window->Sink() != sink || !sink->attached() || window->device != device) return;
    window->channel = VelqDev_CreateChannel(device, number, window->Sink().get());
    if (!window->channel) return;
    VelqChn_SetBkColor(window->channel, uint32_t(settings.ChildBkColor));
    VelqChn_ShowVerbose(window->channel, settings.ShowVerbose);
    VelqChn_SetBufKeep(window->channel, settings.LowDelay);
    VelqChn_VideoPlay(window->channel);
}

}  // namespace

void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window,
                     const AppSettings& settings, SessionController& session) {
    QTreeWidgetItem* device_item = channel_item->parent();
    const int number = channel_item->data(0, Qt::UserRole).toInt();
    const DevTreeEntry* record = tree.Entry(device_item->data(0, Qt::UserRole).toInt());
    tree.SetChannelImage(channel_item, DevTree::kChannelPlaying);
    AppDevice* device = record ? record->device : nullptr;
    window->BeginChannel(device_item->text(0), channel_item->text(0));
    window->channel = nullptr;
    window->device = device;
    window->channel_item = channel_item;
    window->setWindowTitle(device_item->text(0) + QStringLiteral(": ") + channel_item->text(0));
    if (!device) return;
    // The session keeps the window's sink as long as its threads may present into it.
    session.Keep(window->Sink());
    // The same camera still stopping in another window (closed a moment ago): it opens here once that
    // stop has ended; until then the window is bound without a channel.
    session.stopper().StartAfterStops(
        {device, number},
        [window = QPointer<CDevShowDlg>(window), binding = std::weak_ptr<TileSink>(window->Sink()), device,
         number, &settings] { OpenChannel(window, binding, device, number, settings); });
}

void StopTreeChannel(DevTree& tree, CDevShowDlg* window, ChannelStopper& stopper) {
    if (window->channel_item) tree.SetChannelImage(window->channel_item, DevTree::kChannelIdle);
    const ChannelStopper::Key key{
        window->device, window->channel_item ? window->channel_item->data(0, Qt::UserRole).toInt() : 0};
    // The window is free at once; the library's stop waits for the channel's threads on the worker.
    if (AppChannel* channel = window->DetachChannel()) {
        stopper.Stop(key, [channel] {
            VelqChn_RecordStop(channel);
            VelqChn_VideoStop(channel);
            VelqChn_Release(channel);
        });
    }
    window->setWindowTitle(AppProfile::Translate(QStringLiteral("Device Video Display")));
}

bool DeviceAudioPlaying(const DevTree& tree, AppDevice* device) {
    const DevTreeEntry* record = tree.Entry(VelqDev_GetUserData(device));
    return record && record->device == device && record->audio_channel &&
           VelqChn_IsAudioPlaying(record->audio_channel);
}

bool DeviceTalking(const DevTree& tree, AppDevice* device) {
    const auto talking = [](const DevTreeEntry* record) {
        return record && record->audio_channel && VelqChn_IsTalking(record->audio_channel);
    };
    if (device) {
        const DevTreeEntry* record = tree.Entry(VelqDev_GetUserData(device));
        return record && record->device == device && talking(record);
    }
    for (int i = 0; i < tree.EntryCount(); ++i) {
        if (talking(tree.Entry(i))) return true;
    }
    return false;
}

QTreeWidgetItem* TreeGridOwner::FindChannelNode(const QByteArray& device_id, int channel) {
    return tree_.FindChannelNode(device_id, channel);
}

QTreeWidgetItem* TreeGridOwner::ChannelNode(int device, int channel) {
    return tree_.ChannelNode(device, channel);
}

QTreeWidgetItem* TreeGridOwner::SelectedNode() {
    return tree_.currentItem();
}

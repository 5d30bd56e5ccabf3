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

// Makes the camera's channel presenting into `target` and plays it with the settings' background,
// verbosity and buffer.
AppChannel* OpenChannel(AppDevice* device, int number, VelqWindow* target, const AppSettings& settings) {
    AppChannel* channel = VelqDev_CreateChannel(device, number, target);
    if (!channel) return nullptr;
    VelqChn_SetBkColor(channel, uint32_t(settings.ChildBkColor));
    VelqChn_ShowVerbose(channel, settings.ShowVerbose);
    VelqChn_SetBufKeep(channel, settings.LowDelay);
    VelqChn_VideoPlay(channel);
    return channel;
}

}  // namespace

void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window,
                     const AppSettings& settings, SessionController& session, SharedChannels& channels,
                     const void* grid) {
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
    // The camera shown in a tile of another grid: this tile joins its channel. Otherwise it opens here,
    // once a stop of the same camera closed a moment ago has ended; until then the window is bound
    // without a channel.
    channels.Show(window, {device, number}, grid, [device, number, &settings](VelqWindow* target) {
        return OpenChannel(device, number, target, settings);
    });
}

void StopTreeChannel(DevTree& tree, CDevShowDlg* window, ChannelStopper& stopper, SharedChannels& channels) {
    // Another grid may still show the camera: its node stays playing then.
    if (window->channel_item &&
        channels.Viewers({window->device, window->channel_item->data(0, Qt::UserRole).toInt()}) <= 1)
        tree.SetChannelImage(window->channel_item, DevTree::kChannelIdle);
    const ChannelStopper::Key key{
        window->device, window->channel_item ? window->channel_item->data(0, Qt::UserRole).toInt() : 0};
    // The window is free at once; the library's stop of the camera's last tile waits for the channel's
    // threads on the worker.
    if (AppChannel* channel = channels.Leave(window, key)) {
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

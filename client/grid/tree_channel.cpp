// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tree_channel.h"

#include <QTreeWidgetItem>
#include <vector>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "grid/dev_show_dlg.h"
#include "grid/grid_model.h"

void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window,
                     const AppSettings& settings, SessionController& session) {
    QTreeWidgetItem* device_item = channel_item->parent();
    const int channel = channel_item->data(0, Qt::UserRole).toInt();
    const DevTreeEntry* record = tree.Entry(device_item->data(0, Qt::UserRole).toInt());
    tree.SetChannelImage(channel_item, DevTree::kChannelPlaying);
    AppDevice* device = record ? record->device : nullptr;
    window->BeginChannel(device_item->text(0), channel_item->text(0));
    // The session keeps the window's sink as long as its threads may present into it.
    if (device) session.Keep(window->Sink());
    window->channel = device ? VelqDev_CreateChannel(device, channel, window->Sink().get()) : nullptr;
    window->device = device;
    window->channel_item = channel_item;
    if (window->channel) {
        VelqChn_SetBkColor(window->channel, uint32_t(settings.ChildBkColor));
        VelqChn_ShowVerbose(window->channel, settings.ShowVerbose);
        VelqChn_SetBufKeep(window->channel, settings.LowDelay);
        VelqChn_VideoPlay(window->channel);
    }
    window->setWindowTitle(device_item->text(0) + QStringLiteral(": ") + channel_item->text(0));
}

void StopTreeChannel(DevTree& tree, CDevShowDlg* window) {
    if (window->channel_item) tree.SetChannelImage(window->channel_item, DevTree::kChannelIdle);
    window->ReleaseChannel();
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/tree_channel.h"

#include <QTreeWidgetItem>

#include "app/app_client.h"
#include "app/app_profile.h"
#include "app/app_settings.h"
#include "fleet/dev_tree.h"
#include "grid/dev_show_dlg.h"

void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window) {
    QTreeWidgetItem* device_item = channel_item->parent();
    const int channel = channel_item->data(0, Qt::UserRole).toInt();
    const DevTreeEntry* record = tree.Entry(device_item->data(0, Qt::UserRole).toInt());
    tree.SetChannelImage(channel_item, DevTree::kChannelPlaying);
    AppDevice* device = record ? record->device : nullptr;
    window->channel = device ? VelqDev_CreateChannel(device, channel, window) : nullptr;
    window->device = device;
    window->channelItem = channel_item;
    if (window->channel) {
        const AppSettings& settings = CAppClient::Settings();
        VelqChn_SetBkColor(window->channel, uint32_t(settings.ChildBkColor));
        VelqChn_ShowVerbose(window->channel, settings.ShowVerbose);
        VelqChn_SetBufKeep(window->channel, settings.LowDelay);
        VelqChn_VideoPlay(window->channel);
    }
    window->setWindowTitle(device_item->text(0) + QStringLiteral(": ") + channel_item->text(0));
}

void StopTreeChannel(DevTree& tree, CDevShowDlg* window) {
    if (window->channelItem) tree.SetChannelImage(window->channelItem, DevTree::kChannelIdle);
    window->ReleaseChannel();
    window->setWindowTitle(AppProfile::Translate(QStringLiteral("Device Video Display")));
}

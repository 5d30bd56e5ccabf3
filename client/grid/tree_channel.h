// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Binding a channel node of the device tree to a display window of the grid. UI thread only.
#include "corvel/corvel.h"

class AppSettings;
class CDevShowDlg;
class DevTree;
class GridModel;
class QTreeWidgetItem;
class SessionController;

// Opens channel node `channel_item` in `window`: the node shows "playing", the library draws the channel
// into the window's sink (kept by `session`) with the background, verbosity and buffer of `settings`. A
// channel the library cannot make leaves the window bound to the node without a channel, so that Play on the
// node or a logout frees it.
void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window,
                     const AppSettings& settings, SessionController& session);
// Closes what `window` shows; its node shows idle again.
void StopTreeChannel(DevTree& tree, CDevShowDlg* window);

// The device's audio plays (its record's audio channel).
bool DeviceAudioPlaying(const DevTree& tree, AppDevice* device);
// Talk is open to the device; with none, to any device of the tree.
bool DeviceTalking(const DevTree& tree, AppDevice* device);
// An alarm's way to video: the channels of device node `device_node` fill the first page of `grid`,
// sized to hold them (up to 4 x 4), in front of what was shown. False when the device has no channel.
bool PlaceDeviceChannels(GridModel& grid, QTreeWidgetItem* device_node);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Binding a channel node of the device tree to a display window of the grid. UI thread only.
class CDevShowDlg;
class DevTree;
class QTreeWidgetItem;

// Opens channel node `channel_item` in `window`: the node shows "playing", the library draws the channel
// into the window. A channel the library cannot make leaves the window bound to the node without a
// channel, so that Play on the node or a logout frees it.
void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window);
// Closes what `window` shows; its node shows idle again.
void StopTreeChannel(DevTree& tree, CDevShowDlg* window);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's record of one device. Its index in the tree's array is the device's row everywhere in the
// client: the device's user data in the library and the device node's item data hold it.
#include "corvel/corvel.h"

class QTreeWidgetItem;

struct DevTreeEntry {
    QTreeWidgetItem* item = nullptr;      // the device's top-level node
    AppDevice* device = nullptr;          // owned by the session
    AppChannel* audio_channel = nullptr;  // channel used by the Audio and Talk commands, made on first use
    int online = -1;                      // -1 before the first state, then 0 or 1
};

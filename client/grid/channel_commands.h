// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the channel context menu and the file names the Record and Snapshot commands write. Plain
// functions: the main window builds the menu and runs the commands from them.
#pragma once

#include <QString>
#include <array>

// Command IDs of the channel context menu, also sent by the grid's tab-strip buttons.
enum ChannelCommand : int {
    kCommandPlay = 32776,
    kCommandAudio = 32779,
    kCommandTalk = 32773,
    kCommandRecord = 32774,
    kCommandSnapshot = 32790,
    kCommandConfig = 32775,
    kCommandMap = 32772,
};

// What the menu's rules look at, gathered by the main window for the node that was right-clicked.
struct ChannelMenuFacts {
    int dev = -1;                      // the device record's index, -1 without a node
    int chn = -1;                      // the channel number, -1 unless the node is a channel node
    bool nodeIsActiveChannel = false;  // the node is the channel item of the grid's active window
    bool activeRecording = false;      // the active window's channel records
    bool hasAudioChannel = false;      // the device record has its audio channel
    bool audioPlaying = false;
    bool talking = false;
};

struct ChannelMenuEntry {
    ChannelCommand command;
    bool enabled;
    bool checked;
};

// The seven entries in menu order (Play, Audio, Talk, Record, Snapshot, Config, Map).
std::array<ChannelMenuEntry, 7> ChannelMenuEntries(const ChannelMenuFacts& facts);

// A text from the server made safe as part of a file name: path separators, control characters (NUL
// included) and characters other systems refuse become "_", as do leading dots (so "." and ".." cannot
// name a folder); empty gives "_"; at most 64 characters.
QString SafeFileNamePart(const QString& text);

// "<vehicle>-chnNN.avi" and "<vehicle>-chnNN.bmp" with the vehicle text made safe.
QString RecordFileName(const QString& vehicle, int channel);
QString SnapshotFileName(const QString& vehicle, int channel);

// Creates the folder (and its parents) when missing. False when it does not exist afterwards.
bool EnsureFolder(const QString& folder);

// Longest path the library takes, in UTF-16 units.
constexpr int kMaxPathUnits = 259;

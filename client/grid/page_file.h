// SPDX-License-Identifier: GPL-3.0-or-later
// Page files: what Save Page writes and Load Page reads back. An initialization file with the grid's size
// and one section per channel ("LiveConfig 1", ...); other content of an existing file stays.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

struct PageFileEntry {
    int index = 0;        // n of its section "LiveConfig n" (written only)
    QByteArray deviceId;  // device information code 0, at most 63 bytes of UTF-8
    QString vehicleId;    // the device node's text (written for information, not read back)
    int channel = 0;      // channel number, from 1
};

struct PageFileContent {
    QString pageName;  // written for information
    int rows = 0;
    int cols = 0;
    int liveCount = 0;  // written: the number of windows with a channel
    std::vector<PageFileEntry> entries;
};

// Entries read at most; a file asking for more is cut with a note.
constexpr int kMaxPageFileEntries = 1024;

bool WritePageFile(const QString& path, const PageFileContent& content);
// The grid size (each 1 to 8) and the entries with a device id and a channel, in file order. nullopt
// when the file gives no usable grid size; `problem` then holds the line for the log. A file cut at
// kMaxPageFileEntries gives its content and a note in `problem`.
std::optional<PageFileContent> ReadPageFile(const QString& path, QString* problem);

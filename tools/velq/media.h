// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media commands: record, snapshot, play, listen, talk. Each logs in, opens channels of one device,
// runs until its duration passes or Ctrl-C, prints statistics once a second on standard error, and
// gives everything back before it returns. Each throws Failure for a failed run.
#include <string>
#include <vector>

#include "client.h"

namespace velq {

struct MediaOptions {
    CommonOptions common;
    std::string device;
    std::vector<int> channels;  // counted from 1
    std::string file;           // record: the AVI, snapshot: the BMP, talk: the WAV microphone (may be empty)
    int duration_s = 0;         // 0: until Ctrl-C (snapshot: how long to wait for a picture)
    int split_s = 0;            // record: the longest file, 0 for one file
    int pre_record_s = 0;       // record: seconds kept before the start (VELQ_DEV_PRE_RECORD_SECONDS), 0 off
    int start_after_s = 0;      // record with pre_record_s: play this long (or until SIGUSR1), then record
};

int Record(const MediaOptions& options);
int Snapshot(const MediaOptions& options);
int Play(const MediaOptions& options);
int Listen(const MediaOptions& options);
int Talk(const MediaOptions& options);

}  // namespace velq

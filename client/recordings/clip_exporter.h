// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <functional>

#include "recordings/ui_text.h"

namespace recordings {

// What an export wrote.
struct ClipResult {
    bool ok = false;
    UserText error;          // for the user when !ok
    double start_ms = 0;     // where the clip starts in the recording: the key frame at or before in
    double duration_ms = 0;  // video frames written x frame period
    size_t video_frames = 0;
};

// Called now and then with the share done (0..1); returning false cancels the export.
using ClipProgress = std::function<bool(double done)>;

// Writes the part [in_ms, out_ms) of a recording to a new AVI by stream copy: no sample is decoded or
// encoded. The clip starts at the key frame at or before in_ms (so that it plays from its first frame) and
// its timestamps start at 0. It is written beside the target under a temporary name and renamed over the
// target only when complete; a failed or cancelled export leaves nothing behind. The recording itself is
// only read, and a target that names the recording is refused. Runs on the calling thread (the window
// calls it from a worker thread and shows the progress).
ClipResult ExportClip(const QString& recording, const QString& target, double in_ms, double out_ms,
                      const ClipProgress& progress = {});

}  // namespace recordings

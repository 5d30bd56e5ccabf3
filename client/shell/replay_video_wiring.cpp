// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/replay_video_wiring.h"

#include <QDateTime>

#include "grid/channel_commands.h"
#include "map/replay_panel.h"
#include "recordings/recording_coverage.h"
#include "recordings/recordings_launcher.h"

void WireReplayVideo(ReplayPanel& panel, recordings::RecordingsLauncher& launcher,
                     std::function<QStringList()> record_folders,
                     std::function<QString(const QString&)> label_of, QWidget* parent) {
    ReplayVideoLink::Sources sources;
    sources.find = [record_folders = std::move(record_folders), label_of = std::move(label_of)](
                       const QString& device_id, const QDateTime& moment) {
        const recordings::RecordingCoverage coverage(record_folders(), recordings::ProbeRecordingMs);
        const QString label = label_of ? label_of(device_id) : QString();
        recordings::Coverage found;
        if (!label.isEmpty()) found = coverage.Find(SafeFileNamePart(label), moment);
        if (found.recordings.empty() && label != device_id)
            found = coverage.Find(SafeFileNamePart(device_id), moment);
        return found;
    };
    sources.open = [&launcher, parent](const QString& path, const QDateTime& moment) {
        return launcher.OpenPlayerAt(path, moment, QString(), parent);
    };
    panel.SetVideoSources(std::move(sources));
}

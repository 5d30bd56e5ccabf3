// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/alarm_evidence_wiring.h"

#include <QDateTime>
#include <QStringList>

#include "fleet/alarm_history_dlg.h"
#include "grid/channel_commands.h"
#include "recordings/recording_coverage.h"
#include "recordings/recordings_launcher.h"

void WireAlarmEvidence(AlarmHistoryDlg& history, recordings::RecordingsLauncher& launcher,
                       std::function<QStringList()> record_folders,
                       std::function<QString(const QString&)> translate, QWidget* parent) {
    history.SetRecordingsLookup([record_folders = std::move(record_folders)](const AlarmEpisode& episode) {
        const recordings::RecordingCoverage coverage(record_folders(), recordings::ProbeRecordingMs);
        // Recordings are named after the vehicle's label as the tree shows it, made safe for a file name.
        const recordings::Coverage found =
            coverage.Find(SafeFileNamePart(episode.label), QDateTime::fromSecsSinceEpoch(episode.started_s));
        EpisodeRecordings result;
        result.capped = found.capped;
        for (const recordings::CoveringRecording& r : found.recordings)
            result.recordings.append({r.path, r.channel, r.first, r.last});
        return result;
    });
    QObject::connect(&history, &AlarmHistoryDlg::playRequested, parent,
                     [&launcher, parent, translate = std::move(translate)](const AlarmEpisode& episode,
                                                                           const QString& path) {
                         launcher.OpenPlayerAt(path, QDateTime::fromSecsSinceEpoch(episode.started_s),
                                               AlarmRecordText(episode, translate), parent);
                     });
}

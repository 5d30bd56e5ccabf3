// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// From the route replay to the vehicle's recordings: the replay window (map/) asks which local recordings
// cover a moment and opens the player there (recordings/). The two sides do not know each other; this
// joins them. UI thread.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class ReplayPanel;
namespace recordings {
class RecordingsLauncher;
}

// record_folders: where recordings are, read at each lookup (on the UI thread); label_of: a device id's
// label as the tree shows it, which names its recordings (older ones were named by the id, which is
// tried when the label finds none). Players open as children of `parent`; the launcher and parent
// outlive the panel.
void WireReplayVideo(ReplayPanel& panel, recordings::RecordingsLauncher& launcher,
                     std::function<QStringList()> record_folders,
                     std::function<QString(const QString&)> label_of, QWidget* parent);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFutureWatcher>
#include <QHash>
#include <QWidget>
#include <functional>

#include "recordings/recordings_index.h"
#include "recordings/ui_text.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace recordings {

// The recordings window: the index's recordings grouped by vehicle and channel (start, length, size), the
// snapshots beside them as thumbnails, filters by vehicle and date, folders added by the user. Opening a
// recording (double-click, Enter) goes to `open_recording`, which the composition root points at a player
// window. UI thread; the lengths of recordings not seen before are probed on a worker thread and filled in
// as they come, so that a big folder (or a file that reads slowly) never holds the window up.
class RecordingsWindow : public QWidget {
    Q_OBJECT

  public:
    using OpenRecording = std::function<void(const QString& path)>;
    // translate: the texts shown, in the user's language.
    RecordingsWindow(RecordingsIndex& index, OpenRecording open_recording, TranslateText translate,
                     QWidget* parent = nullptr);
    // Cancels the probes still to start; one running ends on the worker thread, its result dropped.
    ~RecordingsWindow() override;

    // Reads the folders again and shows what they hold under the current filters; the lengths still
    // unknown follow from the worker thread.
    void Refresh();
    // Whether lengths are still being probed.
    bool probing() const { return probes_ != nullptr; }
    void SetFilter(const RecordingFilter& filter);
    // The paths listed, in the order shown (group by group), and the snapshots shown.
    QStringList ListedRecordings() const;
    QStringList ListedSnapshots() const;
    // Opens the recording of a listed row, as a double-click does.
    void OpenListed(int row);

  signals:
    // Every length of the last Refresh is known (also emitted when none was missing).
    void lengthsRead();

  private:
    struct Probed {
        QString path;
        double duration_ms = -1;
    };
    void StartProbes();
    void StopProbes();
    void OnProbed(int result_index);
    void Fill();
    void AddFolder();
    RecordingFilter CurrentFilter() const;

    RecordingsIndex& index_;
    OpenRecording open_recording_;
    TranslateText translate_;
    QComboBox* vehicle_;
    QCheckBox* use_date_;
    QDateEdit* date_;
    QTreeWidget* list_;
    QListWidget* snapshots_;
    bool filling_ = false;
    QFutureWatcher<Probed>* probes_ = nullptr;
    QHash<QString, QTreeWidgetItem*> rows_;  // the listed recordings' rows by path, as Fill made them
};

}  // namespace recordings

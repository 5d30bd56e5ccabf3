// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
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
// window. UI thread.
class RecordingsWindow : public QWidget {
    Q_OBJECT

  public:
    using OpenRecording = std::function<void(const QString& path)>;
    // translate: the texts shown, in the user's language.
    RecordingsWindow(RecordingsIndex& index, OpenRecording open_recording, TranslateText translate,
                     QWidget* parent = nullptr);

    // Reads the folders again and shows what they hold under the current filters.
    void Refresh();
    void SetFilter(const RecordingFilter& filter);
    // The paths listed, in the order shown (group by group), and the snapshots shown.
    QStringList ListedRecordings() const;
    QStringList ListedSnapshots() const;
    // Opens the recording of a listed row, as a double-click does.
    void OpenListed(int row);

  private:
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
};

}  // namespace recordings

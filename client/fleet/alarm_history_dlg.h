// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm history search: vehicle text, kind and start-time range over the history file, the rows
// found newest first, and export of the shown rows to a CSV file. Searches run on a worker thread of the
// dialog with a connection of their own while the store keeps writing, so a search over millions of rows
// never holds up the window; the results are posted back, and a newer search supersedes an older one
// (whose results are never shown). Created once, shown and hidden. UI thread only, except where noted.
#include <QDateTime>
#include <QDialog>
#include <QList>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "fleet/alarm_store.h"

#include "fleet/alarm_episode.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The CSV of episodes: a heading line, then one line per episode with the list's columns split into
// fields; UTF-8, NUL characters removed, fields quoted when they hold a separator (',' or ';'), a quote,
// an apostrophe or a line break, and a text that a spreadsheet would run as a formula (= + - @ first,
// also after leading blanks, or a leading tab or carriage return) gets a leading apostrophe.
QByteArray AlarmCsv(const QList<AlarmEpisode>& episodes,
                    const std::function<QString(const QString&)>& translate);

// The alarm record an evidence folder keeps: one "Name: value" line per field of the episode, in the
// operator's language.
QString AlarmRecordText(const AlarmEpisode& episode, const std::function<QString(const QString&)>& translate);

// A recording that holds the pictures of an episode's start (the shell finds them; fleet/ does not read
// recordings itself).
struct EpisodeRecording {
    QString path;
    int channel = -1;
    QDateTime first;
    QDateTime last;
};
struct EpisodeRecordings {
    QList<EpisodeRecording> recordings;
    bool capped = false;  // not every candidate file was read
};

class AlarmHistoryDlg : public QDialog {
    Q_OBJECT
  public:
    AlarmHistoryDlg(QString database_path, std::function<QString(const QString&)> translate,
                    QWidget* parent = nullptr);
    // Stops the search worker (waits for a search in progress).
    ~AlarmHistoryDlg() override;

    // `before` runs on the search worker before each search (the store's flush, so the search sees what
    // the list shows). Set it before the first search.
    void SetBeforeSearch(std::function<void()> before);
    // Finds the recordings covering an episode's start; runs on the dialog's worker (it may read many
    // files). Set it before the first search; without it the dialog shows no recordings.
    using RecordingsLookup = std::function<EpisodeRecordings(const AlarmEpisode&)>;
    void SetRecordingsLookup(RecordingsLookup lookup);
    // Plays the selected recording of the selected episode (the Play button): playRequested.
    void PlaySelected();
    // Starts a search with the fields as they are and returns at once; searchFinished() follows when its
    // results are shown (unless a newer search came first).
    void Search();
    bool searching() const { return searching_; }
    // Writes the shown rows to `path`; false (and a message in the status label) when it cannot.
    bool ExportTo(const QString& path);

    const QList<AlarmEpisode>& shown() const { return shown_; }
    QLineEdit* vehicleEdit() const { return vehicle_; }
    QComboBox* kindBox() const { return kind_; }
    QCheckBox* fromCheck() const { return use_from_; }
    QDateTimeEdit* fromEdit() const { return from_; }
    QCheckBox* toCheck() const { return use_to_; }
    QDateTimeEdit* toEdit() const { return to_; }
    QTreeWidget* results() const { return results_; }
    QTreeWidget* recordingsList() const { return recordings_; }
    QPushButton* playButton() const { return play_; }
    const QList<EpisodeRecording>& covering() const { return covering_; }

  signals:
    void searchFinished();
    // The recordings of the selected episode are shown.
    void recordingsShown();
    // Play `path` at the episode's start, for evidence of that episode.
    void playRequested(const AlarmEpisode& episode, const QString& path);

  private:
    void RunSearches();
    void LookUpRecordings();
    void ShowRecordings(uint64_t generation, const EpisodeRecordings& found);
    void ShowResults(uint64_t generation, const QList<AlarmEpisode>& found);

    QString path_;
    std::function<QString(const QString&)> translate_;
    QList<AlarmEpisode> shown_;
    QLineEdit* vehicle_;
    QComboBox* kind_;
    QCheckBox* use_from_;
    QDateTimeEdit* from_;
    QCheckBox* use_to_;
    QDateTimeEdit* to_;
    QTreeWidget* results_;
    QLabel* status_;
    QTreeWidget* recordings_;
    QPushButton* play_;
    QLabel* recordings_status_;
    QList<EpisodeRecording> covering_;
    std::optional<AlarmEpisode> covered_episode_;  // the episode covering_ belongs to
    uint64_t lookup_generation_ = 0;               // of the newest lookup asked for (UI thread)
    uint64_t generation_ = 0;                      // of the newest search asked for (UI thread)
    bool searching_ = false;

    std::mutex mutex_;  // guards the fields below, shared with the worker
    std::condition_variable wake_;
    std::optional<AlarmQuery> request_;
    uint64_t request_generation_ = 0;
    bool stop_ = false;
    std::function<void()> before_search_;
    RecordingsLookup lookup_;
    std::optional<AlarmEpisode> lookup_request_;
    uint64_t lookup_request_generation_ = 0;
    std::thread worker_;  // started with the first search
};

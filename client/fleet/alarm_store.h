// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm history: every episode and acknowledgement, kept in an SQLite file (WAL journal,
// synchronous=NORMAL, so what was committed survives a crash of the process). Writes are coalesced by
// episode and committed by a worker thread of our own in at most one transaction per commit interval
// (1 s), so a crash loses at most the last interval.
//
// Rows belong to whoever inserted them: a new episode is a plain INSERT that takes its id from SQLite,
// and later states of it (cleared, reopened, acknowledged) UPDATE that row by id, so two programs on
// one file never overwrite each other's episodes. The episode ids the caller hands to Save() are its own
// keys; an episode read back at start keeps the file's id.
//
// Start-up never waits: the worker opens the file, reads back the newest episodes and hands them to
// on_loaded. A file another program holds locked is waited for and retried (never set aside); after
// open_wait_ms the history is handed over empty so that live alarms are not held up, and the worker keeps
// trying. Only a file SQLite calls damaged or no database is renamed "<file>.bad-<time>". A read-only
// file or folder is read but not written. While running, old and surplus rows are pruned in small steps,
// a file deleted behind our back is noticed at the next write and started anew, and failed writes are
// reported once per spell with the number of episodes dropped. Without a usable file the store keeps
// working without history.
#include <QList>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "fleet/alarm_episode.h"

// Something about the history file the operator should know; made on the worker thread.
struct AlarmStoreEvent {
    enum class Kind {
        kSetAside,       // damaged: renamed to `aside` and a new file started
        kUnusable,       // no history can be kept (detail says why)
        kLocked,         // held by another program: waiting and retrying
        kReadOnly,       // shown, but new episodes are not kept
        kRecreated,      // the file vanished or was replaced while in use: a new one was started
        kWriteFailed,    // a commit failed (first of a spell)
        kWriteRecovered  // commits work again; `dropped` episodes could not be kept meanwhile
    };
    Kind kind = Kind::kUnusable;
    QString path;
    QString detail;  // SQLite's error text
    QString aside;
    int64_t dropped = 0;
};

struct AlarmStoreOptions {
    QString path;                   // the database file
    int keep_days = 90;             // episodes that started earlier are pruned (<= 0: keep all)
    int64_t max_rows = 1000000;     // the newest rows kept while running (<= 0: no limit)
    int commit_interval_ms = 1000;  // at most one transaction per interval
    int load_limit = 5000;          // newest episodes read back at start
    int busy_timeout_ms = 2000;     // SQLite waits this long for another program's lock per statement
    int open_wait_ms = 10000;       // after this the history is handed over empty while the worker retries
    int retry_ms = 2000;            // between attempts to open a locked or missing file
    size_t max_pending = 100000;    // episodes held for a later commit; beyond that new ones are dropped
    // Called once on the worker thread with the episodes read back (oldest first; empty when none could
    // be read in time).
    std::function<void(const QList<AlarmEpisode>&)> on_loaded;
    // Called on the worker thread for each event.
    std::function<void(const AlarmStoreEvent&)> on_event;
};

// What the history search selects; empty or zero fields select everything.
struct AlarmQuery {
    QString vehicle;     // part of the label or the device id, any case
    int word = 0;        // 8..15, 0: any kind
    int64_t from_s = 0;  // episodes that started at or after
    int64_t to_s = 0;    // ... and at or before (0: no end)
    int limit = 10000;
};

class AlarmStore {
  public:
    // Returns at once; the worker opens the file.
    explicit AlarmStore(AlarmStoreOptions options);
    // Writes what is still pending in one last transaction and joins the worker.
    ~AlarmStore();
    AlarmStore(const AlarmStore&) = delete;
    AlarmStore& operator=(const AlarmStore&) = delete;

    // These wait until the worker has handed over the start-up history (tools and tests; the window
    // takes it through on_loaded). The newest episodes at start, oldest first.
    const QList<AlarmEpisode>& loaded() const;
    // Empty when the file opened cleanly; otherwise one sentence (untranslated) about the first problem.
    QString problem() const;
    // A file is open for writing.
    bool usable() const;
    bool read_only() const;
    const QString& path() const { return options_.path; }

    // Any thread. The episode's newest state is written at the next commit; `episode.id` is the caller's
    // key for it (a new key: a new row).
    void Save(const AlarmEpisode& episode);
    // Any thread. Returns once everything saved before the call is committed or given up, or after
    // timeout_ms (< 0: no limit); false on the timeout.
    bool Flush(int timeout_ms = -1);
    // Transactions committed since start (not counting the start-up's own).
    int64_t transactions() const;
    // Episodes dropped since start because they could not be written.
    int64_t dropped() const;

    // Reads the history on the calling thread through a read-only connection of its own; newest first.
    // A missing or unreadable file gives an empty list.
    static QList<AlarmEpisode> Search(const QString& path, const AlarmQuery& query);

  private:
    enum class OpenResult { kOk, kReadOnly, kBusy, kDamaged, kFailed };
    void Run();
    OpenResult Open(QString* error);
    void OpenAtStart();
    void SetAside(const QString& error);
    void Report(AlarmStoreEvent event);
    void HandOver(QList<AlarmEpisode> episodes);
    bool FileReplaced() const;
    // False (and last_error_ set) when the transaction did not go through; nothing of it is kept then.
    bool Commit(std::map<int64_t, AlarmEpisode>& batch);
    void Prune();
    void Close();

    AlarmStoreOptions options_;
    QString connection_;

    // Worker thread only.
    bool open_ = false;
    QString last_error_;
    bool give_up_ = false;  // the file stays damaged: no more attempts this run
    int64_t rows_ = 0;      // rows in the file as far as we know
    uint64_t file_dev_ = 0, file_ino_ = 0;
    std::map<int64_t, int64_t> row_of_;  // the caller's key -> the row it was written to
    int64_t next_prune_ms_ = 0;
    int64_t next_count_ms_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable loaded_cv_;
    std::condition_variable wake_;
    std::condition_variable flushed_;
    bool handed_over_ = false;
    QList<AlarmEpisode> loaded_;
    QString problem_;
    bool usable_ = false;
    bool read_only_ = false;
    bool failing_ = false;                     // writes are not going through (worker sets it)
    std::map<int64_t, AlarmEpisode> pending_;  // by key: the newest state of each
    int64_t saved_ = 0;                        // Save() calls so far
    int64_t written_ = 0;                      // of those, committed (or given up)
    bool flush_ = false;
    bool stop_ = false;
    int64_t transactions_ = 0;
    int64_t dropped_ = 0;
    std::thread worker_;
};

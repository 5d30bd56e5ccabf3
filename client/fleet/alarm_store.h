// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm history: every episode and acknowledgement, kept in an SQLite file (WAL journal,
// synchronous=NORMAL, so what was committed survives a crash of the process). Writes are coalesced by
// episode and committed by a worker thread of our own in at most one transaction per commit interval
// (1 s), so a crash loses at most the last interval. At start the worker opens the file, sets it aside
// (renamed "<file>.bad-<time>") when it is damaged or locked and starts a new one, prunes episodes older
// than the kept days and reads back the newest episodes; the constructor waits for that. Without a usable
// file the store keeps working without history (problem() says why). Save() may be called from any thread.
#include <QList>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "fleet/alarm_episode.h"

struct AlarmStoreOptions {
    QString path;                   // the database file
    int keep_days = 90;             // episodes that started earlier are pruned at start (<= 0: keep all)
    int commit_interval_ms = 1000;  // at most one transaction per interval
    int load_limit = 5000;          // newest episodes read back at start
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
    explicit AlarmStore(AlarmStoreOptions options);
    // Writes what is still pending in one last transaction and joins the worker.
    ~AlarmStore();
    AlarmStore(const AlarmStore&) = delete;
    AlarmStore& operator=(const AlarmStore&) = delete;

    // The newest episodes at start, oldest first.
    const QList<AlarmEpisode>& loaded() const { return loaded_; }
    // Empty when the file opened cleanly; otherwise one sentence for the operator (set aside, or running
    // without history). Fixed after construction.
    const QString& problem() const { return problem_; }
    bool usable() const { return usable_; }
    const QString& path() const { return options_.path; }

    // Any thread. The episode's newest state is written at the next commit.
    void Save(const AlarmEpisode& episode);
    // Any thread. Returns once everything saved before the call is committed (shutdown and tests).
    void Flush();
    // Transactions committed since start (not counting the start-up's own).
    int64_t transactions() const;

    // Reads the history on the calling thread through a read-only connection of its own; newest first.
    // A missing or unreadable file gives an empty list.
    static QList<AlarmEpisode> Search(const QString& path, const AlarmQuery& query);

  private:
    static constexpr size_t kMaxPending = 100000;  // episodes kept for a retry after a failed commit
    void Run(std::mutex* ready_mutex, std::condition_variable* ready, bool* is_ready);
    bool Open(const QString& connection, QString* error);
    void Commit(const QString& connection, std::map<int64_t, AlarmEpisode>& batch);

    AlarmStoreOptions options_;
    QList<AlarmEpisode> loaded_;
    QString problem_;
    bool usable_ = false;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable flushed_;
    std::map<int64_t, AlarmEpisode> pending_;  // by id: the newest state of each
    int64_t saved_ = 0;                        // Save() calls so far
    int64_t written_ = 0;                      // of those, committed (or dropped without a file)
    bool flush_ = false;
    bool stop_ = false;
    int64_t transactions_ = 0;
    std::thread worker_;
};

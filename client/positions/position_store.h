// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The position history: every position the client receives, of every vehicle, kept in an SQLite file
// (WAL journal, synchronous=NORMAL: what was committed survives a crash of the process). Add() only
// queues; a writer thread of our own commits what came in at most once per commit interval (1 s), in one
// transaction, so a crash loses at most the last interval and the UI thread never touches the file.
//
// Compact rows: a WITHOUT ROWID table keyed by (vehicle number, time), integers only (microdegrees,
// tenths of km/h, degrees, seconds), so one vehicle-day is one range scan and a vehicle reporting every
// 5 s costs well under 40 KiB an hour. Vehicle numbers map to device ids in a small table of their own.
// A vehicle standing still keeps one point a minute: further still points within the minute are not
// written, the first point it moves again always is.
//
// Retention: points older than keep_days are deleted, and while the file's pages in use exceed max_bytes
// the oldest tenth of the kept time span goes, both in steps on the writer thread while running.
//
// A damaged file (SQLite says corrupt or no database) is renamed "<file>.bad-<time>" and a new one
// started; a file another program holds locked is waited for and retried, never set aside; meanwhile
// points are held up to max_pending, the rest counted as dropped. Without a usable file the client keeps
// working, without history.
#include <QHash>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "positions/position_fix.h"

struct PositionStoreEvent {
    enum class Kind {
        kSetAside,       // damaged: renamed to `aside`, a new file started
        kUnusable,       // no history can be kept for now (detail says why)
        kLocked,         // held by another program: waiting and retrying
        kWriteFailed,    // a commit failed (first of a spell)
        kWriteRecovered  // commits work again
    };
    Kind kind = Kind::kUnusable;
    QString path;
    QString detail;  // SQLite's error text
    QString aside;
};

struct PositionStoreOptions {
    QString path;                      // the database file
    int keep_days = 30;                // points older than this are deleted (<= 0: kept)
    int64_t max_bytes = 1024LL << 20;  // pages in use above this: the oldest points go (<= 0: no cap)
    int commit_interval_ms = 1000;     // at most one transaction per interval
    int still_interval_s = 60;         // one point per this while a vehicle stands still
    int busy_timeout_ms = 2000;        // SQLite waits this long for another program's lock
    int retry_ms = 2000;               // between attempts to open a locked or unusable file
    int prune_interval_ms = 60000;     // how often retention and the size cap are looked at
    size_t max_pending = 500000;       // points held for a later commit; beyond: dropped
    std::function<int64_t()> clock_s;  // "now" for retention (seconds since 1970); default: the wall clock
    std::function<void(const PositionStoreEvent&)> on_event;  // called on the writer thread
};

class PositionStore {
  public:
    // Returns at once; the writer opens the file.
    explicit PositionStore(PositionStoreOptions options);
    // Commits what is pending in one last transaction and joins the writer.
    ~PositionStore();
    PositionStore(const PositionStore&) = delete;
    PositionStore& operator=(const PositionStore&) = delete;

    // Any thread, never blocks on the file. The point is committed with the next transaction.
    void Add(PositionFix fix);
    // Any thread. Commits at once what was added before the call and returns when that was tried, or
    // after timeout_ms (< 0: no limit). True when it is committed; false on the timeout or when no file
    // took it (the points are then held for the next try, or dropped beyond max_pending).
    bool Flush(int timeout_ms = -1);
    // Runs retention and the size cap now, on the writer thread; returns when done.
    void PruneNow();

    const QString& path() const { return options_.path; }
    // A file is open for writing.
    bool usable() const;
    int64_t transactions() const;  // committed since start
    int64_t stored() const;        // points written
    int64_t thinned() const;       // still points left out (one a minute kept)
    int64_t dropped() const;       // points lost because no file took them
    // CPU time the writer thread has used so far (measured at each commit).
    int64_t writer_cpu_us() const;

  private:
    struct VehicleState {
        int64_t number = 0;
        int64_t last_s = INT64_MIN;  // newest point written
        bool last_still = false;
    };
    enum class OpenResult { kOk, kBusy, kDamaged, kFailed };
    void Run();
    OpenResult Open(QString* error);
    void Close();
    void SetAside(const QString& error);
    void Report(PositionStoreEvent event);
    bool Commit(std::vector<PositionFix>& batch, QString* error);
    bool VehicleNumber(const QString& device_id, VehicleState** state, QString* error);
    void Prune();
    int64_t NowS() const;

    PositionStoreOptions options_;
    QString connection_;

    // Writer thread only.
    bool open_ = false;
    QHash<QString, VehicleState> vehicles_;
    int64_t next_prune_ms_ = 0;
    int64_t stored_local_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<PositionFix> pending_;
    int64_t added_ = 0;    // Add() calls so far
    int64_t written_ = 0;  // of those, committed or given up
    bool flush_ = false;
    bool held_ = false;  // the last round could not write its points
    bool prune_ = false;
    int64_t pruned_ = 0;  // prunes done on request
    bool stop_ = false;
    bool usable_ = false;
    int64_t transactions_ = 0;
    int64_t stored_ = 0;
    int64_t thinned_ = 0;
    int64_t dropped_ = 0;
    int64_t writer_cpu_us_ = 0;
    std::thread writer_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "positions/position_store.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <ctime>

#include "app/sql_file.h"

namespace {

constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;
constexpr int kMaxDeviceIdChars = 64;     // longer ids are no device's; cut rather than stored whole
constexpr int64_t kMinCapStepS = 3600;    // the size cap removes at least an hour at a time
constexpr int kMaxCapStepsPerPrune = 20;  // bounded work per prune; the next one goes on
constexpr int kWriterCacheKiB = 64 * 1024;
constexpr int kCheckpointPages = 16384;  // 64 MiB of journal

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

QString NewConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("positions_writer_%1").arg(counter.fetch_add(1));
}

int64_t ScalarOf(QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next()) return -1;
    return query.value(0).toLongLong();
}

}  // namespace

PositionStore::PositionStore(PositionStoreOptions options) : options_(std::move(options)) {
    writer_ = std::thread([this] { Run(); });
}

PositionStore::~PositionStore() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

void PositionStore::Add(PositionFix fix) {
    std::lock_guard lock(mutex_);
    ++added_;
    // A file that takes no writes must not fill memory: what cannot be held is counted and reported.
    if (pending_.size() >= options_.max_pending) {
        ++dropped_;
        return;
    }
    pending_.push_back(std::move(fix));
}

bool PositionStore::Flush(int timeout_ms) {
    std::unique_lock lock(mutex_);
    const int64_t target = added_;
    flush_ = true;
    wake_.notify_all();
    const auto done = [&] { return written_ >= target || stop_; };
    if (timeout_ms < 0)
        done_.wait(lock, done);
    else if (!done_.wait_for(lock, std::chrono::milliseconds(timeout_ms), done))
        return false;
    return !held_;
}

void PositionStore::PruneNow() {
    std::unique_lock lock(mutex_);
    const int64_t target = pruned_ + 1;
    prune_ = true;
    wake_.notify_all();
    done_.wait(lock, [&] { return pruned_ >= target || stop_; });
}

bool PositionStore::usable() const {
    std::lock_guard lock(mutex_);
    return usable_;
}
int64_t PositionStore::transactions() const {
    std::lock_guard lock(mutex_);
    return transactions_;
}
int64_t PositionStore::stored() const {
    std::lock_guard lock(mutex_);
    return stored_;
}
int64_t PositionStore::thinned() const {
    std::lock_guard lock(mutex_);
    return thinned_;
}
int64_t PositionStore::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}
int64_t PositionStore::writer_cpu_us() const {
    std::lock_guard lock(mutex_);
    return writer_cpu_us_;
}

int64_t PositionStore::NowS() const {
    return options_.clock_s ? options_.clock_s() : QDateTime::currentSecsSinceEpoch();
}

void PositionStore::Report(PositionStoreEvent event) {
    event.path = options_.path;
    if (options_.on_event) options_.on_event(event);
}

void PositionStore::Close() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
    open_ = false;
    // Vehicle numbers belong to the file: a new file numbers anew.
    vehicles_.clear();
}

PositionStore::OpenResult PositionStore::Open(QString* error) {
    Close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    int code = -1;
    const auto fail = [&](const QString& text, int sqlite_code) {
        *error = text;
        if (sqlite_code == kSqliteBusy || sqlite_code == kSqliteLocked) return OpenResult::kBusy;
        if (sqlite_code == kSqliteCorrupt || sqlite_code == kSqliteNotADatabase) return OpenResult::kDamaged;
        return OpenResult::kFailed;
    };
    db.setDatabaseName(options_.path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options_.busy_timeout_ms));
    if (!db.open()) return fail(db.lastError().text(), db.lastError().nativeErrorCode().toInt() & 0xff);
    {
        QSqlQuery mode(db);
        if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next())
            return fail(mode.lastError().text(), mode.lastError().nativeErrorCode().toInt() & 0xff);
        if (mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            return fail(QStringLiteral("no WAL journal"), -1);
    }
    {
        // quick_check reads every page: a damaged file fails here, on the writer, not in a replay.
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
            return fail(check.lastError().text(), check.lastError().nativeErrorCode().toInt() & 0xff);
        if (check.value(0).toString() != QLatin1String("ok"))
            return fail(check.value(0).toString().left(256), kSqliteCorrupt);
    }
    // Reports of a large fleet land on as many leaf pages as there are vehicles (one range each): the
    // cache holds those of 10,000 vehicles, or every insert would read its page back from the file.
    if (!ExecSql(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error, &code) ||
        !ExecSql(db, QStringLiteral("PRAGMA cache_size=-%1").arg(kWriterCacheKiB), error, &code) ||
        // A second of a large fleet's reports touches thousands of pages: checkpoint every few seconds
        // rather than at each commit, so a page written many times reaches the file once.
        !ExecSql(db, QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kCheckpointPages), error, &code) ||
        !ExecSql(db,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS vehicle (number INTEGER PRIMARY KEY, "
                                "device_id TEXT NOT NULL UNIQUE)"),
                 error, &code) ||
        !ExecSql(db,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS position (vehicle INTEGER NOT NULL, t_s INTEGER "
                                "NOT NULL, lat_udeg INTEGER NOT NULL, lon_udeg INTEGER NOT NULL, speed_dkmh "
                                "INTEGER NOT NULL, course_deg INTEGER NOT NULL, PRIMARY KEY (vehicle, t_s)) "
                                "WITHOUT ROWID"),
                 error, &code))
        return fail(*error, code);
    open_ = true;
    return OpenResult::kOk;
}

void PositionStore::SetAside(const QString& error) {
    Close();
    bool moved = false;
    const QString aside = SetDatabaseAside(options_.path, &moved);
    PositionStoreEvent event;
    event.kind = moved ? PositionStoreEvent::Kind::kSetAside : PositionStoreEvent::Kind::kUnusable;
    event.detail = error;
    event.aside = aside;
    Report(event);
}

void PositionStore::Run() {
    connection_ = NewConnectionName();
    const bool has_file = !options_.path.isEmpty();
    const int64_t interval_ms = qMax(1, options_.commit_interval_ms);
    int64_t next_commit_ms = NowMs() + interval_ms;
    int64_t next_open_ms = 0;
    bool told_locked = false, told_unusable = false, failing = false, give_up = false;
    std::unique_lock lock(mutex_);
    for (;;) {
        const int64_t wait_ms = std::max<int64_t>(0, next_commit_ms - NowMs());
        wake_.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return stop_ || flush_ || prune_; });
        const int64_t now_ms = NowMs();
        const bool stopping = stop_;
        const bool prune_asked = prune_;
        if (!stopping && !flush_ && !prune_asked && now_ms < next_commit_ms) continue;
        if (stopping || flush_ || now_ms >= next_commit_ms) next_commit_ms = now_ms + interval_ms;
        std::vector<PositionFix> batch;
        batch.swap(pending_);
        const int64_t taken = added_;
        flush_ = false;
        prune_ = false;
        lock.unlock();

        if (has_file && !open_ && !give_up && now_ms >= next_open_ms) {
            next_open_ms = now_ms + options_.retry_ms;
            QString error;
            OpenResult result = Open(&error);
            if (result == OpenResult::kDamaged) {
                SetAside(error);
                result = Open(&error);
                give_up = result == OpenResult::kDamaged;  // still damaged: no more attempts this run
            }
            if (result == OpenResult::kOk) {
                told_locked = told_unusable = false;
                next_prune_ms_ = 0;
            } else {
                Close();
                PositionStoreEvent event;
                event.detail = error;
                // Locked by another program: wait for it, never set it aside.
                event.kind = result == OpenResult::kBusy ? PositionStoreEvent::Kind::kLocked
                                                         : PositionStoreEvent::Kind::kUnusable;
                bool& told = result == OpenResult::kBusy ? told_locked : told_unusable;
                if (!told) Report(event);
                told = true;
            }
        }
        bool committed = false;
        QString error;
        const int64_t stored_before = stored_local_;
        if (open_) {
            committed = batch.empty() || Commit(batch, &error);
            if (committed) batch.clear();
            if (committed && (prune_asked || now_ms >= next_prune_ms_)) {
                Prune();
                next_prune_ms_ = NowMs() + options_.prune_interval_ms;
            }
        }
        const int64_t cpu_us = ThreadCpuUs();

        lock.lock();
        usable_ = open_;
        if (!batch.empty()) {
            // Not written: kept for the next try as far as room allows (oldest first), the rest dropped.
            const size_t room =
                options_.max_pending > pending_.size() ? options_.max_pending - pending_.size() : 0;
            const size_t keep = std::min(room, batch.size());
            dropped_ += int64_t(batch.size() - keep);
            batch.resize(keep);
            pending_.insert(pending_.begin(), std::make_move_iterator(batch.begin()),
                            std::make_move_iterator(batch.end()));
            if (!has_file) {
                dropped_ += int64_t(pending_.size());
                pending_.clear();
            }
        }
        if (committed && stored_local_ > stored_before) ++transactions_;
        stored_ = stored_local_;
        writer_cpu_us_ = cpu_us;
        // A file that does not open ends the wait of a flush too; it then says the points are only held.
        written_ = taken;
        held_ = !batch.empty();
        if (prune_asked) ++pruned_;
        done_.notify_all();
        std::optional<PositionStoreEvent> event;
        if (open_ && committed && failing) {
            failing = false;
            event.emplace();
            event->kind = PositionStoreEvent::Kind::kWriteRecovered;
        } else if (open_ && !committed && !failing) {
            failing = true;
            event.emplace();
            event->kind = PositionStoreEvent::Kind::kWriteFailed;
            event->detail = error;
        }
        if (stopping) break;
        if (event) {
            lock.unlock();
            Report(*event);
            lock.lock();
        }
    }
    lock.unlock();
    Close();
    QSqlDatabase::removeDatabase(connection_);
}

bool PositionStore::VehicleNumber(const QString& device_id, VehicleState** state, QString* error) {
    const auto found = vehicles_.find(device_id);
    if (found != vehicles_.end()) {
        *state = &found.value();
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT number FROM vehicle WHERE device_id = ?"));
    query.addBindValue(device_id);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    VehicleState fresh;
    if (query.next()) {
        fresh.number = query.value(0).toLongLong();
        // Thinning goes on from the newest point of an earlier run.
        QSqlQuery last(db);
        last.prepare(QStringLiteral(
            "SELECT t_s, speed_dkmh FROM position WHERE vehicle = ? ORDER BY t_s DESC LIMIT 1"));
        last.addBindValue(qlonglong(fresh.number));
        if (last.exec() && last.next()) {
            fresh.last_s = last.value(0).toLongLong();
            fresh.last_still = last.value(1).toInt() < 10;
        }
    } else {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO vehicle (device_id) VALUES (?)"));
        insert.addBindValue(device_id);
        if (!insert.exec()) {
            *error = insert.lastError().text();
            return false;
        }
        fresh.number = insert.lastInsertId().toLongLong();
    }
    *state = &vehicles_.insert(device_id, fresh).value();
    return true;
}

bool PositionStore::Commit(std::vector<PositionFix>& batch, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    // What the batch changes in the vehicles' states, applied only once the transaction holds.
    QHash<QString, VehicleState> before;
    const auto rollback = [&] {
        db.rollback();
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            // Numbers handed out inside the rolled-back transaction are gone with it.
            if (it.value().number == 0)
                vehicles_.remove(it.key());
            else
                vehicles_[it.key()] = it.value();
        }
        return false;
    };
    int64_t written = 0, thinned = 0;
    {
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT OR IGNORE INTO position (vehicle, t_s, lat_udeg, lon_udeg, "
                           "speed_dkmh, course_deg) VALUES (?,?,?,?,?,?)"));
        for (PositionFix& fix : batch) {
            if (fix.device_id.size() > kMaxDeviceIdChars) fix.device_id.truncate(kMaxDeviceIdChars);
            const bool known = vehicles_.contains(fix.device_id);
            VehicleState* state = nullptr;
            if (!VehicleNumber(fix.device_id, &state, error)) {
                insert.finish();
                return rollback();
            }
            if (!before.contains(fix.device_id)) {
                VehicleState saved = *state;
                if (!known) saved.number = 0;  // a number that came with this transaction
                before.insert(fix.device_id, saved);
            }
            // Standing still: one point a minute; moving again is written at once.
            if (fix.still() && state->last_still && fix.time_s >= state->last_s &&
                fix.time_s - state->last_s < options_.still_interval_s) {
                ++thinned;
                continue;
            }
            insert.addBindValue(qlonglong(state->number));
            insert.addBindValue(qlonglong(fix.time_s));
            insert.addBindValue(fix.lat_udeg);
            insert.addBindValue(fix.lon_udeg);
            insert.addBindValue(fix.speed_dkmh);
            insert.addBindValue(fix.course_deg);
            if (!insert.exec()) {
                *error = insert.lastError().text();
                insert.finish();
                return rollback();
            }
            ++written;
            if (fix.time_s >= state->last_s) {
                state->last_s = fix.time_s;
                state->last_still = fix.still();
            }
        }
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        return rollback();
    }
    stored_local_ += written;
    std::lock_guard lock(mutex_);
    thinned_ += thinned;
    return true;
}

void PositionStore::Prune() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    // Per vehicle: (vehicle, t_s) is the key, so each delete is a range at the start of a vehicle's rows.
    std::vector<int64_t> numbers;
    {
        QSqlQuery all(db);
        all.setForwardOnly(true);
        if (!all.exec(QStringLiteral("SELECT number FROM vehicle"))) return;
        while (all.next()) numbers.push_back(all.value(0).toLongLong());
    }
    const auto delete_before = [&](int64_t cut_s) {
        if (!db.transaction()) return;
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM position WHERE vehicle = ? AND t_s < ?"));
        for (const int64_t number : numbers) {
            remove.addBindValue(qlonglong(number));
            remove.addBindValue(qlonglong(cut_s));
            if (!remove.exec()) break;
        }
        remove.finish();
        if (!db.commit()) db.rollback();
    };
    if (options_.keep_days > 0) delete_before(NowS() - int64_t(options_.keep_days) * 86400);
    if (options_.max_bytes <= 0) return;
    // Deleted pages are reused by later points, so the file stops growing once the cap is reached.
    const auto used_bytes = [&] {
        return (ScalarOf(db, QStringLiteral("PRAGMA page_count")) -
                ScalarOf(db, QStringLiteral("PRAGMA freelist_count"))) *
               ScalarOf(db, QStringLiteral("PRAGMA page_size"));
    };
    for (int step = 0; step < kMaxCapStepsPerPrune && used_bytes() > options_.max_bytes; ++step) {
        int64_t oldest_s = INT64_MAX, newest_s = INT64_MIN;
        {
            QSqlQuery span(db);
            span.setForwardOnly(true);
            if (!span.exec(QStringLiteral(
                    "SELECT (SELECT min(t_s) FROM position WHERE vehicle = number), (SELECT max(t_s) FROM "
                    "position WHERE vehicle = number) FROM vehicle")))
                return;
            while (span.next()) {
                if (span.value(0).isNull()) continue;
                oldest_s = std::min<int64_t>(oldest_s, span.value(0).toLongLong());
                newest_s = std::max<int64_t>(newest_s, span.value(1).toLongLong());
            }
        }
        if (oldest_s == INT64_MAX) return;
        delete_before(oldest_s + std::max<int64_t>(kMinCapStepS, (newest_s - oldest_s) / 10));
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <limits>
#include <optional>

#include "app/sql_file.h"

namespace {

constexpr int kMaxTextChars = 256;             // a tampered file must not fill memory through one field
constexpr int kPruneChunkRows = 20000;         // rows deleted per step, so no step holds the file for long
constexpr int64_t kRecountMs = 60000;          // the row count is taken again (another program may write)
constexpr int64_t kAgePruneMs = 600000;        // old episodes are looked for this often once none are left
constexpr size_t kMaxRowsRemembered = 200000;  // keys whose rows we still update (bounded memory)

// SQLite's primary result codes we tell apart.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

QString NewConnectionName(const char* what) {
    static std::atomic<int> counter{0};
    return QStringLiteral("alarm_%1_%2").arg(QLatin1String(what)).arg(counter.fetch_add(1));
}

// Removes the named connection when the scope ends; every QSqlDatabase/QSqlQuery of it must be gone.
struct ConnectionGuard {
    QString name;
    ~ConnectionGuard() { QSqlDatabase::removeDatabase(name); }
};

const char kColumns[] =
    "id, device_id, label, word, started_s, cleared_s, at_login, ack_user, ack_s, ack_comment, repeats, zone";
// A file from before the repeat count reads with 0 for it (and from before the zones with no zone).
const char kOldColumns[] =
    "id, device_id, label, word, started_s, cleared_s, at_login, ack_user, ack_s, ack_comment, 0, ''";
const char kNoZoneColumns[] =
    "id, device_id, label, word, started_s, cleared_s, at_login, ack_user, ack_s, ack_comment, repeats, ''";
const char kTable[] =
    "(id INTEGER PRIMARY KEY AUTOINCREMENT, device_id TEXT NOT NULL, label TEXT NOT NULL, "
    "word INTEGER NOT NULL, started_s INTEGER NOT NULL, cleared_s INTEGER NOT NULL DEFAULT 0, "
    "at_login INTEGER NOT NULL DEFAULT 0, ack_user TEXT NOT NULL DEFAULT '', ack_s INTEGER NOT NULL DEFAULT "
    "0, "
    "ack_comment TEXT NOT NULL DEFAULT '', repeats INTEGER NOT NULL DEFAULT 0, zone TEXT NOT NULL DEFAULT "
    "'')";

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Reads one row selected with kColumns; false when it is no episode this client could show.
bool ReadEpisode(const QSqlQuery& query, AlarmEpisode* episode) {
    episode->id = query.value(0).toLongLong();
    episode->device_id = query.value(1).toString().left(kMaxTextChars);
    episode->label = query.value(2).toString().left(kMaxTextChars);
    episode->word = query.value(3).toInt();
    episode->started_s = query.value(4).toLongLong();
    episode->cleared_s = query.value(5).toLongLong();
    episode->at_login = query.value(6).toInt() != 0;
    episode->ack_user = query.value(7).toString().left(kMaxTextChars);
    episode->ack_s = query.value(8).toLongLong();
    episode->ack_comment = query.value(9).toString().left(kMaxTextChars);
    episode->repeats = qMax(0, query.value(10).toInt());
    episode->zone = query.value(11).toString().left(kMaxTextChars);
    return episode->id > 0 && episode->word >= kFirstAlarmWord && episode->word <= kLastAlarmWord &&
           !episode->device_id.isEmpty();
}

// The columns to select: the file may be one from before the repeat count (read-only, or not yet
// migrated).
QLatin1String ColumnsOf(QSqlDatabase& db) {
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("SELECT repeats, zone FROM alarm_episode LIMIT 0")))
        return QLatin1String(kColumns);
    // A file from before the zones that we may only read.
    if (probe.exec(QStringLiteral("SELECT repeats FROM alarm_episode LIMIT 0")))
        return QLatin1String(kNoZoneColumns);
    return QLatin1String(kOldColumns);
}

// A file from before the zones gets their column (cheap: SQLite only rewrites the schema). Within the
// caller's transaction.
bool AddZoneColumn(QSqlDatabase& db, QString* error, int* code) {
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("SELECT zone FROM alarm_episode LIMIT 0"))) return true;
    probe.finish();
    return ExecSql(db, QStringLiteral("ALTER TABLE alarm_episode ADD COLUMN zone TEXT NOT NULL DEFAULT ''"),
                   error, code);
}

// Opens `path` read-only on `db` (added, not open). A file in a folder we cannot write may lack the WAL
// index SQLite needs even to read; then it is read as it stands (immutable), which is all a read-only
// folder allows anyway.
bool OpenReader(QSqlDatabase& db, const QString& path, int busy_timeout_ms) {
    db.setDatabaseName(path);
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(busy_timeout_ms));
    if (db.open()) {
        QSqlQuery probe(db);
        if (probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && probe.next()) return true;
        probe.finish();
        db.close();
    }
    QUrl uri = QUrl::fromLocalFile(path);
    uri.setQuery(QStringLiteral("immutable=1"));
    db.setDatabaseName(QString::fromUtf8(uri.toEncoded()));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    if (!db.open()) return false;
    QSqlQuery probe(db);
    return probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && probe.next();
}

bool Writable(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    // The WAL journal lives beside the file: the folder must take new files too.
    if (::access(folder.constData(), W_OK) != 0) return false;
    return ::access(file.constData(), F_OK) != 0 || ::access(file.constData(), W_OK) == 0;
}

}  // namespace

AlarmStore::AlarmStore(AlarmStoreOptions options) : options_(std::move(options)) {
    worker_ = std::thread([this] { Run(); });
}

AlarmStore::~AlarmStore() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

const QList<AlarmEpisode>& AlarmStore::loaded() const {
    std::unique_lock lock(mutex_);
    loaded_cv_.wait(lock, [&] { return handed_over_; });
    return loaded_;
}

QString AlarmStore::problem() const {
    std::unique_lock lock(mutex_);
    loaded_cv_.wait(lock, [&] { return handed_over_; });
    return problem_;
}

bool AlarmStore::usable() const {
    std::unique_lock lock(mutex_);
    loaded_cv_.wait(lock, [&] { return handed_over_; });
    return usable_;
}

bool AlarmStore::read_only() const {
    std::unique_lock lock(mutex_);
    loaded_cv_.wait(lock, [&] { return handed_over_; });
    return read_only_;
}

void AlarmStore::Save(const AlarmEpisode& episode) {
    std::lock_guard lock(mutex_);
    ++saved_;
    // A file that takes no writes must not fill memory; what cannot be held is counted and reported.
    if (pending_.size() >= options_.max_pending && !pending_.count(episode.id)) {
        ++dropped_;
        return;
    }
    pending_[episode.id] = episode;
    // The worker wakes by itself at the next commit time; nothing to signal per save.
}

bool AlarmStore::Flush(int timeout_ms) {
    std::unique_lock lock(mutex_);
    const int64_t target = saved_;
    flush_ = true;
    wake_.notify_all();
    const auto done = [&] { return written_ >= target || stop_; };
    if (timeout_ms < 0) {
        flushed_.wait(lock, done);
        return true;
    }
    return flushed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), done);
}

int64_t AlarmStore::transactions() const {
    std::lock_guard lock(mutex_);
    return transactions_;
}

int64_t AlarmStore::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void AlarmStore::Report(AlarmStoreEvent event) {
    event.path = options_.path;
    {
        std::lock_guard lock(mutex_);
        if (problem_.isEmpty()) {
            switch (event.kind) {
                case AlarmStoreEvent::Kind::kSetAside:
                    problem_ = QStringLiteral("Alarm history %1 could not be used (%2); set aside as %3")
                                   .arg(event.path, event.detail, event.aside);
                    break;
                case AlarmStoreEvent::Kind::kUnusable:
                    problem_ =
                        QStringLiteral("Alarm history %1 could not be used (%2); no alarm history is kept")
                            .arg(event.path, event.detail);
                    break;
                case AlarmStoreEvent::Kind::kLocked:
                    problem_ = QStringLiteral("Alarm history %1 is locked by another program (%2)")
                                   .arg(event.path, event.detail);
                    break;
                case AlarmStoreEvent::Kind::kReadOnly:
                    problem_ = QStringLiteral("Alarm history %1 is read-only").arg(event.path);
                    break;
                default:
                    break;
            }
        }
    }
    if (options_.on_event) options_.on_event(event);
}

void AlarmStore::HandOver(QList<AlarmEpisode> episodes) {
    {
        std::lock_guard lock(mutex_);
        if (handed_over_) return;
        loaded_ = std::move(episodes);
        usable_ = open_ && !read_only_;
        handed_over_ = true;
    }
    loaded_cv_.notify_all();
    if (options_.on_loaded) options_.on_loaded(loaded_);
}

void AlarmStore::Close() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
    open_ = false;
}

AlarmStore::OpenResult AlarmStore::Open(QString* error) {
    Close();
    const bool writable = Writable(options_.path);
    const bool exists = QFile::exists(options_.path);
    if (!writable && !exists) {
        *error = QStringLiteral("the folder cannot be written");
        return OpenResult::kFailed;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    const auto fail = [&](const QSqlError& sql_error, int code = -1) {
        *error = sql_error.text();
        if (code < 0) code = sql_error.nativeErrorCode().toInt() & 0xff;
        if (code == kSqliteBusy || code == kSqliteLocked) return OpenResult::kBusy;
        if (code == kSqliteCorrupt || code == kSqliteNotADatabase) return OpenResult::kDamaged;
        return OpenResult::kFailed;
    };
    if (!writable) {
        if (!OpenReader(db, options_.path, options_.busy_timeout_ms)) return fail(db.lastError());
    } else {
        db.setDatabaseName(options_.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options_.busy_timeout_ms));
        if (!db.open()) return fail(db.lastError());
        QSqlQuery mode(db);
        if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next())
            return fail(mode.lastError());
        if (mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            *error = QStringLiteral("no WAL journal");
            return OpenResult::kFailed;
        }
    }
    // quick_check reads every page: a damaged file fails here rather than in the middle of a search.
    {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next())
            return fail(check.lastError());
        if (check.value(0).toString() != QLatin1String("ok")) {
            *error = check.value(0).toString().left(kMaxTextChars);
            return OpenResult::kDamaged;
        }
    }
    if (!writable) {
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT id FROM alarm_episode LIMIT 0")))
            return fail(probe.lastError());
        open_ = true;
        return OpenResult::kReadOnly;
    }
    int code = 0;
    if (!ExecSql(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error, &code))
        return fail(db.lastError(), code);
    // Ids come from SQLite and are never given out twice (AUTOINCREMENT), so a row deleted by pruning
    // cannot come back under another episode. A file from before that is copied over in one transaction.
    if (!db.transaction()) return fail(db.lastError());
    bool ok = true;
    {
        QSqlQuery schema(db);
        ok = schema.exec(
            QStringLiteral("SELECT sql FROM sqlite_master WHERE type='table' AND name='alarm_episode'"));
        const bool exists_table = ok && schema.next();
        const QString sql = exists_table ? schema.value(0).toString() : QString();
        schema.finish();
        if (ok && !exists_table) {
            ok = ExecSql(db, QStringLiteral("CREATE TABLE alarm_episode %1").arg(QLatin1String(kTable)),
                         error, &code);
        } else if (ok && !sql.contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive)) {
            ok = AddZoneColumn(db, error, &code);
            const QString old_columns = ColumnsOf(db);
            ok = ExecSql(db, QStringLiteral("DROP TABLE IF EXISTS alarm_episode_new"), error, &code) &&
                 ExecSql(db, QStringLiteral("CREATE TABLE alarm_episode_new %1").arg(QLatin1String(kTable)),
                         error, &code) &&
                 ExecSql(db,
                         QStringLiteral("INSERT INTO alarm_episode_new (%1) SELECT %2 FROM alarm_episode")
                             .arg(QLatin1String(kColumns), old_columns),
                         error, &code) &&
                 ExecSql(db, QStringLiteral("DROP TABLE alarm_episode"), error, &code) &&
                 ExecSql(db, QStringLiteral("ALTER TABLE alarm_episode_new RENAME TO alarm_episode"), error,
                         &code);
        }
        ok = ok && AddZoneColumn(db, error, &code);
        ok =
            ok && ExecSql(db,
                          QStringLiteral(
                              "CREATE INDEX IF NOT EXISTS alarm_episode_started ON alarm_episode(started_s)"),
                          error, &code);
    }
    if (!ok || !db.commit()) {
        const QSqlError last = db.lastError();
        db.rollback();
        return fail(last, ok ? -1 : code);
    }
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("SELECT count(*) FROM alarm_episode")) || !count.next())
        return fail(count.lastError());
    rows_ = count.value(0).toLongLong();
    next_count_ms_ = NowMs() + kRecountMs;
    next_prune_ms_ = 0;
    struct stat st {};
    if (::stat(QFile::encodeName(options_.path).constData(), &st) == 0) {
        file_dev_ = uint64_t(st.st_dev);
        file_ino_ = uint64_t(st.st_ino);
    }
    open_ = true;
    return OpenResult::kOk;
}

bool AlarmStore::FileReplaced() const {
    struct stat st {};
    if (::stat(QFile::encodeName(options_.path).constData(), &st) != 0) return true;
    return uint64_t(st.st_dev) != file_dev_ || uint64_t(st.st_ino) != file_ino_;
}

void AlarmStore::SetAside(const QString& error) {
    Close();
    bool moved = false;
    const QString aside = SetDatabaseAside(options_.path, &moved);
    AlarmStoreEvent event;
    event.kind = moved ? AlarmStoreEvent::Kind::kSetAside : AlarmStoreEvent::Kind::kUnusable;
    event.detail = error;
    event.aside = aside;
    Report(event);
}

void AlarmStore::OpenAtStart() {
    const int64_t start_ms = NowMs();
    bool told = false;
    for (;;) {
        QString error;
        OpenResult result = Open(&error);
        if (result == OpenResult::kDamaged) {
            SetAside(error);
            result = Open(&error);
        }
        if (result == OpenResult::kOk || result == OpenResult::kReadOnly) {
            read_only_ = result == OpenResult::kReadOnly;
            QList<AlarmEpisode> episodes;
            {
                QSqlDatabase db = QSqlDatabase::database(connection_, false);
                QSqlQuery load(db);
                load.setForwardOnly(true);
                // Expired episodes are not shown even before the pruning behind the start removes them.
                const int64_t since_s = options_.keep_days > 0 ? QDateTime::currentSecsSinceEpoch() -
                                                                     int64_t(options_.keep_days) * 86400
                                                               : std::numeric_limits<int64_t>::min();
                load.prepare(
                    QStringLiteral("SELECT %1 FROM alarm_episode WHERE started_s >= ? ORDER BY id DESC "
                                   "LIMIT %2")
                        .arg(ColumnsOf(db))
                        .arg(qMax(0, options_.load_limit)));
                load.addBindValue(qlonglong(since_s));
                if (load.exec()) {
                    AlarmEpisode episode;
                    while (load.next())
                        if (ReadEpisode(load, &episode)) episodes.prepend(episode);
                }
            }
            // Later states of these episodes update their rows.
            for (const AlarmEpisode& episode : episodes) row_of_[episode.id] = episode.id;
            if (read_only_) {
                AlarmStoreEvent event;
                event.kind = AlarmStoreEvent::Kind::kReadOnly;
                Report(event);
            }
            HandOver(std::move(episodes));
            return;
        }
        if (result != OpenResult::kBusy) {
            // Damaged even after setting it aside, or not to be opened at all (a folder we cannot write):
            // no history for now. The main loop tries again now and then, except for a damaged file.
            give_up_ = result == OpenResult::kDamaged;
            failing_ = true;
            Close();
            AlarmStoreEvent event;
            event.kind = AlarmStoreEvent::Kind::kUnusable;
            event.detail = error;
            Report(event);
            HandOver({});
            return;
        }
        if (!told) {
            // Locked by another program: wait for it, never set it aside.
            told = true;
            failing_ = true;
            AlarmStoreEvent event;
            event.kind = AlarmStoreEvent::Kind::kLocked;
            event.detail = error;
            Report(event);
        }
        if (NowMs() - start_ms >= options_.open_wait_ms) {
            // Live alarms must not wait for the history; the main loop keeps trying.
            Close();
            HandOver({});
            return;
        }
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::milliseconds(qMax(1, options_.retry_ms)),
                           [&] { return stop_; })) {
            lock.unlock();
            Close();
            HandOver({});
            return;
        }
    }
}

void AlarmStore::Run() {
    connection_ = NewConnectionName("writer");
    ConnectionGuard guard{connection_};
    // No file named: the client keeps no history (a window made without a program folder, in tests).
    const bool has_file = !options_.path.isEmpty();
    if (has_file)
        OpenAtStart();
    else
        HandOver({});

    const int64_t interval_ms = qMax(1, options_.commit_interval_ms);
    int64_t next_commit_ms = NowMs();
    int64_t next_open_ms = NowMs() + options_.retry_ms;
    std::unique_lock lock(mutex_);
    int64_t spell_dropped_from = dropped_;  // dropped_ when the current spell of failures began
    for (;;) {
        const auto wait_ms = std::max<int64_t>(0, next_commit_ms - NowMs());
        wake_.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return stop_ || flush_; });
        const int64_t now_ms = NowMs();
        if (!stop_ && !flush_ && now_ms < next_commit_ms) continue;
        next_commit_ms = now_ms + interval_ms;
        std::map<int64_t, AlarmEpisode> batch;
        batch.swap(pending_);
        const int64_t taken = saved_;
        const bool stopping = stop_;
        flush_ = false;
        lock.unlock();

        const bool writing = has_file && !read_only_;
        QString error;
        if (writing && open_ && FileReplaced()) {
            // Deleted or replaced behind our back: writes would go into a file nobody can open any more.
            // Closing the last connection removes the old journal files by name, then a new file starts.
            Close();
            row_of_.clear();
            if (Open(&error) == OpenResult::kOk) {
                AlarmStoreEvent event;
                event.kind = AlarmStoreEvent::Kind::kRecreated;
                Report(event);
            } else {
                Close();
                last_error_ = error;
            }
        } else if (writing && !open_ && !give_up_ && !stopping && now_ms >= next_open_ms) {
            next_open_ms = now_ms + options_.retry_ms;
            if (Open(&error) != OpenResult::kOk) {
                Close();
                last_error_ = error;
            }
        }
        bool committed = false;
        const bool had_batch = !batch.empty();
        if (writing && open_) {
            committed = batch.empty() || Commit(batch);
            if (committed) {
                batch.clear();
                Prune();
            }
        } else if (writing && !batch.empty() && last_error_.isEmpty()) {
            last_error_ = QStringLiteral("the file is not open");
        }

        lock.lock();
        usable_ = open_ && !read_only_;
        if (writing && !batch.empty()) {
            // Not written: kept for the next try as far as room allows, the rest counted as dropped.
            for (auto& [key, episode] : batch) {
                if (pending_.count(key)) continue;  // a newer state came in meanwhile
                if (pending_.size() >= options_.max_pending) {
                    ++dropped_;
                    continue;
                }
                pending_.emplace(key, std::move(episode));
            }
        }
        if (committed && had_batch) ++transactions_;
        written_ = taken;
        flushed_.notify_all();
        std::optional<AlarmStoreEvent> event;
        if (writing && committed && failing_ && batch.empty()) {
            failing_ = false;
            event.emplace();
            event->kind = AlarmStoreEvent::Kind::kWriteRecovered;
            event->dropped = dropped_ - spell_dropped_from;
        } else if (writing && !committed && !failing_) {
            failing_ = true;
            spell_dropped_from = dropped_;
            event.emplace();
            event->kind = AlarmStoreEvent::Kind::kWriteFailed;
            event->detail = last_error_;
        }
        lock.unlock();
        if (event) Report(*event);
        lock.lock();
        if (stopping) break;
    }
    lock.unlock();
    Close();
}

bool AlarmStore::Commit(std::map<int64_t, AlarmEpisode>& batch) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) {
        last_error_ = db.lastError().text();
        return false;
    }
    // A null QString binds as NULL, which the NOT NULL columns refuse (and with it the whole batch).
    const auto text = [](const QString& value) { return value.isNull() ? QStringLiteral("") : value; };
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO alarm_episode (device_id, label, word, started_s, cleared_s, "
        "at_login, ack_user, ack_s, ack_comment, repeats, zone) VALUES (?,?,?,?,?,?,?,?,?,?,?)"));
    // Only what changes after the start: the first acknowledgement stays (as in the book), whoever wrote
    // it; the row must still be the episode it was (same vehicle, word and start).
    QSqlQuery update(db);
    update.prepare(
        QStringLiteral("UPDATE alarm_episode SET cleared_s = ?, repeats = max(repeats, ?), "
                       "ack_user = CASE WHEN ack_s = 0 THEN ? ELSE ack_user END, "
                       "ack_comment = CASE WHEN ack_s = 0 THEN ? ELSE ack_comment END, "
                       "ack_s = CASE WHEN ack_s = 0 THEN ? ELSE ack_s END "
                       "WHERE id = ? AND device_id = ? AND word = ? AND started_s = ?"));
    std::map<int64_t, int64_t> new_rows;
    bool ok = true;
    for (const auto& [key, e] : batch) {
        const auto row = row_of_.find(key);
        if (row != row_of_.end()) {
            update.addBindValue(qlonglong(e.cleared_s));
            update.addBindValue(e.repeats);
            update.addBindValue(text(e.ack_user));
            update.addBindValue(text(e.ack_comment));
            update.addBindValue(qlonglong(e.ack_s));
            update.addBindValue(qlonglong(row->second));
            update.addBindValue(text(e.device_id));
            update.addBindValue(e.word);
            update.addBindValue(qlonglong(e.started_s));
            if (!update.exec()) {
                last_error_ = update.lastError().text();
                ok = false;
                break;
            }
            continue;
        }
        insert.addBindValue(text(e.device_id));
        insert.addBindValue(text(e.label));
        insert.addBindValue(e.word);
        insert.addBindValue(qlonglong(e.started_s));
        insert.addBindValue(qlonglong(e.cleared_s));
        insert.addBindValue(e.at_login ? 1 : 0);
        insert.addBindValue(text(e.ack_user));
        insert.addBindValue(qlonglong(e.ack_s));
        insert.addBindValue(text(e.ack_comment));
        insert.addBindValue(e.repeats);
        insert.addBindValue(text(e.zone));
        if (!insert.exec()) {
            last_error_ = insert.lastError().text();
            ok = false;
            break;
        }
        new_rows[key] = insert.lastInsertId().toLongLong();
    }
    insert.finish();
    update.finish();
    if (ok && !db.commit()) {
        last_error_ = db.lastError().text();
        ok = false;
    }
    if (!ok) {
        db.rollback();
        return false;
    }
    last_error_.clear();
    rows_ += int64_t(new_rows.size());
    row_of_.insert(new_rows.begin(), new_rows.end());
    // An episode closed and acknowledged changes no more; the rest stay bounded, oldest keys first.
    for (const auto& [key, e] : batch)
        if (!e.active() && e.acknowledged()) row_of_.erase(key);
    while (row_of_.size() > kMaxRowsRemembered) row_of_.erase(row_of_.begin());
    return true;
}

void AlarmStore::Prune() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const int64_t now_ms = NowMs();
    if (options_.keep_days > 0 && now_ms >= next_prune_ms_) {
        QSqlQuery prune(db);
        prune.prepare(QStringLiteral("DELETE FROM alarm_episode WHERE id IN (SELECT id FROM alarm_episode "
                                     "WHERE started_s < ? LIMIT %1)")
                          .arg(kPruneChunkRows));
        prune.addBindValue(QDateTime::currentSecsSinceEpoch() - int64_t(options_.keep_days) * 86400);
        if (prune.exec()) {
            const int removed = prune.numRowsAffected();
            rows_ -= removed;
            // A full step: more are waiting, the next tick takes them.
            next_prune_ms_ = removed >= kPruneChunkRows ? now_ms : now_ms + kAgePruneMs;
        }
    }
    if (options_.max_rows <= 0) return;
    if (now_ms >= next_count_ms_) {
        QSqlQuery count(db);
        if (count.exec(QStringLiteral("SELECT count(*) FROM alarm_episode")) && count.next())
            rows_ = count.value(0).toLongLong();
        next_count_ms_ = now_ms + kRecountMs;
    }
    // The oldest rows leave first; ids grow with time.
    while (rows_ > options_.max_rows) {
        const int64_t excess = std::min<int64_t>(rows_ - options_.max_rows, kPruneChunkRows);
        QSqlQuery prune(db);
        if (!prune.exec(QStringLiteral("DELETE FROM alarm_episode WHERE id IN (SELECT id FROM alarm_episode "
                                       "ORDER BY id LIMIT %1)")
                            .arg(excess)))
            break;
        const int removed = prune.numRowsAffected();
        rows_ -= removed;
        if (removed < excess) {
            rows_ = options_.max_rows;  // fewer rows than we thought: another program pruned too
            break;
        }
    }
}

QList<AlarmEpisode> AlarmStore::Search(const QString& path, const AlarmQuery& query) {
    QList<AlarmEpisode> found;
    if (!QFile::exists(path)) return found;
    const QString connection = NewConnectionName("reader");
    ConnectionGuard guard{connection};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        if (!OpenReader(db, path, 500)) return found;
        QString sql = QStringLiteral("SELECT %1 FROM alarm_episode WHERE 1=1").arg(ColumnsOf(db));
        QVariantList values;
        if (!query.vehicle.isEmpty()) {
            sql += QStringLiteral(
                " AND (instr(lower(label), lower(?)) > 0 OR instr(lower(device_id), lower(?)) > 0)");
            values << query.vehicle << query.vehicle;
        }
        if (query.word != 0) {
            sql += QStringLiteral(" AND word = ?");
            values << query.word;
        }
        if (query.from_s != 0) {
            sql += QStringLiteral(" AND started_s >= ?");
            values << qlonglong(query.from_s);
        }
        if (query.to_s != 0) {
            sql += QStringLiteral(" AND started_s <= ?");
            values << qlonglong(query.to_s);
        }
        sql +=
            QStringLiteral(" ORDER BY started_s DESC, id DESC LIMIT %1").arg(qBound(1, query.limit, 1000000));
        QSqlQuery select(db);
        select.setForwardOnly(true);
        select.prepare(sql);
        for (const QVariant& value : values) select.addBindValue(value);
        if (select.exec()) {
            AlarmEpisode episode;
            while (select.next())
                if (ReadEpisode(select, &episode)) found.append(episode);
        }
        select.finish();
        db.close();
    }
    return found;
}

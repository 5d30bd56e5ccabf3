// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_store.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <cstdio>

namespace {

constexpr int kMaxTextChars = 256;  // a tampered file must not fill memory through one field

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
    "id, device_id, label, word, started_s, cleared_s, at_login, ack_user, ack_s, ack_comment";

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
    return episode->id > 0 && episode->word >= 8 && episode->word <= 15 && !episode->device_id.isEmpty();
}

bool Exec(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery query(db);
    if (query.exec(sql)) return true;
    if (error) *error = query.lastError().text();
    return false;
}

}  // namespace

AlarmStore::AlarmStore(AlarmStoreOptions options) : options_(std::move(options)) {
    std::mutex ready_mutex;
    std::condition_variable ready;
    bool is_ready = false;
    worker_ = std::thread([this, &ready_mutex, &ready, &is_ready] { Run(&ready_mutex, &ready, &is_ready); });
    std::unique_lock lock(ready_mutex);
    ready.wait(lock, [&] { return is_ready; });
}

AlarmStore::~AlarmStore() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void AlarmStore::Save(const AlarmEpisode& episode) {
    {
        std::lock_guard lock(mutex_);
        pending_[episode.id] = episode;
        ++saved_;
    }
    // The worker wakes by itself at the next commit time; nothing to signal per save.
}

void AlarmStore::Flush() {
    std::unique_lock lock(mutex_);
    const int64_t target = saved_;
    flush_ = true;
    wake_.notify_all();
    flushed_.wait(lock, [&] { return written_ >= target || stop_; });
}

int64_t AlarmStore::transactions() const {
    std::lock_guard lock(mutex_);
    return transactions_;
}

bool AlarmStore::Open(const QString& connection, QString* error) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(options_.path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=500"));
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    // A damaged file or one another program holds locked fails one of these; quick_check reads every page.
    QSqlQuery mode(db);
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next() ||
        mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        *error = mode.lastError().isValid() ? mode.lastError().text() : QStringLiteral("no WAL journal");
        return false;
    }
    mode.finish();
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next() ||
        check.value(0).toString() != QLatin1String("ok")) {
        *error = check.lastError().isValid() ? check.lastError().text() : check.value(0).toString();
        return false;
    }
    check.finish();
    if (!Exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error) ||
        !Exec(db,
              QStringLiteral("CREATE TABLE IF NOT EXISTS alarm_episode (id INTEGER PRIMARY KEY, "
                             "device_id TEXT NOT NULL, label TEXT NOT NULL, word INTEGER NOT NULL, "
                             "started_s INTEGER NOT NULL, cleared_s INTEGER NOT NULL DEFAULT 0, "
                             "at_login INTEGER NOT NULL DEFAULT 0, ack_user TEXT NOT NULL DEFAULT '', "
                             "ack_s INTEGER NOT NULL DEFAULT 0, ack_comment TEXT NOT NULL DEFAULT '')"),
              error) ||
        !Exec(db,
              QStringLiteral("CREATE INDEX IF NOT EXISTS alarm_episode_started ON alarm_episode(started_s)"),
              error))
        return false;
    if (options_.keep_days > 0) {
        QSqlQuery prune(db);
        prune.prepare(QStringLiteral("DELETE FROM alarm_episode WHERE started_s < ?"));
        prune.addBindValue(QDateTime::currentSecsSinceEpoch() - int64_t(options_.keep_days) * 86400);
        if (!prune.exec()) {
            *error = prune.lastError().text();
            return false;
        }
    }
    QSqlQuery load(db);
    load.setForwardOnly(true);
    if (!load.exec(QStringLiteral("SELECT %1 FROM alarm_episode ORDER BY id DESC LIMIT %2")
                       .arg(QLatin1String(kColumns))
                       .arg(qMax(0, options_.load_limit)))) {
        *error = load.lastError().text();
        return false;
    }
    QList<AlarmEpisode> newest_first;
    AlarmEpisode episode;
    while (load.next())
        if (ReadEpisode(load, &episode)) newest_first.append(episode);
    loaded_.clear();
    for (auto it = newest_first.crbegin(); it != newest_first.crend(); ++it) loaded_.append(*it);
    return true;
}

void AlarmStore::Run(std::mutex* ready_mutex, std::condition_variable* ready, bool* is_ready) {
    const QString connection = NewConnectionName("writer");
    ConnectionGuard guard{connection};
    QString error;
    // No file named: the client keeps no history (a window made without a program folder, in tests).
    usable_ = !options_.path.isEmpty() && Open(connection, &error);
    if (!usable_ && !options_.path.isEmpty()) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
        // Set the file aside with its journal so that the next start finds a fresh one; nothing is deleted.
        const QString aside = options_.path + QStringLiteral(".bad-") +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        bool moved = QFile::rename(options_.path, aside);
        for (const char* suffix : {"-wal", "-shm"})
            QFile::rename(options_.path + QLatin1String(suffix), aside + QLatin1String(suffix));
        if (moved) {
            problem_ = QStringLiteral("Alarm history %1 could not be used (%2); set aside as %3")
                           .arg(options_.path, error, aside);
            QString second;
            usable_ = Open(connection, &second);
            if (!usable_) problem_ += QStringLiteral("; no alarm history is kept (%1)").arg(second);
        } else {
            problem_ = QStringLiteral("Alarm history %1 could not be used (%2); no alarm history is kept")
                           .arg(options_.path, error);
        }
    }
    {
        std::lock_guard lock(*ready_mutex);
        *is_ready = true;
    }
    ready->notify_all();

    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(qMax(1, options_.commit_interval_ms));
    auto next_commit = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_until(lock, next_commit > Clock::now() ? next_commit : Clock::now() + interval, [&] {
            return stop_ || flush_ || (!pending_.empty() && Clock::now() >= next_commit);
        });
        if (pending_.empty()) {
            written_ = saved_;
            flush_ = false;
            flushed_.notify_all();
            if (stop_) break;
            continue;
        }
        if (!stop_ && !flush_ && Clock::now() < next_commit) continue;
        std::map<int64_t, AlarmEpisode> batch;
        batch.swap(pending_);
        const int64_t taken = saved_;
        flush_ = false;
        lock.unlock();
        if (usable_) Commit(connection, batch);
        lock.lock();
        if (usable_) ++transactions_;
        written_ = taken;
        next_commit = Clock::now() + interval;
        flushed_.notify_all();
    }
    lock.unlock();
    QSqlDatabase::database(connection, false).close();
}

void AlarmStore::Commit(const QString& connection, std::map<int64_t, AlarmEpisode>& batch) {
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.transaction()) return;
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT OR REPLACE INTO alarm_episode (%1) VALUES (?,?,?,?,?,?,?,?,?,?)")
                       .arg(QLatin1String(kColumns)));
    // A null QString binds as NULL, which the NOT NULL columns refuse (and with it the whole batch).
    const auto text = [](const QString& value) { return value.isNull() ? QStringLiteral("") : value; };
    bool ok = true;
    for (const auto& [id, e] : batch) {
        insert.addBindValue(qlonglong(e.id));
        insert.addBindValue(text(e.device_id));
        insert.addBindValue(text(e.label));
        insert.addBindValue(e.word);
        insert.addBindValue(qlonglong(e.started_s));
        insert.addBindValue(qlonglong(e.cleared_s));
        insert.addBindValue(e.at_login ? 1 : 0);
        insert.addBindValue(text(e.ack_user));
        insert.addBindValue(qlonglong(e.ack_s));
        insert.addBindValue(text(e.ack_comment));
        if (!insert.exec()) {
            ok = false;
            break;
        }
    }
    insert.finish();
    if (ok && db.commit()) return;
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        std::fprintf(stderr, "tavrin: alarm history not written: %s\n",
                     qPrintable(ok ? db.lastError().text() : insert.lastError().text()));
    db.rollback();
    // Tried again at the next commit (a full disk may clear up), unless newer states came in meanwhile;
    // bounded, so a file that never takes writes cannot fill memory.
    std::lock_guard lock(mutex_);
    if (pending_.size() + batch.size() > kMaxPending) return;
    for (auto& [id, episode] : batch) pending_.try_emplace(id, std::move(episode));
}

QList<AlarmEpisode> AlarmStore::Search(const QString& path, const AlarmQuery& query) {
    QList<AlarmEpisode> found;
    if (!QFile::exists(path)) return found;
    const QString connection = NewConnectionName("reader");
    ConnectionGuard guard{connection};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=500"));
        if (!db.open()) return found;
        QString sql = QStringLiteral("SELECT %1 FROM alarm_episode WHERE 1=1").arg(QLatin1String(kColumns));
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

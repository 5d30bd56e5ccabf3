// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm history under stress and on a troubled file: two writers on one file keep their own rows, an
// old file is migrated in place, a flapping word is one episode with its count, the row cap holds while
// running, searches run off the window's thread, failed writes are told once and their recovery with
// the number dropped, a locked file is waited for and never set aside, a deleted file is started anew, a
// read-only folder's history is shown, and the CSV export defuses what spreadsheets would run.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <mutex>
#include <thread>

#include "fleet/alarm_desk.h"
#include "fleet/alarm_history_dlg.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"
#include "fleet/alarm_sound.h"
#include "fleet/alarm_store.h"

namespace {

AlarmEpisode Episode(int64_t id, const QString& device, int word, int64_t started_s) {
    AlarmEpisode e;
    e.id = id;
    e.device_id = device;
    e.label = QStringLiteral("CAR-") + device;
    e.word = word;
    e.started_s = started_s;
    return e;
}

AlarmStoreOptions Options(const QString& path) {
    AlarmStoreOptions options;
    options.path = path;
    options.commit_interval_ms = 50;
    options.load_limit = 100000;
    return options;
}

AlarmSettings Settings(const QString& folder) {
    AlarmSettings settings;
    settings.database = folder + QStringLiteral("/alarms.db");
    settings.sound_backend = QStringLiteral("null");
    return settings;
}

QString Same(const QString& text) {
    return text;
}

// A connection of the test's own, standing for another program on the same file.
struct OtherProgram {
    explicit OtherProgram(const QString& path, QString connection = QStringLiteral("other_program"))
        : name(std::move(connection)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~OtherProgram() {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    bool Exec(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(name, false));
        const bool ok = query.exec(sql);
        if (!ok) qWarning() << sql << query.lastError().text();
        return ok;
    }
    int64_t Count(const QString& where = QString()) {
        QSqlQuery query(QSqlDatabase::database(name, false));
        if (!query.exec(QStringLiteral("SELECT count(*) FROM alarm_episode ") + where) || !query.next())
            return -1;
        return query.value(0).toLongLong();
    }
    QString name;
};

// Events of a store, gathered from its worker.
struct Events {
    void Add(const AlarmStoreEvent& event) {
        std::lock_guard lock(mutex);
        list.append(event);
    }
    QList<AlarmStoreEvent> Of(AlarmStoreEvent::Kind kind) {
        std::lock_guard lock(mutex);
        QList<AlarmStoreEvent> found;
        for (const AlarmStoreEvent& event : list)
            if (event.kind == kind) found.append(event);
        return found;
    }
    std::mutex mutex;
    QList<AlarmStoreEvent> list;
};

QStringList Texts(const QSignalSpy& spy) {
    QStringList texts;
    for (const QList<QVariant>& args : spy) texts << args.at(0).toString();
    return texts;
}

// The child of aReadOnlyFolderShowsItsHistory: reads the history as a user who may not write there.
int RunReader(const QString& path) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
    AlarmStore store(Options(path));
    const QList<AlarmEpisode> found = AlarmStore::Search(path, AlarmQuery{});
    std::printf("loaded=%lld read_only=%d usable=%d found=%lld\n",
                static_cast<long long>(store.loaded().size()), store.read_only() ? 1 : 0,
                store.usable() ? 1 : 0, static_cast<long long>(found.size()));
    store.Save(Episode(1000, QStringLiteral("N"), 9, 1));
    store.Flush();
    return 0;
}

}  // namespace

class AlarmHistoryTest : public QObject {
    Q_OBJECT
  private slots:
    // Two programs on one file: each inserts its own rows and changes only those, and an old file keeps
    // its rows when it gets the new table.
    void twoWritersKeepEachOthersRowsAndOldFilesMigrate() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        const int64_t t = QDateTime::currentSecsSinceEpoch() - 100;
        {
            AlarmStore a(Options(path));
            AlarmStore b(Options(path));
            QVERIFY(a.usable() && b.usable());
            // Both number their episodes from 1, as two books started on the same empty file do.
            for (int i = 1; i <= 3; ++i) {
                a.Save(Episode(i, "A", 13, t + i));
                b.Save(Episode(i, "B", 12, t + i));
            }
            a.Flush();
            b.Flush();
            AlarmEpisode acked = Episode(1, "A", 13, t + 1);
            acked.ack_user = "ann";
            acked.ack_s = t + 10;
            a.Save(acked);
            AlarmEpisode cleared = Episode(1, "B", 12, t + 1);
            cleared.cleared_s = t + 20;
            b.Save(cleared);
            a.Flush();
            b.Flush();
        }
        {
            AlarmStore check(Options(path));
            QCOMPARE(check.loaded().size(), 6);
            QSet<int64_t> ids;
            for (const AlarmEpisode& e : check.loaded()) {
                ids.insert(e.id);
                const bool first = e.started_s == t + 1;
                QCOMPARE(e.ack_user, QString(first && e.device_id == "A" ? "ann" : ""));
                QCOMPARE(e.cleared_s, first && e.device_id == "B" ? t + 20 : 0);
            }
            QCOMPARE(ids.size(), 6);
        }

        // A file of the table before ids came from SQLite: its rows stay, new ids follow the largest.
        const QString old_path = dir.path() + "/old.db";
        {
            OtherProgram old(old_path);
            QVERIFY(
                old.Exec("CREATE TABLE alarm_episode (id INTEGER PRIMARY KEY, device_id TEXT NOT NULL, "
                         "label TEXT NOT NULL, word INTEGER NOT NULL, started_s INTEGER NOT NULL, "
                         "cleared_s INTEGER NOT NULL DEFAULT 0, at_login INTEGER NOT NULL DEFAULT 0, "
                         "ack_user TEXT NOT NULL DEFAULT '', ack_s INTEGER NOT NULL DEFAULT 0, "
                         "ack_comment TEXT NOT NULL DEFAULT '')"));
            QVERIFY(old.Exec(
                QString("INSERT INTO alarm_episode (id, device_id, label, word, started_s, ack_user, "
                        "ack_s) VALUES (5, 'D5', 'CAR-5', 9, %1, 'bob', %2), (9, 'D9', 'CAR-9', 10, %1, "
                        "'', 0)")
                    .arg(t)
                    .arg(t + 5)));
        }
        {
            AlarmStore store(Options(old_path));
            QVERIFY2(store.problem().isEmpty(), qPrintable(store.problem()));
            QCOMPARE(store.loaded().size(), 2);
            QCOMPARE(store.loaded().at(0).id, 5);
            QCOMPARE(store.loaded().at(0).ack_user, QString("bob"));
            AlarmEpisode acked = store.loaded().at(1);
            acked.ack_user = "ann";
            acked.ack_s = t + 30;
            store.Save(acked);
            store.Save(Episode(10, "D10", 11, t + 40));
            store.Flush();
        }
        OtherProgram check(old_path);
        QCOMPARE(check.Count(), 3);
        QCOMPARE(check.Count("WHERE id = 9 AND ack_user = 'ann'"), 1);
        QCOMPARE(check.Count("WHERE id > 9 AND device_id = 'D10'"), 1);
    }

    // A word flapping a thousand times in a few seconds is one episode with its count, in the book, the
    // list, the file and the export; a word back on after the window, or after an acknowledgement, opens
    // a new one.
    void aFlappingWordIsOneEpisodeWithItsCount() {
        QTemporaryDir dir;
        AlarmSettings settings = Settings(dir.path());
        settings.reopen_window_s = 30;
        const int64_t t = QDateTime::currentSecsSinceEpoch() - 100;
        AlarmDesk desk(settings, Same);
        desk.WaitForHistory();
        for (int i = 0; i < 1000; ++i) {
            desk.OnStatusWord(0, "D1", "CAR-1", 13, true, t + i / 300);
            desk.OnStatusWord(0, "D1", "CAR-1", 13, false, t + i / 300);
        }
        QCOMPARE(desk.book().size(), 1);
        const AlarmEpisode& episode = desk.book().at(0);
        QCOMPARE(episode.repeats, 999);
        QCOMPARE(desk.unacknowledged(), 1);
        QCOMPARE(desk.sound()->plays(), 1);
        QVERIFY(AlarmListModel::CellText(episode, AlarmListModel::kState, Same).contains(u"\u00d71000"));
        desk.store()->Flush();
        const QList<AlarmEpisode> stored = AlarmStore::Search(settings.database, AlarmQuery{});
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().repeats, 999);
        QVERIFY(AlarmCsv(stored, Same).split('\n').value(1).trimmed().endsWith(",1000"));

        // Back on 31 s after going off: a new episode.
        desk.OnStatusWord(0, "D1", "CAR-1", 13, true, t + 40);
        QCOMPARE(desk.book().size(), 2);
        // Acknowledged, it stays as the operator saw it: the word coming back opens another.
        desk.OnStatusWord(0, "D1", "CAR-1", 13, false, t + 41);
        QCOMPARE(desk.Acknowledge({desk.book().at(1).id}, ""), 1);
        desk.OnStatusWord(0, "D1", "CAR-1", 13, true, t + 42);
        QCOMPARE(desk.book().size(), 3);
        QCOMPARE(desk.book().at(2).repeats, 0);
    }

    // The newest max_rows rows stay while the store runs, however many come in.
    void theRowCapHoldsWhileRunning() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        AlarmStoreOptions options = Options(path);
        options.max_rows = 100;
        AlarmStore store(options);
        QVERIFY(store.usable());
        OtherProgram other(path);
        const int64_t t = QDateTime::currentSecsSinceEpoch() - 1000;
        for (int i = 1; i <= 250; ++i) {
            store.Save(Episode(i, QString("D%1").arg(i), 8 + i % 8, t + i));
            if (i % 60 == 0) {
                store.Flush();
                QVERIFY(other.Count() <= 100);
            }
        }
        store.Flush();
        QCOMPARE(other.Count(), 100);
        QCOMPARE(other.Count("WHERE device_id = 'D150'"), 0);
        QCOMPARE(other.Count("WHERE device_id = 'D151'"), 1);
    }

    // A search over a large file runs on the dialog's worker: Search() returns at once, the results come
    // later, and of two searches in a row only the newer is shown.
    void searchesRunOffTheWindowThread() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        {
            AlarmStore store(Options(path));
            QVERIFY(store.usable());
        }
        {
            OtherProgram fill(path);
            QVERIFY(fill.Exec(
                "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n LIMIT 400000) "
                "INSERT INTO alarm_episode (device_id, label, word, started_s) "
                "SELECT 'D' || (x % 5000), 'CAR-' || (x % 5000), 8 + x % 8, 1700000000 + x FROM n"));
        }
        AlarmHistoryDlg dialog(path, Same);
        std::mutex mutex;
        std::thread::id searched_on;
        dialog.SetBeforeSearch([&] {
            std::lock_guard lock(mutex);
            searched_on = std::this_thread::get_id();
        });
        QSignalSpy finished(&dialog, &AlarmHistoryDlg::searchFinished);
        dialog.vehicleEdit()->setText("car-49");
        QElapsedTimer clock;
        clock.start();
        dialog.Search();
        dialog.vehicleEdit()->setText("car-4999");
        dialog.Search();
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(finished.count(), 0);
        QVERIFY(dialog.searching());
        QVERIFY(finished.wait(20000));
        QTest::qWait(300);
        QCOMPARE(finished.count(), 1);
        {
            std::lock_guard lock(mutex);
            QVERIFY(searched_on != std::thread::id() && searched_on != std::this_thread::get_id());
        }
        QCOMPARE(dialog.shown().size(), 80);  // 400000 / 5000 rows of CAR-4999
        for (const AlarmEpisode& e : dialog.shown()) QCOMPARE(e.label, QString("CAR-4999"));
        QCOMPARE(dialog.results()->topLevelItemCount(), 80);
    }

    // Writes failing (another program holds the write lock) are told once, not per episode; what did
    // not fit in memory is counted, and the recovery says how many were dropped.
    void failedWritesAreToldOnceAndTheirRecoveryCounted() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        Events events;
        AlarmStoreOptions options = Options(path);
        options.busy_timeout_ms = 50;
        options.max_pending = 5;
        options.on_event = [&](const AlarmStoreEvent& event) { events.Add(event); };
        AlarmStore store(options);
        QVERIFY(store.usable());
        OtherProgram other(path);
        QVERIFY(other.Exec("BEGIN IMMEDIATE"));
        const int64_t t = QDateTime::currentSecsSinceEpoch();
        for (int i = 1; i <= 8; ++i) {
            store.Save(Episode(i, QString("D%1").arg(i), 9, t));
            store.Flush();
        }
        QTest::qWait(300);
        QCOMPARE(events.Of(AlarmStoreEvent::Kind::kWriteFailed).size(), 1);
        QVERIFY(events.Of(AlarmStoreEvent::Kind::kWriteRecovered).isEmpty());
        QCOMPARE(store.dropped(), 3);
        QVERIFY(other.Exec("ROLLBACK"));
        QTRY_COMPARE(events.Of(AlarmStoreEvent::Kind::kWriteRecovered).size(), 1);
        QCOMPARE(events.Of(AlarmStoreEvent::Kind::kWriteRecovered).first().dropped, 3);
        QCOMPARE(other.Count(), 5);

        // The window's side: one log line and the panel say it failed, one says it recovered.
        QTemporaryDir desk_dir;
        AlarmDesk desk(Settings(desk_dir.path()), Same);
        desk.WaitForHistory();
        QSignalSpy lines(&desk, &AlarmDesk::problemReported);
        OtherProgram locker(desk_dir.path() + "/alarms.db", "locker");
        QVERIFY(locker.Exec("BEGIN IMMEDIATE"));
        for (int i = 0; i < 20; ++i) desk.OnStatusWord(0, QString("V%1").arg(i), "CAR", 12, true, t);
        AlarmPanel* panel = desk.Panel(nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(Texts(lines).join('\n').contains("failed"), 10000);
        QVERIFY(!panel->historyStatus()->isHidden());
        QVERIFY(panel->historyStatus()->text().contains("failed"));
        desk.OnStatusWord(0, "V99", "CAR", 12, true, t);
        QTest::qWait(2500);
        QCOMPARE(Texts(lines).filter("failed").size(), 1);
        QVERIFY(locker.Exec("ROLLBACK"));
        QTRY_VERIFY_WITH_TIMEOUT(Texts(lines).join('\n').contains("recovered; 0 alarms"), 10000);
        QVERIFY(panel->historyStatus()->isHidden());
        delete panel;
    }

    // Another program holding the file locked at start: the window is not held up, the store waits and
    // retries, and the file is never set aside; its episodes come in once the lock goes.
    void aLockedFileIsWaitedForNeverSetAside() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        const int64_t t = QDateTime::currentSecsSinceEpoch() - 50;
        {
            AlarmStore store(Options(path));
            store.Save(Episode(1, "D1", 13, t));
            store.Flush();
        }
        auto other = std::make_unique<OtherProgram>(path);
        QVERIFY(other->Exec("PRAGMA locking_mode=EXCLUSIVE"));
        QVERIFY(other->Exec("BEGIN EXCLUSIVE"));
        QVERIFY(other->Exec("COMMIT"));
        QElapsedTimer clock;
        clock.start();
        AlarmDesk desk(Settings(dir.path()), Same);
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QSignalSpy lines(&desk, &AlarmDesk::problemReported);
        QSignalSpy ready(&desk, &AlarmDesk::historyReady);
        QVERIFY(!desk.historyLoaded());
        // A word seen meanwhile waits for the history, then closes the episode still open from before.
        desk.OnStatusWord(0, "D1", "CAR-D1", 13, false, t + 5);
        QTRY_VERIFY_WITH_TIMEOUT(Texts(lines).join('\n').contains("locked"), 10000);
        QTest::qWait(2000);
        QVERIFY(!desk.historyLoaded());
        other.reset();
        QVERIFY(ready.wait(10000));
        QCOMPARE(desk.book().size(), 1);
        QCOMPARE(desk.book().at(0).cleared_s, t + 5);
        QVERIFY(QDir(dir.path()).entryList({"alarms.db.bad-*"}, QDir::Files).isEmpty());
        QVERIFY(desk.store()->usable());
    }

    // The file deleted while running: noticed at the next write, a new file started (and said so), and
    // the episodes after it are in the new file.
    void aDeletedFileIsStartedAnew() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        const int64_t t = QDateTime::currentSecsSinceEpoch() - 50;
        AlarmDesk desk(Settings(dir.path()), Same);
        desk.WaitForHistory();
        QSignalSpy lines(&desk, &AlarmDesk::problemReported);
        desk.OnStatusWord(0, "D1", "CAR-1", 13, true, t);
        desk.store()->Flush();
        QCOMPARE(AlarmStore::Search(path, AlarmQuery{}).size(), 1);
        QVERIFY(QFile::remove(path));
        desk.OnStatusWord(0, "D2", "CAR-2", 13, true, t + 1);
        desk.OnStatusWord(0, "D1", "CAR-1", 13, false, t + 2);
        desk.store()->Flush();
        QVERIFY(QFile::exists(path));
        const QList<AlarmEpisode> found = AlarmStore::Search(path, AlarmQuery{});
        QCOMPARE(found.size(), 2);
        QTRY_VERIFY(Texts(lines).join('\n').contains("was removed while in use"));
        desk.OnStatusWord(0, "D3", "CAR-3", 13, true, t + 3);
        desk.store()->Flush();
        QCOMPARE(AlarmStore::Search(path, AlarmQuery{}).size(), 3);
    }

    // A folder the user may not write: the history is read and searched, and says new alarms are not kept.
    void aReadOnlyFolderShowsItsHistory() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        {
            AlarmStore store(Options(path));
            const int64_t t = QDateTime::currentSecsSinceEpoch() - 100;
            for (int i = 1; i <= 3; ++i) store.Save(Episode(i, "D1", 8 + i, t + i));
            store.Flush();
        }
        QVERIFY(!QFile::exists(path + "-wal"));
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
        QProcess reader;
        reader.start(QCoreApplication::applicationFilePath(), {"--read-history", path});
        QVERIFY(reader.waitForFinished(30000));
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        const QByteArray out = reader.readAllStandardOutput();
        QCOMPARE(reader.exitCode(), 0);
        QCOMPARE(out.trimmed(), QByteArray("loaded=3 read_only=1 usable=0 found=3"));
        QVERIFY(QDir(dir.path()).entryList({"alarms.db.bad-*"}, QDir::Files).isEmpty());
        QCOMPARE(AlarmStore::Search(path, AlarmQuery{}).size(), 3);
    }

    // What spreadsheets would run or split is defused; NULs are gone.
    void csvDefusesFormulasSeparatorsAndNuls() {
        AlarmEpisode e = Episode(1, "a;b", 13, 1700000000);
        e.label = "\t=cmd|' /C calc'!A0";
        e.ack_user = "  @SUM(1)";
        e.ack_s = 1700000100;
        e.ack_comment = QString("x") + QChar(0) + "y";
        const QByteArray line = AlarmCsv({e}, Same).split('\n').value(1);
        QVERIFY2(line.contains(",\"'\t=cmd|' /C calc'!A0\","), line.constData());
        QVERIFY2(line.contains(",\"a;b\","), line.constData());
        QVERIFY2(line.contains(",\"'  @SUM(1)\","), line.constData());
        QVERIFY2(line.contains(",xy,"), line.constData());
        QVERIFY(!line.contains('\0'));
        e.label = "\rX";
        e.device_id = "-5";
        e.ack_user = "+1";
        const QByteArray second = AlarmCsv({e}, Same).split('\n').value(1);
        QVERIFY2(second.contains(",\"'\rX\",\"'-5\","), second.constData());
        QVERIFY2(second.contains(",\"'+1\","), second.constData());
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--read-history") == 0) {
        QCoreApplication app(argc, argv);
        return RunReader(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    AlarmHistoryTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "alarm_history_test.moc"

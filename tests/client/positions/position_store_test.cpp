// SPDX-License-Identifier: GPL-3.0-or-later
// The position history on disk: what was committed survives a kill -9 of the writer, a vehicle standing
// still keeps one point a minute, retention and the size cap prune while running, a damaged file is set
// aside and a locked one waited for; a simulated route with a dwell replays in order with its stop; the
// sentence's own time is used only when believable.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <random>

#include "fleet.h"
#include "positions/position_store.h"
#include "positions/position_track.h"

namespace {

constexpr int64_t kT0 = 1767225600;  // 2026-01-01 00:00:00 UTC

PositionFix Fix(const QString& id, int64_t t, double speed_kmh, double lat = 48.1, double lon = 11.5) {
    return *MakeFix(id, t, lat, lon, speed_kmh, 90);
}

// The tests' points lie in the past: age pruning stays off unless a test is about it.
PositionStoreOptions Options(const QString& path) {
    PositionStoreOptions options;
    options.path = path;
    options.keep_days = 0;
    return options;
}

// The child of killedWriterKeepsWhatWasCommitted: adds a point a second of simulated time, flushes and
// prints its time once committed, until it is killed.
int RunWriter(const QString& path) {
    PositionStoreOptions options = Options(path);
    options.commit_interval_ms = 50;
    PositionStore store(options);
    for (int64_t t = kT0;; ++t) {
        store.Add(Fix(QStringLiteral("K1"), t, 40));
        store.Flush();
        std::printf("%lld\n", static_cast<long long>(t));
        std::fflush(stdout);
    }
}

struct Events {
    std::mutex mutex;
    QList<PositionStoreEvent> list;
    bool Has(PositionStoreEvent::Kind kind) {
        std::lock_guard lock(mutex);
        for (const auto& e : list)
            if (e.kind == kind) return true;
        return false;
    }
};

}  // namespace

class PositionStoreTest : public QObject {
    Q_OBJECT
  private slots:
    void killedWriterKeepsWhatWasCommitted() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/positions.db";
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {"--write-positions", path});
        QVERIFY(writer.waitForStarted());
        int64_t last_committed = 0;
        int lines = 0;
        while (lines < 40 && writer.waitForReadyRead(10000)) {
            while (writer.canReadLine()) {
                last_committed = writer.readLine().trimmed().toLongLong();
                ++lines;
            }
        }
        QVERIFY(lines >= 40);
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(5000));
        const QList<PositionFix> track = ReadTrack(path, "K1", 0, INT64_MAX);
        QVERIFY(track.size() >= int(last_committed - kT0 + 1));
        for (int i = 0; i < track.size(); ++i) QCOMPARE(track[i].time_s, kT0 + i);
        // The file opens for writing again after the crash.
        PositionStore store(Options(path));
        store.Add(Fix("K1", kT0 + 100000, 40));
        store.Flush();
        QVERIFY(store.usable());
        QCOMPARE(store.stored(), 1);
    }

    void standingVehicleKeepsOnePointAMinute() {
        QTemporaryDir dir;
        const PositionStoreOptions options = Options(dir.path() + "/positions.db");
        {
            PositionStore store(options);
            // 10 minutes standing, reports every 5 s, then it drives off.
            for (int64_t t = 0; t <= 600; t += 5) store.Add(Fix("S1", kT0 + t, 0));
            store.Add(Fix("S1", kT0 + 603, 25));
            store.Flush();
            QCOMPARE(store.stored(), 12);
            QCOMPARE(store.thinned(), 110);
        }
        // A restarted writer goes on thinning from the newest point of the file.
        PositionStore store(options);
        store.Add(Fix("S1", kT0 + 610, 0));
        store.Add(Fix("S1", kT0 + 620, 0));
        store.Flush();
        QCOMPARE(store.stored(), 1);
        const QList<PositionFix> track = ReadTrack(options.path, "S1", 0, INT64_MAX);
        QCOMPARE(track.size(), 13);
        QCOMPARE(track[11].time_s, kT0 + 603);
        const QList<PositionStop> stops = FindStops(track);
        QCOMPARE(stops.size(), 1);
        QCOMPARE(stops[0].from_s, kT0);
        QCOMPARE(stops[0].duration_s(), 603);
        QVERIFY(FindStops(track, 604).isEmpty());
    }

    void simulatedRouteReplaysInOrderWithItsStop() {
        // A square of about 1.1 km a side; the vehicle stands 3 minutes at the third corner, which it
        // reaches once in the 700 s driven (a lap takes about 7 minutes).
        QTemporaryDir dir;
        const QString fleet_file = dir.path() + "/fleet.json";
        QFile json(fleet_file);
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(R"({"vehicles": [{"device_id": "R001", "vehicle_id": "ROUTE-1", "speed_knots": 20,
                     "report_s": 5, "route": [[48.10, 11.50], [48.11, 11.50], [48.11, 11.515, 180],
                     [48.10, 11.515]]}]})");
        json.close();
        std::string error;
        std::optional<velq_sim::Fleet> fleet = velq_sim::Fleet::Load(fleet_file.toStdString(), &error);
        QVERIFY2(fleet, error.c_str());
        const PositionStoreOptions options = Options(dir.path() + "/positions.db");
        PositionStore store(options);
        std::mt19937 random(7);
        std::string last;
        int reports = 0;
        const uint32_t start_s = uint32_t(kT0);
        for (uint32_t s = start_s; s < start_s + 700; ++s) {
            fleet->Tick(s, 1.0, 0.0, random);
            const std::string sentence = fleet->Find("R001")->position;
            if (sentence == last) continue;
            last = sentence;
            const std::optional<PositionFix> fix =
                FixFromSentence("R001", QByteArray::fromStdString(sentence), int64_t(s));
            QVERIFY(fix);
            QCOMPARE(fix->time_s, int64_t(s));  // the sentence's own time
            store.Add(*fix);
            ++reports;
        }
        store.Flush();
        QVERIFY(reports > 100);
        const QList<PositionFix> track = ReadTrack(options.path, "R001", kT0, kT0 + 2000);
        QCOMPARE(track.size(), int(store.stored()));
        for (int i = 1; i < track.size(); ++i) QVERIFY(track[i - 1].time_s < track[i].time_s);
        const QList<PositionStop> stops = FindStops(track);
        QCOMPARE(stops.size(), 1);
        QVERIFY2(stops[0].duration_s() >= 180 && stops[0].duration_s() <= 190,
                 qPrintable(QString::number(stops[0].duration_s())));
        QVERIFY(std::abs(stops[0].lat_udeg - 48110000) < 300);
        QVERIFY(std::abs(stops[0].lon_udeg - 11515000) < 300);
        // A part of the range gives that part only; another vehicle nothing.
        const QList<PositionFix> part = ReadTrack(options.path, "R001", kT0 + 100, kT0 + 200);
        QVERIFY(!part.isEmpty() && part.first().time_s >= kT0 + 100 && part.last().time_s <= kT0 + 200);
        QVERIFY(ReadTrack(options.path, "R002", 0, INT64_MAX).isEmpty());
        QCOMPARE(TrackedVehicles(options.path), QStringList{"R001"});
    }

    void retentionAndSizeCapPruneWhileRunning() {
        QTemporaryDir dir;
        PositionStoreOptions options;
        options.path = dir.path() + "/positions.db";
        options.keep_days = 2;
        options.max_bytes = 256 << 10;
        options.clock_s = [] { return kT0 + 10 * 86400; };
        PositionStore store(options);
        // Three days ago (pruned by age), then 24 hours of 4 vehicles every 5 s (over the cap).
        for (int64_t t = 0; t < 3600; t += 5) store.Add(Fix("A", kT0 + 7 * 86400 + t, 30));
        for (int64_t t = 0; t < 86400; t += 5)
            for (const char* id : {"A", "B", "C", "D"}) store.Add(Fix(id, kT0 + 9 * 86400 + t, 30));
        store.Flush();
        store.PruneNow();
        QVERIFY(ReadTrack(options.path, "A", 0, kT0 + 8 * 86400).isEmpty());
        const QList<PositionFix> kept = ReadTrack(options.path, "B", 0, INT64_MAX);
        QVERIFY(!kept.isEmpty());
        QCOMPARE(kept.last().time_s, kT0 + 9 * 86400 + 86395);  // the newest stay
        QVERIFY(kept.first().time_s > kT0 + 9 * 86400);         // the oldest went
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "cap");
        db.setDatabaseName(options.path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("SELECT (SELECT page_count FROM pragma_page_count) - (SELECT freelist_count FROM "
                       "pragma_freelist_count)") &&
                q.next());
        QVERIFY(q.value(0).toLongLong() * 4096 <= options.max_bytes);
        q.finish();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("cap");
    }

    void damagedFileIsSetAsideAndLockedFileWaitedFor() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/positions.db";
        {
            QFile junk(path);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(8192, 'x'));
        }
        Events events;
        PositionStoreOptions options = Options(path);
        options.retry_ms = 100;
        options.on_event = [&events](const PositionStoreEvent& e) {
            std::lock_guard lock(events.mutex);
            events.list.append(e);
        };
        {
            PositionStore store(options);
            store.Add(Fix("D1", kT0, 10));
            store.Flush();
            QVERIFY(events.Has(PositionStoreEvent::Kind::kSetAside));
            QCOMPARE(store.stored(), 1);
        }
        QCOMPARE(QDir(dir.path()).entryList({"positions.db.bad-*"}).size(), 1);

        // Another program holds the file locked: points wait, the file is never set aside.
        events.list.clear();
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "locker");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        {
            QSqlQuery lock(db);
            QVERIFY(lock.exec("PRAGMA locking_mode=EXCLUSIVE"));
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
        }
        options.busy_timeout_ms = 50;
        {
            PositionStore store(options);
            store.Add(Fix("D1", kT0 + 1, 10));
            QVERIFY(!store.Flush(300));
            QTRY_VERIFY(events.Has(PositionStoreEvent::Kind::kLocked));
            QVERIFY(!store.usable());
            QSqlQuery(db).exec("COMMIT");
            db.close();
            QTRY_VERIFY_WITH_TIMEOUT(store.stored() == 1, 5000);
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("locker");
        QVERIFY(!events.Has(PositionStoreEvent::Kind::kSetAside));
        QCOMPARE(ReadTrack(path, "D1", 0, INT64_MAX).size(), 2);
    }

    void sentenceTimeIsUsedOnlyWhenBelievable() {
        const int64_t told_s = kT0 + 10 * 3600 + 15 * 60 + 30;
        const QByteArray sentence =
            QByteArray::fromStdString(velq_sim::FormatGprmc(uint32_t(told_s), 48.1, 11.5, 10, 45));
        QCOMPARE(SentenceTimeS(sentence), std::optional<int64_t>(told_s));
        QCOMPARE(FixFromSentence("X", sentence, told_s + 3600)->time_s, told_s);
        // A clock a year off: the time it arrived.
        QCOMPARE(FixFromSentence("X", sentence, told_s + 366 * 86400)->time_s, told_s + 366 * 86400);
        QCOMPARE(FixFromSentence("X", sentence, told_s)->lat_udeg, 48100000);
        for (const QByteArray& bad :
             {QByteArray("$GPRMC,1015,A"), QByteArray("$GPRMC,999999.000,A,1,N,1,E,1,1,320226,,,A"),
              QByteArray("$GPRMC,101530.000,A,1,N,1,E,1,1,31x226,,,A"), QByteArray(300, ',')})
            QVERIFY(!SentenceTimeS(bad));
        QVERIFY(!MakeFix("X", 0, 91, 0, 0, 0));
        QVERIFY(!MakeFix("X", 0, 0, 0, std::nan(""), 0));
        QCOMPARE(MakeFix("X", 0, 0, 0, 5, -90)->course_deg, 270);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--write-positions") == 0) {
        QCoreApplication app(argc, argv);
        return RunWriter(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    PositionStoreTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "position_store_test.moc"

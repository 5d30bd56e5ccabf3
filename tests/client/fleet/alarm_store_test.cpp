// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm history on disk: episodes and acknowledgements survive a restart and a kill -9 (all but the
// last second), a damaged file is set aside once and a new one started, writes come in at most one
// transaction a second, old episodes are pruned, and the search and its CSV export.
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <map>

#include "fleet/alarm_desk.h"
#include "fleet/alarm_history_dlg.h"
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

AlarmSettings Settings(const QString& folder) {
    AlarmSettings settings;
    settings.database = folder + QStringLiteral("/alarms.db");
    settings.sound_backend = QStringLiteral("null");
    return settings;
}

QString Same(const QString& text) {
    return text;
}

// The child of killedWriterLosesAtMostTheLastSecond: saves an episode every 20 ms and prints its id
// once saved, until it is killed.
int RunWriter(const QString& path) {
    AlarmStoreOptions options;
    options.path = path;
    AlarmStore store(options);
    for (int64_t id = 1;; ++id) {
        store.Save(Episode(id, QStringLiteral("W"), 13, QDateTime::currentSecsSinceEpoch()));
        std::printf("%lld\n", static_cast<long long>(id));
        std::fflush(stdout);
        QThread::msleep(20);
    }
}

}  // namespace

class AlarmStoreTest : public QObject {
    Q_OBJECT
  private slots:
    void acknowledgementSurvivesARestart() {
        QTemporaryDir dir;
        const int64_t t = QDateTime::currentSecsSinceEpoch() - 60;
        int64_t acked = 0, open_id = 0;
        {
            AlarmDesk desk(Settings(dir.path()), Same);
            desk.WaitForHistory();
            QVERIFY(desk.store()->usable());
            QCOMPARE(desk.book().size(), 0);
            desk.SetUserSource([] { return QStringLiteral("ann"); });
            desk.OnStatusWord(0, "D1", "CAR-1", 13, true, t);
            desk.OnStatusWord(0, "D1", "CAR-1", 12, true, t + 1);
            acked = desk.book().at(0).id;
            open_id = desk.book().at(1).id;
            QCOMPARE(desk.Acknowledge({acked}, "  called the driver"), 1);
            desk.OnStatusWord(0, "D1", "CAR-1", 13, false, t + 2);
        }
        AlarmDesk desk(Settings(dir.path()), Same);
        desk.WaitForHistory();
        QCOMPARE(desk.book().size(), 2);
        const AlarmEpisode* episode = desk.book().Find(acked);
        QVERIFY(episode);
        QCOMPARE(episode->ack_user, QString("ann"));
        QCOMPARE(episode->ack_comment, QString("  called the driver"));
        QCOMPARE(episode->cleared_s, t + 2);
        QCOMPARE(desk.unacknowledged(), 1);
        // The episode still open after the restart is the one its word closes; new ids follow on.
        desk.OnStatusWord(0, "D1", "CAR-1", 12, true, t + 3);
        QCOMPARE(desk.book().size(), 2);
        desk.OnStatusWord(0, "D1", "CAR-1", 12, false, t + 4);
        QCOMPARE(desk.book().Find(open_id)->cleared_s, t + 4);
        desk.OnStatusWord(0, "D1", "CAR-1", 12, true, t + 5);
        QVERIFY(desk.book().at(2).id > open_id);
    }

    void killedWriterLosesAtMostTheLastSecond() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        QProcess writer;
        writer.setProcessChannelMode(QProcess::SeparateChannels);
        std::map<int64_t, qint64> seen_ms;  // id -> when this process read it
        QElapsedTimer clock;
        clock.start();
        connect(&writer, &QProcess::readyReadStandardOutput, [&] {
            while (writer.canReadLine()) seen_ms[writer.readLine().trimmed().toLongLong()] = clock.elapsed();
        });
        writer.start(QCoreApplication::applicationFilePath(), {"--write-alarms", path});
        QVERIFY(writer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(seen_ms.size() > 150, 20000);
        ::kill(pid_t(writer.processId()), SIGKILL);
        const qint64 killed_ms = clock.elapsed();
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        AlarmStoreOptions options;
        options.path = path;
        options.load_limit = 100000;
        AlarmStore store(options);
        QVERIFY2(store.problem().isEmpty(), qPrintable(store.problem()));
        QSet<int64_t> kept;
        for (const AlarmEpisode& e : store.loaded()) kept.insert(e.id);
        // One commit interval of 1 s, and a little for the commit itself on a busy machine.
        int older = 0;
        for (const auto& [id, at_ms] : seen_ms) {
            if (killed_ms - at_ms <= 1150) continue;
            ++older;
            QVERIFY2(kept.contains(id), qPrintable(QString("episode %1 saved %2 ms before the kill is lost")
                                                       .arg(id)
                                                       .arg(killed_ms - at_ms)));
        }
        QVERIFY(older > 50);
    }

    void aDamagedFileIsSetAsideOnce() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        QByteArray junk("SQLite format 3");
        junk.append(QByteArray(8192, '\x5a'));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(junk);
        }
        {
            AlarmDesk desk(Settings(dir.path()), Same);
            QSignalSpy problems(&desk, &AlarmDesk::problemReported);
            QVERIFY(desk.store()->usable());
            QVERIFY(problems.wait(2000));
            QCOMPARE(problems.count(), 1);
            QVERIFY(problems.at(0).at(0).toString().contains("set aside as"));
            desk.WaitForHistory();
            desk.OnStatusWord(0, "D1", "CAR-1", 13, true, QDateTime::currentSecsSinceEpoch());
        }
        const QStringList aside = QDir(dir.path()).entryList({"alarms.db.bad-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QFile kept(dir.path() + "/" + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), junk);  // set aside as it was, not repaired or deleted
        // The new file works and the next start reports nothing.
        AlarmDesk desk(Settings(dir.path()), Same);
        desk.WaitForHistory();
        QVERIFY(desk.store()->problem().isEmpty());
        QCOMPARE(desk.book().size(), 1);
    }

    void writesAreBatchedAndOldEpisodesPruned() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        const int64_t now = QDateTime::currentSecsSinceEpoch();
        {
            AlarmStoreOptions options;
            options.path = path;
            AlarmStore store(options);
            QElapsedTimer wall;
            wall.start();
            for (int i = 1; i <= 3000; ++i) {
                store.Save(
                    Episode(i, QString("D%1").arg(i % 7), 8 + i % 8, now - (i <= 10 ? 91 * 86400 : i)));
                if (i % 100 == 0) QThread::msleep(50);
            }
            store.Flush();
            const double seconds = wall.elapsed() / 1000.0;
            QVERIFY2(store.transactions() <= int64_t(seconds) + 2,
                     qPrintable(QString("%1 transactions in %2 s").arg(store.transactions()).arg(seconds)));
        }
        AlarmStoreOptions options;
        options.path = path;
        options.load_limit = 10000;
        AlarmStore store(options);
        QCOMPARE(store.loaded().size(), 2990);  // the ten older than 90 days are gone
        QCOMPARE(store.loaded().first().id, 11);

        AlarmQuery query;
        query.vehicle = "car-d3";
        query.word = 8 + 3;
        query.from_s = now - 2000;
        const QList<AlarmEpisode> found = AlarmStore::Search(path, query);
        QVERIFY(!found.isEmpty());
        for (const AlarmEpisode& e : found) {
            QCOMPARE(e.device_id, QString("D3"));
            QCOMPARE(e.word, 11);
            QVERIFY(e.started_s >= now - 2000);
        }
        QVERIFY(found.first().started_s >= found.last().started_s);
        QVERIFY(AlarmStore::Search(dir.path() + "/missing.db", query).isEmpty());
    }

    void csvExportQuotesAndDefusesFields() {
        AlarmEpisode e = Episode(1, "D,1", 13, 1700000000);
        e.label = "=HYPERLINK(\"x\")";
        e.ack_user = "ann";
        e.ack_s = 1700000100;
        e.ack_comment = "line\nbreak";
        const QList<QByteArray> lines = AlarmCsv({e}, Same).split('\n');
        QVERIFY(lines[0].startsWith("Start Time,Vehicle,Device Id,Kind,State"));
        QVERIFY(lines[1].contains(",\"'=HYPERLINK(\"\"x\"\")\",\"D,1\",Over Speed,Active,"));
        QVERIFY(lines[1].contains(",ann,"));
        QVERIFY(lines[1].endsWith("\"line"));

        QTemporaryDir dir;
        AlarmHistoryDlg dialog(dir.path() + "/none.db", Same);
        dialog.Search();
        QVERIFY(dialog.ExportTo(dir.path() + "/out.csv"));
        QFile out(dir.path() + "/out.csv");
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll().count('\n'), 1);  // the heading alone
        QVERIFY(!dialog.ExportTo(dir.path() + "/no/such/folder/out.csv"));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--write-alarms") == 0) {
        QCoreApplication app(argc, argv);
        return RunWriter(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    AlarmStoreTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "alarm_store_test.moc"

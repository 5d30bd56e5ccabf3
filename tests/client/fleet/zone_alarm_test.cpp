// SPDX-License-Identifier: GPL-3.0-or-later
// Geofence alarms in the alarm book and its history: each zone keeps its own episodes, the kind reads
// with the zone's name as plain text, and the name survives a restart, also in a history file written
// before zones existed.
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "fleet/alarm_book.h"
#include "fleet/alarm_store.h"

class ZoneAlarmTest : public QObject {
    Q_OBJECT
  private slots:
    void zonesKeepTheirOwnEpisodes() {
        AlarmBook book;
        // A zone word names its zone; a word of the library names none.
        QCOMPARE(book.Observe("D1", "W-1", kZoneEnteredWord, true, 100), int64_t(0));
        QCOMPARE(book.Observe("D1", "W-1", 13, true, 100, false, "North"), int64_t(0));
        QVERIFY(book.Observe("D1", "W-1", kZoneSpeedingWord, true, 100, false, "North"));
        // The same vehicle speeding in another zone is another episode; in the same zone nothing new.
        QVERIFY(book.Observe("D1", "W-1", kZoneSpeedingWord, true, 101, false, "South"));
        QCOMPARE(book.Observe("D1", "W-1", kZoneSpeedingWord, true, 102, false, "North"), int64_t(0));
        QVERIFY(book.Observe("D1", "W-1", kZoneSpeedingWord, false, 103, false, "North"));
        QCOMPARE(book.size(), 2);
        QVERIFY(!book.at(0).active());
        QVERIFY(book.at(1).active());
        // The name goes in last and as text: a "%1" in it stays what it is.
        AlarmEpisode e = book.at(1);
        e.zone = QStringLiteral("Gate %1 <b>");
        const auto german = [](const QString& key) {
            return key == QLatin1String("Speeding in zone %1") ? QStringLiteral("Zu schnell in Zone %1")
                                                               : key;
        };
        QCOMPARE(AlarmKindText(e, german), QStringLiteral("Zu schnell in Zone Gate %1 <b>"));
        e.word = 13;
        QCOMPARE(AlarmKindText(e, german), QStringLiteral("Over Speed"));
    }

    void theZoneSurvivesARestartAndOldFilesGainIt() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alarms.db";
        // A history file as the client wrote it before zones: no zone column, one episode in it.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(
                "CREATE TABLE alarm_episode (id INTEGER PRIMARY KEY AUTOINCREMENT, device_id TEXT NOT NULL, "
                "label TEXT NOT NULL, word INTEGER NOT NULL, started_s INTEGER NOT NULL, cleared_s INTEGER "
                "NOT "
                "NULL DEFAULT 0, at_login INTEGER NOT NULL DEFAULT 0, ack_user TEXT NOT NULL DEFAULT '', "
                "ack_s "
                "INTEGER NOT NULL DEFAULT 0, ack_comment TEXT NOT NULL DEFAULT '', repeats INTEGER NOT NULL "
                "DEFAULT 0)"));
            QVERIFY(
                query.exec("INSERT INTO alarm_episode (device_id, label, word, started_s) VALUES "
                           "('D1', 'W-1', 12, 1000)"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old"));
        const int64_t now = QDateTime::currentSecsSinceEpoch();
        {
            AlarmStoreOptions options;
            options.path = path;
            options.keep_days = 0;
            AlarmStore store(options);
            QCOMPARE(store.loaded().size(), 1);
            AlarmEpisode e;
            e.id = store.loaded().last().id + 1;  // ids go on after the history's, as in the book
            e.device_id = "D2";
            e.label = "W-2";
            e.word = kZoneEnteredWord;
            e.zone = "Depot Nord";
            e.started_s = e.cleared_s = now;
            store.Save(e);
            QVERIFY(store.Flush(10000));
        }
        AlarmStoreOptions options;
        options.path = path;
        options.keep_days = 0;
        AlarmStore store(options);
        const QList<AlarmEpisode> loaded = store.loaded();
        QCOMPARE(loaded.size(), 2);
        QCOMPARE(loaded[0].zone, QString());
        QCOMPARE(loaded[1].word, kZoneEnteredWord);
        QCOMPARE(loaded[1].zone, QStringLiteral("Depot Nord"));
        AlarmQuery query;
        query.word = kZoneEnteredWord;
        QCOMPARE(AlarmStore::Search(path, query).size(), 1);
    }
};

QTEST_GUILESS_MAIN(ZoneAlarmTest)
#include "zone_alarm_test.moc"

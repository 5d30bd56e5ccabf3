// SPDX-License-Identifier: GPL-3.0-or-later
// The fleet layer's feed: what changed goes out once, in bounded batches, oldest change first; the page's
// words about vehicles are checked against what was sent.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "map/fleet_feed.h"

namespace {

QJsonObject Batch(FleetFeed& feed, int max = FleetFeed::kMaxBatch) {
    int count = -1;
    const QByteArray text = feed.TakeBatch(max, &count);
    const QJsonObject batch = QJsonDocument::fromJson(text).object();
    if (count != batch.value("vehicles").toArray().size()) qWarning("count %d differs from the batch", count);
    return batch;
}

QList<int> Rows(const QJsonObject& batch) {
    QList<int> rows;
    for (const QJsonValue& v : batch.value("vehicles").toArray()) rows << v.toArray().at(0).toInt();
    return rows;
}

}  // namespace

class FleetFeedTest : public QObject {
    Q_OBJECT

  private slots:
    void changesGoOutOnceInBoundedBatches() {
        FleetFeed feed;
        QVERIFY(!feed.HasChanges());
        QVERIFY(feed.TakeBatch().isEmpty());
        for (int row = 0; row < 5; ++row)
            feed.SetPosition(row, QString("V%1").arg(row), 10 + row, 20, 90, 50);
        // The same position again, or a state of a vehicle never positioned, is nothing new.
        feed.SetPosition(2, "V2", 12, 20, 90, 50);
        feed.SetOnline(9, false);
        QCOMPARE(feed.pending(), 5);
        QJsonObject batch = Batch(feed, 3);
        QCOMPARE(Rows(batch), QList<int>({0, 1, 2}));
        QCOMPARE(batch.value("reset").toBool(), false);
        QCOMPARE(batch.value("vehicles").toArray().at(1).toArray(),
                 QJsonArray({1, "V1", 11.0, 20.0, 90.0, 50.0, "online", 0.0, 0.0}));
        // A vehicle moving again while queued is sent once, with its newest place, in its old turn.
        feed.SetPosition(0, "V0", 30, 40, 180, 10);
        feed.SetPosition(4, "V4", 31, 41, 0, 0);
        feed.SetPosition(4, "V4", 32, 42, 0, 0);
        batch = Batch(feed);
        QCOMPARE(Rows(batch), QList<int>({3, 4, 0}));
        QCOMPARE(batch.value("vehicles").toArray().at(1).toArray().at(2).toDouble(), 32.0);
        QVERIFY(!feed.HasChanges());
        // A new map correction at the same place is news; one that is no number counts as none.
        feed.SetPosition(4, "V4", 32, 42, 0, 0, 0.0025, -0.004);
        batch = Batch(feed);
        QCOMPARE(batch.value("vehicles").toArray().at(0).toArray().toVariantList().mid(7),
                 QVariantList({0.0025, -0.004}));
        feed.SetPosition(4, "V4", 32, 42, 0, 0, qQNaN(), 1);
        QCOMPARE(Batch(feed).value("vehicles").toArray().at(0).toArray().toVariantList().mid(7),
                 QVariantList({0.0, 0.0}));

        // States: alarm over online and offline; offline hidden while the switch is off.
        feed.SetAlarm(1, true);
        feed.SetOnline(2, false);
        batch = Batch(feed);
        QCOMPARE(batch.value("vehicles").toArray().at(0).toArray().at(6).toString(), "alarm");
        QCOMPARE(batch.value("vehicles").toArray().at(1).toArray().at(6).toString(), "offline");
        feed.SetShowOffline(false);
        batch = Batch(feed);
        QCOMPARE(Rows(batch), QList<int>({2}));
        QCOMPARE(batch.value("vehicles").toArray().at(0).toArray().at(6).toString(), "hidden");

        // Not a place on earth, or a row no fleet has: refused, nothing allocated. (Row 9's state was kept
        // for its first position.)
        QCOMPARE(feed.size(), 10);
        feed.SetPosition(6, "X", 91, 0, 0, 0);
        feed.SetPosition(6, "X", 0, -180.5, 0, 0);
        feed.SetPosition(6, "X", qQNaN(), 0, 0, 0);
        feed.SetPosition(FleetFeed::kMaxRows, "X", 0, 0, 0, 0);
        feed.SetPosition(-1, "X", 0, 0, 0, 0);
        QVERIFY(!feed.HasChanges());
        QCOMPARE(feed.size(), 10);

        // A new page gets everything after a reset; logout sends a reset alone.
        feed.ResendAll();
        batch = Batch(feed);
        QCOMPARE(batch.value("reset").toBool(), true);
        QCOMPARE(Rows(batch), QList<int>({0, 1, 2, 3, 4}));
        feed.Clear();
        batch = Batch(feed);
        QCOMPARE(batch.value("reset").toBool(), true);
        QCOMPARE(Rows(batch), QList<int>());
        QVERIFY(!feed.HasChanges());
    }

    void theLargestFleetFitsTwoBatches() {
        FleetFeed feed;
        for (int row = 0; row < 10000; ++row)
            feed.SetPosition(row, QString::number(row), row % 80, row % 170, 0, 0);
        QCOMPARE(Rows(Batch(feed)).size(), FleetFeed::kMaxBatch);
        QCOMPARE(Rows(Batch(feed)).size(), 10000 - FleetFeed::kMaxBatch);
        QVERIFY(!feed.HasChanges());
    }

    void pageWordsAreCheckedAgainstTheFleet() {
        FleetFeed feed;
        feed.SetPosition(3, "AB-3127", 1, 2, 0, 0);
        QCOMPARE(feed.Validate(3, "AB-3127"), std::optional<int>(3));
        const std::pair<QJsonValue, QJsonValue> wrong[] = {{3, "AB-3128"},
                                                           {2, "AB-3127"},
                                                           {3.5, "AB-3127"},
                                                           {"3", "AB-3127"},
                                                           {-1, "AB-3127"},
                                                           {1e300, ""},
                                                           {QJsonValue(), "x"},
                                                           {3, QJsonValue(3)},
                                                           {3, QJsonArray{}},
                                                           {qQNaN(), "AB-3127"},
                                                           {3, QString(FleetFeed::kMaxIdChars + 1, 'A')}};
        for (const auto& [row, id] : wrong) QCOMPARE(feed.Validate(row, id), std::nullopt);
        feed.Clear();
        QCOMPARE(feed.Validate(3, "AB-3127"), std::nullopt);  // gone with the session
    }
};

QTEST_MAIN(FleetFeedTest)
#include "fleet_feed_test.moc"

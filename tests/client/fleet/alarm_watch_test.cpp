// SPDX-License-Identifier: GPL-3.0-or-later
// Watching alarm words: a bounded slice of vehicles per tick, unchanged serials skipped, the first look
// reporting every alarm word, clears seen; and the alarm desk on top of it: episodes open and close from
// the words, words present at the first look are marked and stay silent, and opening video by itself is
// off by default and at most once per vehicle per minute.
#include <QSignalSpy>
#include <QTest>

#include "fleet/alarm_desk.h"
#include "fleet/alarm_sound.h"
#include "fleet/alarm_watch.h"

namespace {

// Vehicles whose words a test sets; every read is counted.
class FakeVehicles final : public AlarmVehicles {
  public:
    struct Vehicle {
        uint32_t words[16] = {};
        uint32_t serial = 0;
    };
    // `reported`: every vehicle has had a status record (without alarms) already.
    explicit FakeVehicles(int count, bool reported = false) : vehicles(size_t(count)) {
        for (Vehicle& v : vehicles) v.serial = reported ? 1 : 0;
    }
    void Set(int row, int word, uint32_t value) {
        vehicles[size_t(row)].words[word] = value;
        ++vehicles[size_t(row)].serial;
    }
    int Count() const override { return int(vehicles.size()); }
    bool Words(int row, uint32_t* words, uint32_t* serial) const override {
        ++reads;
        const Vehicle& v = vehicles[size_t(row)];
        std::copy(std::begin(v.words), std::end(v.words), words);
        *serial = v.serial;
        return true;
    }
    QString DeviceId(int row) const override { return QStringLiteral("D%1").arg(row); }
    QString Label(int row) const override { return QStringLiteral("CAR-%1").arg(row); }
    int64_t LastReport_s(int) const override { return 0; }

    std::vector<Vehicle> vehicles;
    mutable int reads = 0;
};

AlarmSettings Quiet(bool auto_video) {
    AlarmSettings settings;
    settings.sound_backend = QStringLiteral("null");
    settings.auto_video = auto_video;
    return settings;
}

QString Same(const QString& text) {
    return text;
}

}  // namespace

class AlarmWatchTest : public QObject {
    Q_OBJECT
  private slots:
    void readsABoundedSliceAndReportsOnlyChanges() {
        FakeVehicles fleet(10);
        AlarmWatch watch(4);
        std::vector<AlarmWatch::Change> changes;
        // No status record yet (serial 0): nothing to say, but the slice still goes round.
        QCOMPARE(watch.Tick(fleet, &changes), 4);
        QCOMPARE(fleet.reads, 4);
        QVERIFY(changes.empty());
        fleet.Set(1, 13, 2);                                      // Over Speed present before the first look
        fleet.Set(1, 3, 7);                                       // not an alarm word
        fleet.Set(6, 0, 1);                                       // a record with no alarm at all
        for (int i = 0; i < 3; ++i) watch.Tick(fleet, &changes);  // 12 reads: every row at least once
        // First looks report every alarm word, active or not, so stale open episodes can close.
        QCOMPARE(int(changes.size()), 16);
        int active = 0;
        for (const auto& c : changes) {
            QVERIFY(c.first_look);
            QVERIFY(c.word >= 8 && c.word <= 15);
            QVERIFY(c.row == 1 || c.row == 6);
            if (c.active) {
                ++active;
                QCOMPARE(c.row, 1);
                QCOMPARE(c.word, 13);
            }
        }
        QCOMPARE(active, 1);
        // A serial that moved without an alarm word changing, and unchanged rows: nothing.
        changes.clear();
        fleet.Set(1, 3, 8);
        for (int i = 0; i < 3; ++i) watch.Tick(fleet, &changes);
        QVERIFY(changes.empty());
        // Clear and set: exactly those two, not first looks.
        fleet.Set(1, 13, 0);
        fleet.Set(6, 8, 5);
        for (int i = 0; i < 3; ++i) watch.Tick(fleet, &changes);
        QCOMPARE(int(changes.size()), 2);
        for (const auto& c : changes) {
            QVERIFY(!c.first_look);
            QVERIFY((c.row == 1 && c.word == 13 && !c.active) || (c.row == 6 && c.word == 8 && c.active));
        }
        // After a logout the next record is a first look again.
        watch.Forget();
        changes.clear();
        for (int i = 0; i < 3; ++i) watch.Tick(fleet, &changes);
        QCOMPARE(int(changes.size()), 16);
        QVERIFY(changes.front().first_look);
    }

    void episodesOpenAndCloseFromTheWordsAndFirstLooksAreSilent() {
        FakeVehicles fleet(3, true);
        fleet.Set(0, 12, 1);  // Disk Error present at login
        AlarmDesk desk(Quiet(false), Same, &fleet);
        QSignalSpy video(&desk, &AlarmDesk::videoRequested);
        desk.Poll();
        QCOMPARE(desk.book().size(), 1);
        QVERIFY(desk.book().at(0).at_login);
        QCOMPARE(desk.book().at(0).device_id, QString("D0"));
        QCOMPARE(desk.book().at(0).label, QString("CAR-0"));
        QCOMPARE(desk.sound()->plays(), 0);
        fleet.Set(2, 13, 3);
        desk.Poll();
        QCOMPARE(desk.book().size(), 2);
        QVERIFY(!desk.book().at(1).at_login);
        QCOMPARE(desk.sound()->plays(), 1);
        QCOMPARE(video.count(), 0);  // off by default
        fleet.Set(2, 13, 0);
        fleet.Set(0, 12, 0);
        desk.Poll();
        QVERIFY(!desk.book().at(0).active());
        QVERIFY(!desk.book().at(1).active());
        QCOMPARE(desk.book().size(), 2);
    }

    void automaticVideoOncePerVehiclePerMinute() {
        FakeVehicles fleet(3, true);
        fleet.Set(1, 9, 1);  // present at the first look: never opens video by itself
        AlarmDesk desk(Quiet(true), Same, &fleet);
        QSignalSpy video(&desk, &AlarmDesk::videoRequested);
        desk.Poll();
        QCOMPARE(video.count(), 0);
        fleet.Set(0, 13, 1);
        desk.Poll();
        QCOMPARE(video.count(), 1);
        QCOMPARE(video.takeFirst().at(0).toInt(), 0);
        // The same vehicle again within the minute (another word, and the same word after a clear): no.
        fleet.Set(0, 14, 1);
        desk.Poll();
        fleet.Set(0, 13, 0);
        desk.Poll();
        fleet.Set(0, 13, 2);
        desk.Poll();
        QCOMPARE(desk.book().size(), 4);
        QCOMPARE(video.count(), 0);
        // Another vehicle: yes.
        fleet.Set(2, 8, 1);
        desk.Poll();
        QCOMPARE(video.count(), 1);
        QCOMPARE(video.takeFirst().at(0).toInt(), 2);

        // The minute itself, on the policy's own clock.
        AlarmVideoPolicy policy;
        QVERIFY(policy.Allow("D0", 1000));
        QVERIFY(!policy.Allow("D0", 1000 + AlarmVideoPolicy::kQuietMs - 1));
        QVERIFY(policy.Allow("D1", 1001));
        QVERIFY(policy.Allow("D0", 1000 + AlarmVideoPolicy::kQuietMs));
        QVERIFY(!policy.Allow("D0", 1000 + AlarmVideoPolicy::kQuietMs + 5));
    }
};

QTEST_MAIN(AlarmWatchTest)
#include "alarm_watch_test.moc"

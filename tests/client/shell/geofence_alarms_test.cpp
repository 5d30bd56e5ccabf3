// SPDX-License-Identifier: GPL-3.0-or-later
// Geofences end to end: a vehicle of velq-sim driven straight through a circular zone with a speed
// limit raises, in the main window's alarm desk, one "entered" and one "left" alarm with the zone's
// name, and one speeding alarm while it is inside above the limit. The zone history keeps the name.
#include <GeographicLib/Geodesic.hpp>
#include <QTemporaryFile>
#include <QTest>

#include "../client_fixture.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_list_model.h"
#include "geofence/geofence_file.h"
#include "geofence/geofence_keeper.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"

namespace {

const GeoPoint kCentre{48.2082, 16.3738};

GeoPoint North(double distance_m) {
    GeoPoint to;
    GeographicLib::Geodesic::WGS84().Direct(kCentre.lat_deg, kCentre.lng_deg, 0, distance_m, to.lat_deg,
                                            to.lng_deg);
    return to;
}

int CountOf(const AlarmBook& book, int word) {
    int count = 0;
    for (int i = 0; i < book.size(); ++i) count += book.at(i).word == word ? 1 : 0;
    return count;
}

}  // namespace

class GeofenceAlarmsTest : public QObject {
    Q_OBJECT
  private slots:
    void aVehicleDrivenThroughAZoneRaisesItsAlarmsOnce() {
        // The simulator drives 200 knots (about 300-430 km/h): from 1 km south of the centre through a
        // 700 m circle in about 15 s, then on to 2.5 km north and back, which is past the test's end.
        const GeoPoint start = North(-1000), end = North(2500);
        QTemporaryFile fleet_file;
        QVERIFY(fleet_file.open());
        fleet_file.write(QStringLiteral(R"({"vehicles": [{"device_id": "GEO-0001", "vehicle_id": "W-4711",
            "speed_knots": 200, "report_s": 1, "route": [[%1, %2], [%3, %4]]}]})")
                             .arg(start.lat_deg, 0, 'f', 7)
                             .arg(start.lng_deg, 0, 'f', 7)
                             .arg(end.lat_deg, 0, 'f', 7)
                             .arg(end.lng_deg, 0, 'f', 7)
                             .toUtf8());
        fleet_file.close();
        std::string error;
        std::optional<velq_sim::Fleet> fleet =
            velq_sim::Fleet::Load(fleet_file.fileName().toStdString(), &error);
        QVERIFY2(fleet, error.c_str());

        ScratchHome home;
        GeoZone zone;
        zone.name = QStringLiteral("Schulzone <Süd>");
        zone.centre = kCentre;
        zone.radius_m = 700;
        zone.limit_kmh = 120;
        QString write_error;
        QVERIFY(GeofenceFile::Write(home.path() + QLatin1String(GeofenceKeeper::kFileName), {zone},
                                    &write_error));
        SimCenter center(std::move(*fleet), 200);
        QVERIFY(center.started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines());
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        QCOMPARE(window.findChild<GeofenceKeeper*>()->zones().size(), 1);
        window.PressLogin();
        AlarmDesk* alarms = window.alarms();
        QTRY_VERIFY_WITH_TIMEOUT(CountOf(alarms->book(), kZoneEnteredWord) == 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(CountOf(alarms->book(), kZoneLeftWord) == 1, 25000);
        // The vehicle drives on, away from the zone: nothing more comes.
        QTest::qWait(2000);
        QCOMPARE(CountOf(alarms->book(), kZoneEnteredWord), 1);
        QCOMPARE(CountOf(alarms->book(), kZoneLeftWord), 1);
        QCOMPARE(CountOf(alarms->book(), kZoneSpeedingWord), 1);
        for (int i = 0; i < alarms->book().size(); ++i) {
            const AlarmEpisode& e = alarms->book().at(i);
            if (e.word < kZoneEnteredWord) continue;
            QCOMPARE(e.device_id, QStringLiteral("GEO-0001"));
            QCOMPARE(e.zone, zone.name);
            // Entering and leaving are moments; speeding ended when the vehicle left.
            QVERIFY(!e.active());
            QVERIFY(!e.acknowledged());
        }
        // In the list as the operator reads it, with the zone's name as plain text.
        QStringList kinds;
        for (int row = 0; row < alarms->model()->rowCount(); ++row)
            kinds << alarms->model()->index(row, AlarmListModel::kKind).data().toString();
        QVERIFY2(kinds.contains(QStringLiteral("Entered zone Schulzone <Süd>")),
                 qPrintable(kinds.join(u'|')));
        QVERIFY(kinds.contains(QStringLiteral("Left zone Schulzone <Süd>")));
        QVERIFY(kinds.contains(QStringLiteral("Speeding in zone Schulzone <Süd>")));
        QCOMPARE(alarms->unacknowledged(), 3);
    }
};

QTEST_MAIN(GeofenceAlarmsTest)
#include "geofence_alarms_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The route replay without a map page: the clock within the track and its 1x-60x speeds, the marker's
// place between two reports, the page data (labels stay data, the street correction goes beside the
// reported places), and the window driven through its sources: the track drawn once with the correction
// of its place, the marker moved by the slider and by playing, a page without replay said so in plain
// words, the export parsed back, the track taken off the map on hiding.
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "map/replay_panel.h"
#include "map/route_replay.h"

namespace {

constexpr int64_t kT0 = 1767225600;

// Drives east at 36 km/h for 100 s (10 m/s), stands from 105 s (one point a minute, as the history keeps
// it), sets off at 255 s and drives on.
QList<PositionFix> Track() {
    QList<PositionFix> track;
    for (int64_t t = 0; t <= 100; t += 5)
        track.append(*MakeFix("V1", kT0 + t, 48.0, 11.0 + t * 1e-4, 36, 90));
    for (int64_t t = 105; t <= 250; t += 60) track.append(*MakeFix("V1", kT0 + t, 48.0, 11.01, 0, 90));
    for (int64_t t = 255; t <= 300; t += 5)
        track.append(*MakeFix("V1", kT0 + t, 48.0, 11.01 + (t - 250) * 1e-4, 36, 90));
    return track;
}

struct PageCall {
    QString name;
    QJsonValue argument;
};

}  // namespace

class RouteReplayTest : public QObject {
    Q_OBJECT
  private slots:
    void clockPlaceAndPageData() {
        RouteReplay replay;
        replay.Load(Track());
        QCOMPARE(replay.time_ms(), kT0 * 1000);
        QCOMPARE(replay.stops().size(), 1);
        QCOMPARE(replay.stops()[0].duration_s(), 150);
        // Half way between the reports of 10 s and 15 s.
        replay.Seek((kT0 + 12) * 1000 + 500);
        QCOMPARE(qRound(replay.PlaceNow().lon_deg * 1e6), 11001250);
        QCOMPARE(replay.PlaceNow().speed_kmh, 36.0);
        // Between the still points a minute apart it stands; across a gap of the history it stays put.
        replay.Seek((kT0 + 135) * 1000);
        QCOMPARE(replay.PlaceNow().lon_deg, 11.01);
        QList<PositionFix> gap = Track();
        gap.append(*MakeFix("V1", kT0 + 4000, 49.0, 12.0, 30, 0));
        RouteReplay gapped;
        gapped.Load(gap);
        gapped.Seek((kT0 + 2000) * 1000);
        QCOMPARE(gapped.PlaceNow().lat_deg, 48.0);
        replay.Seek(0);
        QCOMPARE(replay.time_ms(), kT0 * 1000);
        replay.SetSpeed(600);
        QCOMPARE(replay.speed(), RouteReplay::kMaxSpeed);
        QVERIFY(replay.Advance(1000));  // 60 s of track in one second
        QCOMPARE(replay.time_ms(), (kT0 + 60) * 1000);
        QVERIFY(!replay.Advance(10000));
        QCOMPARE(replay.time_ms(), replay.end_ms());
        QCOMPARE(replay.PlaceNow().lon_deg, 11.015);

        const QString hostile = QStringLiteral("</script>\"');alert(1)//");
        const QJsonObject data =
            QJsonDocument::fromJson(replay.PageData([&](const PositionStop&) { return hostile; })).object();
        QCOMPARE(data["points"].toArray().size(), Track().size());
        QCOMPARE(data["points"].toArray()[1].toArray()[1].toDouble(), 11.0005);
        QCOMPARE(data["stops"].toArray()[0].toArray()[2].toString(), hostile);
    }

    // The track goes to the page with the correction the live map gives the vehicle where the track
    // starts.
    void panelSendsTheCorrectionOfTheTracksPlace() {
        QList<PageCall> calls;
        QList<QPair<double, double>> asked;
        ReplayPanel panel({[] {
                               return QList<QPair<QString, QString>>{{"V1", ""}};
                           },
                           [](const QString&, int64_t, int64_t) { return Track(); },
                           [&](const QString& name, const QByteArray& json, std::function<void(bool)> done) {
                               calls.append({name, QJsonDocument::fromJson("[" + json + "]").array()[0]});
                               if (done) done(true);
                           },
                           [&](double lat_deg, double lng_deg) {
                               asked.append({lat_deg, lng_deg});
                               return RouteReplay::Offset{lat_deg / 1e4, lng_deg / 1e4};
                           }});
        panel.show();
        panel.ShowTrack();
        QCOMPARE(asked, (QList<QPair<double, double>>{{48.0, 11.0}}));
        QCOMPARE(calls.first().name, QStringLiteral("showReplay"));
        QCOMPARE(calls.first().argument["offset"].toArray(), (QJsonArray{48.0 / 1e4, 11.0 / 1e4}));
        // The places themselves go as reported: the page adds the correction where it applies.
        QCOMPARE(calls.first().argument["points"].toArray()[0].toArray()[0].toDouble(), 48.0);
    }

    void panelDrivesThePage() {
        QList<PageCall> calls;
        bool page_has_replay = true;
        QString asked_device;
        ReplayPanel panel({[] {
                               return QList<QPair<QString, QString>>{{"V0", ""}, {"V1", "CAR 1"}};
                           },
                           [&](const QString& device, int64_t, int64_t) {
                               asked_device = device;
                               return device == "V1" ? Track() : QList<PositionFix>();
                           },
                           [&](const QString& name, const QByteArray& json, std::function<void(bool)> done) {
                               calls.append({name, QJsonDocument::fromJson("[" + json + "]").array()[0]});
                               if (done) done(page_has_replay);
                           },
                           {}});
        panel.show();
        QCOMPARE(panel.vehicleBox()->count(), 2);
        QCOMPARE(panel.vehicleBox()->itemText(1), QStringLiteral("CAR 1 (V1)"));
        panel.vehicleBox()->setCurrentIndex(1);
        panel.ShowTrack();
        QCOMPARE(asked_device, QStringLiteral("V1"));
        QCOMPARE(calls.first().name, QStringLiteral("showReplay"));
        QCOMPARE(calls.first().argument["stops"].toArray().size(), 1);
        // Without a correction from the client the page is told none, and draws the track as reported.
        QVERIFY(!calls.first().argument.toObject().contains("offset"));
        QVERIFY(calls.first().argument["stops"].toArray()[0].toArray()[2].toString().startsWith("2 min"));
        QCOMPARE(panel.slider()->maximum(), 300);

        calls.clear();
        panel.slider()->setValue(50);
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].name, QStringLiteral("moveReplayMarker"));
        QCOMPARE(calls[0].argument.toArray()[1].toDouble(), 11.005);

        // Playing at 60x moves the slider by about a minute a second of wall time.
        panel.speedBox()->setValue(60);
        panel.slider()->setValue(0);
        panel.SetPlaying(true);
        QTest::qWait(1000);
        panel.SetPlaying(false);
        QVERIFY2(panel.slider()->value() >= 40 && panel.slider()->value() <= 90,
                 qPrintable(QString::number(panel.slider()->value())));

        QTemporaryDir dir;
        QVERIFY(panel.ExportTo(dir.filePath("v1.gpx")));
        QFile gpx(dir.filePath("v1.gpx"));
        QVERIFY(gpx.open(QIODevice::ReadOnly));
        QCOMPARE(gpx.readAll().count("<trkpt "), Track().size());
        QVERIFY(!panel.ExportTo(dir.filePath("no/such/dir/v1.gpx")));

        // A vehicle without points in the range: said so, the map cleared.
        calls.clear();
        panel.vehicleBox()->setCurrentIndex(0);
        panel.ShowTrack();
        QVERIFY(panel.statusLabel()->text().startsWith("No positions"));
        QCOMPARE(calls.last().name, QStringLiteral("clearReplay"));

        // A page without the replay functions: the window says so, and sends no markers.
        page_has_replay = false;
        panel.vehicleBox()->setCurrentIndex(1);
        panel.ShowTrack();
        QCOMPARE(panel.statusLabel()->text(),
                 QStringLiteral("Route replay is not available on this map page."));
        calls.clear();
        panel.slider()->setValue(100);
        QVERIFY(calls.isEmpty());

        panel.hide();
        QCOMPARE(calls.last().name, QStringLiteral("clearReplay"));
    }
};

QTEST_MAIN(RouteReplayTest)
#include "route_replay_test.moc"

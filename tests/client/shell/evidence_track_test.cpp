// SPDX-License-Identifier: GPL-3.0-or-later
// The evidence export's track source: a recording's vehicle label leads to the device the history holds
// points for, and only the points of the clip's range go into the GPX.
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "positions/position_store.h"
#include "shell/position_wiring.h"

namespace {

int PointsIn(const QByteArray& gpx) {
    QXmlStreamReader xml(gpx);
    int points = 0;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd())
        if (xml.isStartElement() && xml.name() == u"trkpt") ++points;
    return xml.hasError() ? -1 : points;
}

}  // namespace

class EvidenceTrackTest : public QObject {
    Q_OBJECT

  private slots:
    void theClipsRangeOfTheLabelledVehicle() {
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("positions.sqlite"));
        {
            PositionStoreOptions options;
            options.path = path;
            options.keep_days = 0;  // the points lie in the past
            PositionStore store(options);
            // Moving all the time, so none is thinned out; a second vehicle interleaved.
            for (int i = 0; i < 20; ++i) {
                store.Add({QStringLiteral("10001"), 1796836990 + i, 52000000 + i * 200, 13000000, 400, 90});
                store.Add({QStringLiteral("10002"), 1796836990 + i, 48000000, 11000000 + i * 200, 400, 0});
            }
            QVERIFY(store.Flush(10000));
        }
        const auto label_of = [](const QString& id) {
            return id == QStringLiteral("10001") ? QStringLiteral("AB-3127") : QString();
        };
        const QByteArray gpx =
            EvidenceTrack(path, label_of, QStringLiteral("AB-3127"), 1796836995, 1796837000);
        QCOMPARE(PointsIn(gpx), 6);
        QVERIFY(gpx.contains("52.001000"));  // the first point of the range, of the labelled vehicle
        QVERIFY(!gpx.contains("48.000000"));

        // Named by its id, as older recordings are.
        QCOMPARE(PointsIn(EvidenceTrack(path, label_of, QStringLiteral("10002"), 0, 1796836991)), 2);
        // No points then, an unknown vehicle, a reversed range, a missing file: no track.
        QVERIFY(EvidenceTrack(path, label_of, QStringLiteral("AB-3127"), 1796837100, 1796837200).isEmpty());
        QVERIFY(EvidenceTrack(path, label_of, QStringLiteral("ZZ-0000"), 0, 1796837200).isEmpty());
        QVERIFY(EvidenceTrack(path, label_of, QStringLiteral("AB-3127"), 1796837000, 1796836995).isEmpty());
        QVERIFY(EvidenceTrack(home.filePath(QStringLiteral("none.sqlite")), label_of,
                              QStringLiteral("AB-3127"), 0, 1796837200)
                    .isEmpty());
    }
};

QTEST_MAIN(EvidenceTrackTest)
#include "evidence_track_test.moc"

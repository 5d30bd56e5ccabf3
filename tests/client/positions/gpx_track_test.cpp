// SPDX-License-Identifier: GPL-3.0-or-later
// The GPX export of a replayed track: a GPX 1.1 document that reads back, point for point, with the same
// places and UTC times, and a track name that cannot break the XML.
#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "positions/gpx_track.h"

namespace {

struct ReadBack {
    QString version, name;
    QList<PositionFix> points;
    bool ok = false;
};

ReadBack Parse(const QByteArray& document) {
    ReadBack back;
    QXmlStreamReader xml(document);
    const QString ns = QStringLiteral("http://www.topografix.com/GPX/1/1");
    PositionFix point;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.namespaceUri() != ns) return back;
        if (xml.name() == QLatin1String("gpx")) {
            back.version = xml.attributes().value("version").toString();
        } else if (xml.name() == QLatin1String("name")) {
            back.name = xml.readElementText();
        } else if (xml.name() == QLatin1String("trkpt")) {
            point.lat_udeg = int32_t(std::lround(xml.attributes().value("lat").toDouble() * 1e6));
            point.lon_udeg = int32_t(std::lround(xml.attributes().value("lon").toDouble() * 1e6));
        } else if (xml.name() == QLatin1String("time")) {
            const QString text = xml.readElementText();
            if (!text.endsWith('Z')) return back;
            point.time_s = QDateTime::fromString(text, Qt::ISODate).toSecsSinceEpoch();
            back.points.append(point);
        }
    }
    back.ok = !xml.hasError();
    return back;
}

}  // namespace

class GpxTrackTest : public QObject {
    Q_OBJECT
  private slots:
    void exportedTrackReadsBackPointForPoint() {
        QList<PositionFix> track;
        // Both hemispheres, both signs, microdegree steps that a rounding to five decimals would lose.
        for (int i = 0; i < 50; ++i)
            track.append(
                *MakeFix("V1", 1767225600 + i * 5, -33.868800 + i * 1e-6, 151.209300 - i * 3e-6, 30, 0));
        track.append(*MakeFix("V1", 1767225600 + 7200, 48.137154, -0.000001, 0, 0));
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        const QString name = QStringLiteral("CAR <1> & \"depot\"");
        QVERIFY(WriteGpx(buffer, name, track));
        const ReadBack back = Parse(buffer.data());
        QVERIFY(back.ok);
        QCOMPARE(back.version, QStringLiteral("1.1"));
        QCOMPARE(back.name, name);
        QCOMPARE(back.points.size(), track.size());
        for (int i = 0; i < track.size(); ++i) {
            QCOMPARE(back.points[i].lat_udeg, track[i].lat_udeg);
            QCOMPARE(back.points[i].lon_udeg, track[i].lon_udeg);
            QCOMPARE(back.points[i].time_s, track[i].time_s);
        }
        QVERIFY(buffer.data().contains("<time>2026-01-01T00:00:00Z</time>"));
    }

    void fileExportKeepsAnEarlierFileWhenItCannotWrite() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/track.gpx";
        QVERIFY(WriteGpxFile(path, "A", {*MakeFix("V1", 1767225600, 1, 2, 0, 0)}));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(Parse(file.readAll()).points.size(), 1);
        QVERIFY(!WriteGpxFile(dir.path() + "/no/such/folder/track.gpx", "A", {}));
    }
};

QTEST_GUILESS_MAIN(GpxTrackTest)
#include "gpx_track_test.moc"

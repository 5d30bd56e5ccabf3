// SPDX-License-Identifier: GPL-3.0-or-later
// The zones file: circles and polygons with their names and limits survive a write and a read; a file
// that is not ours, or is hostile, is refused with a reason and left as it was, also by the keeper that
// starts on it, which sets it aside (never overwrites it) only when the operator changes the zones.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "geofence/geofence_file.h"
#include "geofence/geofence_keeper.h"

namespace {

QList<GeoZone> TwoZones() {
    GeoZone circle;
    circle.name = QStringLiteral("Depot \"Nord\" & <Hof>");
    circle.centre = {48.2082, 16.3738};
    circle.radius_m = 350.5;
    circle.limit_kmh = 30;
    GeoZone polygon;
    polygon.shape = GeoZone::Shape::kPolygon;
    polygon.name = QStringLiteral("Hafen");
    polygon.ring = {{48.20, 16.37}, {48.20, 16.39}, {48.21, 16.39}, {48.21, 16.37}};
    return {circle, polygon};
}

QByteArray Feature(const char* geometry, const char* properties) {
    return QByteArray("{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"geometry\":") +
           geometry + ",\"properties\":" + properties + "}]}";
}

}  // namespace

class GeofenceFileTest : public QObject {
    Q_OBJECT
  private slots:
    void zonesRoundTrip() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Geofences.geojson"));
        QString error;
        QVERIFY(GeofenceFile::Write(path, TwoZones(), &error));
        const GeofenceFileResult read = GeofenceFile::Read(path);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(read.zones, TwoZones());
        // A circle is a Point with radius_m, a polygon's ring closed as GeoJSON wants it.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\"radius_m\": 350.5"));
        QVERIFY(text.contains("\"Polygon\""));
        // No file is no zones, not an error.
        QVERIFY(GeofenceFile::Read(dir.filePath(QStringLiteral("none.geojson"))).ok);
    }

    void badFilesAreRefusedWithAReason_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not json") << QByteArray("{\"type\": \"FeatureCollection\", ");
        QTest::newRow("not a collection") << QByteArray("[1,2,3]");
        QTest::newRow("no name") << Feature(R"({"type":"Point","coordinates":[16,48]})",
                                            R"({"radius_m":100})");
        QTest::newRow("circle without radius")
            << Feature(R"({"type":"Point","coordinates":[16,48]})", R"({"name":"a"})");
        QTest::newRow("radius as text")
            << Feature(R"({"type":"Point","coordinates":[16,48]})", R"({"name":"a","radius_m":"100"})");
        QTest::newRow("huge radius") << Feature(R"({"type":"Point","coordinates":[16,48]})",
                                                R"({"name":"a","radius_m":1e300})");
        QTest::newRow("latitude out of range")
            << Feature(R"({"type":"Point","coordinates":[16,91]})", R"({"name":"a","radius_m":100})");
        QTest::newRow("negative limit") << Feature(R"({"type":"Point","coordinates":[16,48]})",
                                                   R"({"name":"a","radius_m":100,"speed_limit_kmh":-5})");
        QTest::newRow("polygon with a hole")
            << Feature(R"({"type":"Polygon","coordinates":[[[16,48],[16.1,48],[16.1,48.1],[16,48]],)"
                       R"([[16.01,48.01],[16.02,48.01],[16.02,48.02],[16.01,48.01]]]})",
                       R"({"name":"a"})");
        QTest::newRow("two corners") << Feature(
            R"({"type":"Polygon","coordinates":[[[16,48],[16.1,48],[16,48]]]})", R"({"name":"a"})");
        QTest::newRow("continent-sized polygon") << Feature(
            R"({"type":"Polygon","coordinates":[[[0,40],[20,40],[20,50],[0,40]]]})", R"({"name":"a"})");
        QTest::newRow("line string") << Feature(R"({"type":"LineString","coordinates":[[16,48],[16.1,48]]})",
                                                R"({"name":"a"})");
        QByteArray corners = "[";
        for (int i = 0; i < 2000; ++i) corners += QByteArray("[16.") + QByteArray::number(i % 9) + ",48.1],";
        corners += "[16,48]]";
        QTest::newRow("too many corners")
            << Feature(QByteArray("{\"type\":\"Polygon\",\"coordinates\":[" + corners + "]}").constData(),
                       R"({"name":"a"})");
        QTest::newRow("too large") << QByteArray(GeofenceFile::kMaxFileBytes + 10, ' ');
        QByteArray deep;
        for (int i = 0; i < 100000; ++i) deep += '[';
        QTest::newRow("deeply nested") << deep;
    }

    // Each is refused as a whole with a reason, and the keeper starting on it has no zones, says why, and
    // leaves the file byte for byte as it was.
    void badFilesAreRefusedWithAReason() {
        QFETCH(QByteArray, bytes);
        const GeofenceFileResult parsed = GeofenceFile::Parse(bytes);
        QVERIFY(!parsed.ok);
        QVERIFY(parsed.zones.isEmpty());
        QVERIFY(!parsed.error.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Geofences.geojson"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        GeofenceKeeper keeper(path, [](const QString& text) { return text; });
        QVERIFY(keeper.zones().isEmpty());
        QVERIFY(keeper.problem().contains(QStringLiteral("were not read")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }

    // Drawing a zone after a bad file: the bad file is kept aside and the new zone written.
    void aChangeSetsTheBadFileAside() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Geofences.geojson"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{ hand-edited, broken");
        file.close();
        GeofenceKeeper keeper(path, [](const QString& text) { return text; });
        QVERIFY(keeper.Add(TwoZones()[0]));
        QVERIFY(!keeper.Add(GeoZone()));  // no name: refused
        QCOMPARE(GeofenceFile::Read(path).zones, QList<GeoZone>({TwoZones()[0]}));
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("Geofences.geojson.bad-*")});
        QCOMPARE(aside.size(), 1);
        QFile kept(dir.filePath(aside[0]));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("{ hand-edited, broken"));
        QVERIFY(keeper.Rename(0, QStringLiteral("Lager")));
        QCOMPARE(GeofenceFile::Read(path).zones[0].name, QStringLiteral("Lager"));
        QVERIFY(keeper.Remove(0));
        QVERIFY(GeofenceFile::Read(path).zones.isEmpty());
    }
};

QTEST_GUILESS_MAIN(GeofenceFileTest)
#include "geofence_file_test.moc"

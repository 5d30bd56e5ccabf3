// SPDX-License-Identifier: GPL-3.0-or-later
// The GPS offset table: lookups with the truncation and the one-step tolerance, and files that must be
// refused without reading past their data.
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "map/offset_table.h"
#include "offset_table_writer.h"

namespace {

// Bands at 10.53 and 10.56 (step 0.01), each with cells at latitudes 30.12 and 30.13.
std::vector<OffsetBand> SampleBands() {
    return {{10.53, {{30.12, 0.001, 0.002}, {30.13, 0.003, 0.004}}},
            {10.56, {{30.12, 0.005, 0.006}, {30.13, 0.007, 0.008}}}};
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

bool WriteAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

}  // namespace

class OffsetTableTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { QVERIFY(dir_.isValid()); }

    void FindsCellsWithinOneStep() {
        const QString path = dir_.filePath("offset.bin");
        QVERIFY(WriteOffsetTable(path, 0.01, SampleBands()));
        OffsetTable table;
        QVERIFY(table.Load(path));

        // 10.5378 is cut to 10.53: the first band.
        std::optional<OffsetCell> cell = table.Find(10.5378, 30.1234);
        QVERIFY(cell.has_value());
        QCOMPARE(cell->latitude, 30.12);
        QCOMPARE(cell->longitude_offset, 0.001);
        QCOMPARE(cell->latitude_offset, 0.002);
        cell = table.Find(10.5378, 30.1301);
        QVERIFY(cell.has_value());
        QCOMPARE(cell->longitude_offset, 0.003);

        // 10.545 is cut to 10.54; the first band at or above it is 10.56, two steps away.
        QVERIFY(!table.Find(10.545, 30.1234).has_value());
        // Above every band, and a latitude past a band's last cell.
        QVERIFY(!table.Find(10.58, 30.1234).has_value());
        QVERIFY(!table.Find(10.5378, 30.15).has_value());
        // Below the first band by more than a step.
        QVERIFY(!table.Find(10.51, 30.1234).has_value());
    }

    void NegativeCoordinatesAreCutTowardsZero() {
        const QString path = dir_.filePath("south-west.bin");
        // -33.4567 is cut to -33.45, not -33.46: the band at -33.46 lies below it and is passed over.
        QVERIFY(WriteOffsetTable(path, 0.01,
                                 {{-33.46, {{-18.47, 1.0, 1.0}, {-18.46, 1.5, 1.5}}},
                                  {-33.45, {{-18.47, 2.0, 2.5}, {-18.46, 3.0, 3.5}}}}));
        OffsetTable table;
        QVERIFY(table.Load(path));
        const std::optional<OffsetCell> cell = table.Find(-33.4567, -18.4678);
        QVERIFY(cell.has_value());
        QCOMPARE(cell->latitude, -18.46);
        QCOMPARE(cell->longitude_offset, 3.0);
        QCOMPARE(cell->latitude_offset, 3.5);
    }

    void RefusesWrongLengthAndKeepsTheOldTable() {
        const QString good = dir_.filePath("good.bin");
        QVERIFY(WriteOffsetTable(good, 0.01, SampleBands()));
        OffsetTable table;
        QVERIFY(table.Load(good));

        QByteArray data = ReadAll(good);
        const QString longer = dir_.filePath("longer.bin");
        QVERIFY(WriteAll(longer, data + QByteArray(1, '\0')));
        QVERIFY(!table.Load(longer));
        const QString shorter = dir_.filePath("shorter.bin");
        QVERIFY(WriteAll(shorter, data.left(data.size() - 1)));
        QVERIFY(!table.Load(shorter));
        const QString bad_magic = dir_.filePath("magic.bin");
        data[6] = 'X';
        QVERIFY(WriteAll(bad_magic, data));
        QVERIFY(!table.Load(bad_magic));
        QVERIFY(!table.Load(dir_.filePath("missing.bin")));
        const QString header_only = dir_.filePath("header.bin");
        QVERIFY(WriteAll(header_only, data.left(20)));
        QVERIFY(!table.Load(header_only));

        // Refused by their headers: the table loaded before still answers.
        QVERIFY(table.Find(10.5378, 30.1234).has_value());
    }

    void RefusesCountsThatWrapTheLengthCheck() {
        // 32 * (2^59 + 1) + 48 * 1 wraps to 80 in 64 bits, the length of one band and one cell.
        const QString path = dir_.filePath("wrap.bin");
        QVERIFY(WriteOffsetTable(path, 0.01, {{10.53, {{30.12, 0.1, 0.2}}}}));
        QByteArray data = ReadAll(path);
        qToLittleEndian<quint64>((quint64{1} << 59) + 1, data.data() + 16);
        QVERIFY(WriteAll(path, data));
        OffsetTable table;
        QVERIFY(!table.Load(path));
        QVERIFY(!table.Find(10.5378, 30.1234).has_value());
    }

    void RefusesBandRunningPastTheCells() {
        const QString good = dir_.filePath("good.bin");
        QVERIFY(WriteOffsetTable(good, 0.01, SampleBands()));
        OffsetTable table;
        QVERIFY(table.Load(good));

        // The second band starts at cell 2 of 4; three cells would run one past the end.
        QByteArray data = ReadAll(good);
        qToLittleEndian<quint32>(3, data.data() + 32 + 32 + 24);
        const QString path = dir_.filePath("band.bin");
        QVERIFY(WriteAll(path, data));
        QVERIFY(!table.Load(path));
        // A first-cell index near 2^32 must not wrap either.
        data = ReadAll(good);
        qToLittleEndian<quint32>(0xFFFFFFFFu, data.data() + 32 + 32 + 28);
        QVERIFY(WriteAll(path, data));
        QVERIFY(!table.Load(path));
        // Refused after the data was read: the old table is given up too.
        QVERIFY(!table.loaded());
        QVERIFY(!table.Find(10.5378, 30.1234).has_value());
    }

    void RefusesHugeFileWithoutReadingIt() {
        // A sparse file past the size limit whose header matches its length.
        const quint64 cells = OffsetTable::kMaxFileBytes / OffsetTable::kCellBytes + 1;
        QByteArray header(OffsetTable::kHeaderBytes, '\0');
        std::memcpy(header.data(), "$GPSOFF", 8);
        const double step = 0.01;
        std::memcpy(header.data() + 8, &step, 8);
        qToLittleEndian<quint64>(cells, header.data() + 24);
        const QString path = dir_.filePath("huge.bin");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(header), header.size());
        QVERIFY(file.resize(OffsetTable::kHeaderBytes + cells * OffsetTable::kCellBytes));
        file.close();
        OffsetTable table;
        QVERIFY(!table.Load(path));
    }

    void ZeroStepAndEmptyTablesFindNothing() {
        const QString path = dir_.filePath("zero.bin");
        QVERIFY(WriteOffsetTable(path, 0.0, SampleBands()));
        OffsetTable table;
        QVERIFY(table.Load(path));
        QVERIFY(!table.Find(10.53, 30.12).has_value());
        QVERIFY(WriteOffsetTable(path, 0.01, {}));
        QVERIFY(table.Load(path));
        QVERIFY(!table.Find(10.53, 30.12).has_value());
        QVERIFY(WriteOffsetTable(path, 0.01, {{10.53, {}}}));
        QVERIFY(table.Load(path));
        QVERIFY(!table.Find(10.53, 30.12).has_value());
    }

    void ProcessTableIsReplacedByEachLoad() {
        const QString first = dir_.filePath("first.bin");
        const QString second = dir_.filePath("second.bin");
        QVERIFY(WriteOffsetTable(first, 0.01, SampleBands()));
        QVERIFY(WriteOffsetTable(second, 0.01, {{120.0, {{31.0, 0.5, 0.25}}}}));
        QVERIFY(LoadOffsetTable(first));
        QVERIFY(FindOffsetCell(10.5378, 30.1234).has_value());
        QVERIFY(LoadOffsetTable(second));
        QVERIFY(!FindOffsetCell(10.5378, 30.1234).has_value());
        const std::optional<OffsetCell> cell = FindOffsetCell(120.001, 31.002);
        QVERIFY(cell.has_value());
        QCOMPARE(cell->latitude_offset, 0.25);
    }

  private:
    QTemporaryDir dir_;
};

QTEST_MAIN(OffsetTableTest)
#include "offset_table_test.moc"

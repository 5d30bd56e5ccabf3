#include "shell/offset_table_writer.h"

#include <cstdint>
#include <cstring>

#include <QSaveFile>
#include <QtEndian>

namespace {

void PutDouble(QByteArray& out, qsizetype at, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian<uint64_t>(bits, out.data() + at);
}

}  // namespace

bool WriteOffsetTable(const QString& path, double step, const std::vector<OffsetBand>& bands) {
    uint64_t cell_total = 0;
    for (const OffsetBand& band : bands) cell_total += band.cells.size();
    QByteArray data(OffsetTable::kHeaderBytes + OffsetTable::kBandBytes * qsizetype(bands.size()) +
                        OffsetTable::kCellBytes * qsizetype(cell_total),
                    '\0');
    std::memcpy(data.data(), "$GPSOFF", 8);
    PutDouble(data, 8, step);
    qToLittleEndian<uint64_t>(bands.size(), data.data() + 16);
    qToLittleEndian<uint64_t>(cell_total, data.data() + 24);

    const qsizetype cells_at = OffsetTable::kHeaderBytes + OffsetTable::kBandBytes * qsizetype(bands.size());
    uint32_t first = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        const qsizetype at = OffsetTable::kHeaderBytes + OffsetTable::kBandBytes * qsizetype(i);
        PutDouble(data, at, bands[i].longitude);
        qToLittleEndian<uint32_t>(uint32_t(bands[i].cells.size()), data.data() + at + 24);
        qToLittleEndian<uint32_t>(first, data.data() + at + 28);
        for (const OffsetCell& cell : bands[i].cells) {
            const qsizetype cell_at = cells_at + OffsetTable::kCellBytes * qsizetype(first++);
            PutDouble(data, cell_at + 8, cell.latitude);
            PutDouble(data, cell_at + 32, cell.longitude_offset);
            PutDouble(data, cell_at + 40, cell.latitude_offset);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(data) != data.size()) return false;
    return file.commit();
}

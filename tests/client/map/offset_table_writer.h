// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes GPS offset table files in the layout OffsetTable reads, for the tests. Bytes that the client does
// not read are zero.
#include <cstdint>
#include <cstring>
#include <vector>

#include <QSaveFile>
#include <QString>
#include <QtEndian>

#include "map/offset_table.h"

struct OffsetBand {
    double longitude = 0.0;
    std::vector<OffsetCell> cells;  // ascending latitude
};

inline void PutOffsetDouble(QByteArray& out, qsizetype at, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian<uint64_t>(bits, out.data() + at);
}

// Bands in ascending longitude; each band's cells follow those of the band before it. False when the file
// cannot be written completely.
inline bool WriteOffsetTable(const QString& path, double step, const std::vector<OffsetBand>& bands) {
    uint64_t cell_total = 0;
    for (const OffsetBand& band : bands) cell_total += band.cells.size();
    QByteArray data(OffsetTable::kHeaderBytes + OffsetTable::kBandBytes * qsizetype(bands.size()) +
                        OffsetTable::kCellBytes * qsizetype(cell_total),
                    '\0');
    std::memcpy(data.data(), "$GPSOFF", 8);
    PutOffsetDouble(data, 8, step);
    qToLittleEndian<uint64_t>(bands.size(), data.data() + 16);
    qToLittleEndian<uint64_t>(cell_total, data.data() + 24);

    const qsizetype cells_at = OffsetTable::kHeaderBytes + OffsetTable::kBandBytes * qsizetype(bands.size());
    uint32_t first = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        const qsizetype at = OffsetTable::kHeaderBytes + OffsetTable::kBandBytes * qsizetype(i);
        PutOffsetDouble(data, at, bands[i].longitude);
        qToLittleEndian<uint32_t>(uint32_t(bands[i].cells.size()), data.data() + at + 24);
        qToLittleEndian<uint32_t>(first, data.data() + at + 28);
        for (const OffsetCell& cell : bands[i].cells) {
            const qsizetype cell_at = cells_at + OffsetTable::kCellBytes * qsizetype(first++);
            PutOffsetDouble(data, cell_at + 8, cell.latitude);
            PutOffsetDouble(data, cell_at + 32, cell.longitude_offset);
            PutOffsetDouble(data, cell_at + 40, cell.latitude_offset);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(data) != data.size()) return false;
    return file.commit();
}

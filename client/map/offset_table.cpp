// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/offset_table.h"

#include <cmath>
#include <cstring>
#include <new>

#include <QFile>
#include <QtEndian>

namespace {

const char kMagic[8] = {'$', 'G', 'P', 'S', 'O', 'F', 'F', '\0'};

double DoubleAt(const unsigned char* bytes) {
    const uint64_t bits = qFromLittleEndian<uint64_t>(bytes);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// 32 * bands + 48 * cells, or none when it does not fit in 64 bits.
std::optional<uint64_t> RecordBytes(uint64_t bands, uint64_t cells) {
    uint64_t band_bytes = 0, cell_bytes = 0, total = 0;
    if (__builtin_mul_overflow(bands, uint64_t{OffsetTable::kBandBytes}, &band_bytes) ||
        __builtin_mul_overflow(cells, uint64_t{OffsetTable::kCellBytes}, &cell_bytes) ||
        __builtin_add_overflow(band_bytes, cell_bytes, &total)) {
        return std::nullopt;
    }
    return total;
}

OffsetTable& ProcessTable() {
    static OffsetTable table;
    return table;
}

}  // namespace

bool OffsetTable::Load(const QString& path) {
    if (path.isEmpty()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    unsigned char header[kHeaderBytes];
    if (file.read(reinterpret_cast<char*>(header), kHeaderBytes) != kHeaderBytes) return false;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) return false;
    const double step = DoubleAt(header + 8);
    const uint64_t bands = qFromLittleEndian<uint64_t>(header + 16);
    const uint64_t cells = qFromLittleEndian<uint64_t>(header + 24);

    const qint64 file_bytes = file.size();
    const std::optional<uint64_t> record_bytes = RecordBytes(bands, cells);
    if (!record_bytes || file_bytes < kHeaderBytes ||
        static_cast<uint64_t>(file_bytes) - kHeaderBytes != *record_bytes) {
        return false;
    }
    if (static_cast<uint64_t>(file_bytes) > kMaxFileBytes) return false;

    // From here on the previous table is given up, as a failed reload leaves none.
    loaded_ = false;
    block_ = {};
    std::vector<unsigned char> block;
    try {
        block.resize(*record_bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (file.read(reinterpret_cast<char*>(block.data()), static_cast<qint64>(block.size())) !=
        static_cast<qint64>(block.size())) {
        return false;
    }
    // A band that names cells beyond the cell table would make a lookup read past the block.
    for (uint64_t i = 0; i < bands; ++i) {
        const unsigned char* band = block.data() + i * kBandBytes;
        const uint64_t count = qFromLittleEndian<uint32_t>(band + 24);
        const uint64_t first = qFromLittleEndian<uint32_t>(band + 28);
        if (first + count > cells) return false;
    }
    block_ = std::move(block);
    step_ = step;
    band_count_ = bands;
    cell_count_ = cells;
    loaded_ = true;
    return true;
}

std::optional<OffsetCell> OffsetTable::Find(double longitude, double latitude) const {
    if (!loaded_ || step_ == 0.0) return std::nullopt;
    const double qa = std::trunc(longitude / step_) * step_;
    const double qb = std::trunc(latitude / step_) * step_;
    if (band_count_ == 0) return std::nullopt;

    const unsigned char* bands = block_.data();
    const unsigned char* cells = bands + band_count_ * kBandBytes;
    const unsigned char* band = nullptr;
    for (uint64_t i = 0; i < band_count_; ++i) {
        if (DoubleAt(bands + i * kBandBytes) >= qa) {
            band = bands + i * kBandBytes;
            break;
        }
    }
    if (band == nullptr || std::fabs(DoubleAt(band) - qa) > step_) return std::nullopt;

    const uint64_t count = qFromLittleEndian<uint32_t>(band + 24);
    const uint64_t first = qFromLittleEndian<uint32_t>(band + 28);
    for (uint64_t i = first; i < first + count; ++i) {
        const unsigned char* cell = cells + i * kCellBytes;
        const double cell_latitude = DoubleAt(cell + 8);
        if (cell_latitude >= qb) {
            if (std::fabs(cell_latitude - qb) > step_) return std::nullopt;
            return OffsetCell{cell_latitude, DoubleAt(cell + 32), DoubleAt(cell + 40)};
        }
    }
    return std::nullopt;
}

bool LoadOffsetTable(const QString& path) {
    return ProcessTable().Load(path);
}

std::optional<OffsetCell> FindOffsetCell(double longitude, double latitude) {
    return ProcessTable().Find(longitude, latitude);
}

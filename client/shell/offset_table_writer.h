#pragma once
// Writes GPS offset table files in the layout OffsetTable reads, for tests and the demo. Bytes that the
// client does not read are zero.
#include <vector>

#include <QString>

#include "shell/offset_table.h"

struct OffsetBand {
    double longitude = 0.0;
    std::vector<OffsetCell> cells;  // ascending latitude
};

// Bands in ascending longitude; each band's cells follow those of the band before it. False when the file
// cannot be written completely.
bool WriteOffsetTable(const QString& path, double step, const std::vector<OffsetBand>& bands);

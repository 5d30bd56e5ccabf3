// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The GPS offset table: a binary file of longitude bands and latitude cells, each cell holding the shift
// between raw GPS coordinates and the street map's coordinates at that place.
//
// File layout (little-endian): a 32-byte header ("$GPSOFF\0", step as double, band count N1 and cell count
// N2 as unsigned 64-bit), then N1 band records of 32 bytes (longitude at 0, cell count at 24, first cell at
// 28), then N2 cell records of 48 bytes (latitude at 8, longitude offset at 32, latitude offset at 40).
//
// Everything here runs on the UI thread; OffsetTable itself holds no lock.
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

// The part of a cell record that the client reads.
struct OffsetCell {
    double latitude = 0.0;
    double longitude_offset = 0.0;
    double latitude_offset = 0.0;
};

class OffsetTable {
  public:
    static constexpr int kHeaderBytes = 32;
    static constexpr int kBandBytes = 32;
    static constexpr int kCellBytes = 48;
    // Files beyond this are refused before anything past the header is read: the table is read whole into
    // memory, and a real table stays far below it.
    static constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

    // Reads the whole file. False leaves no table when the failure came after the header checks (the old
    // block is freed before the new one is read); a file refused by its header or length keeps the old one.
    // Refused: a short header, a wrong magic, a length other than 32 + 32*N1 + 48*N2 (checked without
    // overflow), a file above kMaxFileBytes, a band whose cells run past N2.
    bool Load(const QString& path);

    // The cell holding (longitude, latitude) in degrees, or none: coordinates are cut towards zero to a
    // multiple of the step, the first band at or above that longitude and then its first cell at or above
    // that latitude are taken, each only if within one step of it.
    std::optional<OffsetCell> Find(double longitude, double latitude) const;

    bool loaded() const { return loaded_; }
    double step() const { return step_; }

  private:
    bool loaded_ = false;
    double step_ = 0.0;
    uint64_t band_count_ = 0;
    uint64_t cell_count_ = 0;
    // Band records followed by cell records, exactly as in the file.
    std::vector<unsigned char> block_;
};

// The process's one table, as the map view uses it (loaded at its initialisation when GPS_Offset_Auto is
// set). UI thread only.
bool LoadOffsetTable(const QString& path);
std::optional<OffsetCell> FindOffsetCell(double longitude, double latitude);

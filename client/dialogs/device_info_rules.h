// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device dialog's text rules: which device ids are accepted, and how a vehicle id carries its province
// as "@" + (province index + ProvinceOffset) within the device record's 32-byte field.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace device_info {

inline constexpr int kVehicleIdBytes = 32;  // field size, the terminating NUL included
inline constexpr int kDriverNameBytes = 32;

// A device id is 4 to 63 characters whose UTF-8 form takes at most 62 bytes.
bool IsValidDeviceId(const QString& device_id);

struct VehicleId {
    QString plain;
    int province_index = -1;  // -1: no "@"
};
// Splits a stored vehicle id at its first "@": the leading decimal digits after it (none read as 0)
// minus `province_offset` are the province index.
VehicleId SplitVehicleId(const QByteArray& stored, int32_t province_offset);

// The stored form: the plain id, and "@" + (province_index + province_offset) when province_index is 0 or
// more, in at most kVehicleIdBytes - 1 bytes of UTF-8. The plain id is cut at a character boundary to
// make room, so the province survives a long name and no character is split.
QByteArray ComposeVehicleId(const QString& plain, int province_index, int32_t province_offset);

// `text` in UTF-8, cut at a character boundary to at most `max_bytes` bytes.
QByteArray Utf8Within(const QString& text, int max_bytes);

}  // namespace device_info

// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/device_info_rules.h"

#include <algorithm>

namespace device_info {

bool IsValidDeviceId(const QString& device_id) {
    const qsizetype characters = device_id.size();
    return characters >= 4 && characters <= 63 && device_id.toUtf8().size() <= 62;
}

VehicleId SplitVehicleId(const QByteArray& stored, int32_t province_offset) {
    const QByteArray text = stored.left(stored.indexOf('\0') < 0 ? stored.size() : stored.indexOf('\0'));
    const qsizetype at = text.indexOf('@');
    if (at < 0) return {QString::fromUtf8(text), -1};
    int64_t number = 0;
    for (qsizetype i = at + 1; i < text.size() && text[i] >= '0' && text[i] <= '9' && number < INT32_MAX;
         ++i) {
        number = number * 10 + (text[i] - '0');
    }
    const int64_t index = std::min<int64_t>(number, INT32_MAX) - province_offset;
    return {QString::fromUtf8(text.left(at)),
            static_cast<int>(std::clamp<int64_t>(index, INT32_MIN, INT32_MAX))};
}

QByteArray Utf8Within(const QString& text, int max_bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray piece = text.mid(i, length).toUtf8();
        if (out.size() + piece.size() > max_bytes) break;
        out += piece;
        i += length - 1;
    }
    return out;
}

QByteArray ComposeVehicleId(const QString& plain, int province_index, int32_t province_offset) {
    QByteArray suffix;
    if (province_index >= 0) {
        suffix = '@' + QByteArray::number(static_cast<int64_t>(province_index) + province_offset);
    }
    return Utf8Within(plain, kVehicleIdBytes - 1 - static_cast<int>(suffix.size())) + suffix;
}

}  // namespace device_info

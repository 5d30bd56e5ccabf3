// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/config_values.h"

#include <algorithm>
#include <array>

namespace config_values {

namespace {

constexpr std::array<int32_t, 22> kBitRatesKbps = {0,    32,   64,   96,   128,  160, 192, 256,
                                                   320,  384,  448,  512,  640,  768, 896, 1024,
                                                   1152, 1280, 1408, 1536, 1792, 2048};

}  // namespace

const QStringList& QualityKeys() {
    static const QStringList keys = {QStringLiteral("Best"), QStringLiteral("High"), QStringLiteral("Normal"),
                                     QStringLiteral("Low"), QStringLiteral("Bad")};
    return keys;
}

const QStringList& ResolutionKeys() {
    static const QStringList keys = {QStringLiteral("QCIF"), QStringLiteral("CIF"), QStringLiteral("Half D1"),
                                     QStringLiteral("D1")};
    return keys;
}

const QStringList& BitRateKeys() {
    static const QStringList keys = [] {
        QStringList list{QStringLiteral("VBR")};
        for (size_t i = 1; i < kBitRatesKbps.size(); ++i)
            list << QStringLiteral("%1 kbps").arg(kBitRatesKbps[i]);
        return list;
    }();
    return keys;
}

int32_t PositionValue(int position) {
    return position < 0 ? -1 : position + 1;
}

int PositionOfValue(int32_t value, int entry_count) {
    return value >= 1 && value <= entry_count ? value - 1 : -1;
}

int32_t BitRateValue(int position) {
    if (position < 0 || position >= static_cast<int>(kBitRatesKbps.size())) return -1;
    return kBitRatesKbps[static_cast<size_t>(position)] * 1024;
}

int BitRatePositionOf(int32_t value) {
    for (size_t i = 0; i < kBitRatesKbps.size(); ++i) {
        if (kBitRatesKbps[i] * 1024 == value) return static_cast<int>(i);
    }
    return -1;
}

const QList<int32_t>& ChannelCounts() {
    static const QList<int32_t> counts = {1, 4, 8, 16};
    return counts;
}

int ChannelCountPosition(int32_t count) {
    return std::clamp(count / 4, 0, static_cast<int>(ChannelCounts().size()) - 1);
}

}  // namespace config_values

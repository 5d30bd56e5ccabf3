// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The value tables of the device configuration dialog: which entry of each list stands for which value on
// the wire. The entry texts are English keys; the dialog translates them when it fills its lists.
#include <QStringList>
#include <cstdint>

namespace config_values {

// Query codes of the channel settings (VelqOpt_QueryControl types).
enum QueryCode : int32_t {
    kReadResolution = 129,
    kWriteResolution = 130,
    kReadFrameRate = 131,
    kWriteFrameRate = 132,
    kReadQuality = 133,
    kWriteQuality = 134,
    kReadBitRate = 135,
    kWriteBitRate = 136,
    kCameraControl = 142,
};

inline constexpr int32_t kMinFrameRate = 1;
inline constexpr int32_t kMaxFrameRate = 30;

const QStringList& QualityKeys();     // "Best" ... "Bad": value = position + 1
const QStringList& ResolutionKeys();  // "QCIF" ... "D1": value = position + 1
const QStringList& BitRateKeys();     // "VBR", "32 kbps" ... "2048 kbps"

// Value sent for a list position (quality and resolution: position + 1); -1 for no entry.
int32_t PositionValue(int position);
// Position for a value read back from the device (value - 1); -1 when no entry has that value.
int PositionOfValue(int32_t value, int entry_count);

// Bit rate of an entry: its kbps number times 1024 (0 for VBR); -1 for no entry.
int32_t BitRateValue(int position);
// The entry whose value is exactly `value`; -1 when none is, so a rate that is not a whole number of
// kbit/s of the table (1000, say) selects nothing rather than the entry its kbit/s would round down to.
int BitRatePositionOf(int32_t value);

// Channel-count list of the device dialog: "1", "4", "8", "16".
const QList<int32_t>& ChannelCounts();
// Entry for a stored channel count: count / 4, at most the last entry.
int ChannelCountPosition(int32_t count);

}  // namespace config_values

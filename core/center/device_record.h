// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/le.h"
#include "base/text.h"

namespace corvel {

// The 280-byte device image: the record of a device list and of an add/modify request, and the copy that
// every AppDevice holds. Kept as bytes in wire order; the accessors read and write its fields.
struct DeviceRecord {
    static constexpr size_t kBytes = 280;
    static constexpr size_t kSizeOffset = 0;
    static constexpr size_t kIdOffset = 4, kIdBytes = 64;
    static constexpr size_t kText1Offset = 68, kText2Offset = 100, kTextBytes = 32;
    static constexpr size_t kChannelCountOffset = 132;
    static constexpr size_t kLastReportOffset = 136;
    static constexpr size_t kPositionFlagOffset = 142;
    static constexpr size_t kPositionOffset = 152, kPositionBytes = 128;
    // Bytes 68..279 change with lists and status; 0..67 identify the device.
    static constexpr size_t kMutableOffset = 68, kMutableBytes = 212;

    uint8_t bytes[kBytes] = {};

    void Clear() { std::memset(bytes, 0, sizeof(bytes)); }
    uint32_t record_size() const { return LoadLE32(bytes + kSizeOffset); }
    std::string_view id() const { return FieldText(bytes + kIdOffset, kIdBytes); }
    void set_id(std::string_view text) { StoreFieldText(bytes + kIdOffset, kIdBytes, text); }
    std::string_view text1() const { return FieldText(bytes + kText1Offset, kTextBytes); }
    void set_text1(std::string_view text) { StoreFieldText(bytes + kText1Offset, kTextBytes, text); }
    std::string_view text2() const { return FieldText(bytes + kText2Offset, kTextBytes); }
    void set_text2(std::string_view text) { StoreFieldText(bytes + kText2Offset, kTextBytes, text); }
    int32_t channel_count() const { return static_cast<int32_t>(LoadLE32(bytes + kChannelCountOffset)); }
    void set_channel_count(int32_t n) { StoreLE32(bytes + kChannelCountOffset, static_cast<uint32_t>(n)); }
    uint32_t last_report() const { return LoadLE32(bytes + kLastReportOffset); }
    void set_last_report(uint32_t t) { StoreLE32(bytes + kLastReportOffset, t); }
    bool has_position() const { return bytes[kPositionFlagOffset] != 0; }
    std::string_view position() const { return FieldText(bytes + kPositionOffset, kPositionBytes); }
    void set_position(std::string_view text) {
        bytes[kPositionFlagOffset] = text.empty() ? 0 : 1;
        StoreFieldText(bytes + kPositionOffset, kPositionBytes, text);
    }
    void CopyMutableFrom(const uint8_t* source_record) {
        std::memcpy(bytes + kMutableOffset, source_record + kMutableOffset, kMutableBytes);
    }
};
static_assert(sizeof(DeviceRecord) == DeviceRecord::kBytes);

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
// Wire records: every field lands at its offset, little-endian, and decodes back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/le.h"
#include "center/wire.h"

namespace corvel {
namespace {

TEST(Wire, RequestHeaderFieldsSitAtTheirOffsets) {
    AppPacketHeader header;
    header.sequence = 0x01020304;
    header.type = 192;
    header.length = 368;
    header.has_data = 1;
    std::strcpy(header.user, "orvi");
    std::memset(header.password, 'p', sizeof(header.password));  // a full field carries no NUL
    std::strcpy(header.session_id, "orvi-0000ABCD");
    uint8_t bytes[AppPacketHeader::kBytes];
    std::memset(bytes, 0xCC, sizeof(bytes));
    header.Encode(bytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 8), "QXAPV103");
    EXPECT_EQ(bytes[8], 0x04);
    EXPECT_EQ(bytes[11], 0x01);
    EXPECT_EQ(LoadLE32(bytes + 12), 192u);
    EXPECT_EQ(LoadLE32(bytes + 16), 368u);
    EXPECT_STREQ(reinterpret_cast<char*>(bytes + 20), "orvi");
    EXPECT_EQ(bytes[24], 0);
    EXPECT_EQ(bytes[51], 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 52), 32), std::string(32, 'p'));
    EXPECT_STREQ(reinterpret_cast<char*>(bytes + 84), "orvi-0000ABCD");
    EXPECT_EQ(LoadLE32(bytes + 116), 1u);
    const AppPacketHeader back = AppPacketHeader::Decode(bytes);
    EXPECT_EQ(back.sequence, header.sequence);
    EXPECT_EQ(std::memcmp(back.password, header.password, 32), 0);
}

TEST(Wire, ReplyHeaderAddsResultAndCount) {
    uint8_t bytes[AppReplyHeader::kBytes] = {};
    std::memcpy(bytes, "QXAPV102", 8);
    StoreLE32(bytes + 12, kReplyAnswer);
    StoreLE32(bytes + 16, 560);
    StoreLE32(bytes + 116, 1);
    StoreLE32(bytes + 120, 2);
    const AppReplyHeader reply = AppReplyHeader::Decode(bytes);
    EXPECT_EQ(reply.magic, kCenterMagic);
    EXPECT_EQ(reply.version, FourCC('V', '1', '0', '2'));
    EXPECT_EQ(reply.kind, 0x8001u);
    EXPECT_EQ(reply.length, 560u);
    EXPECT_EQ(reply.result, 1u);
    EXPECT_EQ(reply.count, 2u);
    uint8_t again[AppReplyHeader::kBytes];
    reply.Encode(again);
    EXPECT_EQ(std::memcmp(bytes, again, sizeof(bytes)), 0);
}

TEST(Wire, StatusRecordPlacesTheWordsAfterTheDeviceRecordsOwnSize) {
    StatusRecord status;
    status.stamp = 0x1122334455667788ull;
    StoreLE32(status.device.bytes, 280);
    status.device.set_id("DEV-1");
    for (uint32_t i = 0; i < 16; ++i) status.words[i] = 100 + i;
    uint8_t bytes[StatusRecord::kBytes];
    status.Encode(bytes);
    EXPECT_EQ(LoadLE32(bytes), 368u);
    EXPECT_EQ(LoadLE32(bytes + 8), 0x55667788u);
    EXPECT_EQ(LoadLE32(bytes + 12), 0x11223344u);
    EXPECT_EQ(StatusRecord::StampOf(bytes), status.stamp);
    EXPECT_STREQ(reinterpret_cast<char*>(bytes + 24), "DEV-1");
    EXPECT_EQ(LoadLE32(bytes + 300), 100u);
    EXPECT_EQ(LoadLE32(bytes + 360), 115u);
    EXPECT_EQ(StatusRecord::StatusWordsOffset(283), 300u);  // rounded down to a multiple of 4
    EXPECT_EQ(StatusRecord::StatusWordsOffset(200), 220u);

    uint8_t request[StatusRecord::kBytes];
    StatusRecord::EncodeRequest(7, request);
    EXPECT_EQ(LoadLE32(request), 368u);
    EXPECT_EQ(LoadLE32(request + 8), 7u);
    for (size_t i = 16; i < sizeof(request); ++i) ASSERT_EQ(request[i], 0) << i;
}

TEST(Wire, ControlRecordRoundTrips) {
    ControlRecord record;
    record.code = 22;
    record.set_id("CAM-1");
    record.channel = 2;
    record.value = 0x030201;
    record.value2 = -1;
    uint8_t bytes[ControlRecord::kBytes];
    record.Encode(bytes);
    EXPECT_EQ(LoadLE32(bytes), 84u);
    EXPECT_EQ(LoadLE32(bytes + 4), 22u);
    EXPECT_STREQ(reinterpret_cast<char*>(bytes + 8), "CAM-1");
    EXPECT_EQ(LoadLE32(bytes + 72), 2u);
    EXPECT_EQ(bytes[76], 0x01);
    EXPECT_EQ(LoadLE32(bytes + 80), 0xFFFFFFFFu);
    const ControlRecord back = ControlRecord::Decode(bytes);
    EXPECT_EQ(back.id(), "CAM-1");
    EXPECT_EQ(back.value2, -1);
}

TEST(Wire, PollAnswerNeedsMagicKindAndLength) {
    uint8_t answer[64];
    PollAnswer::Encode(kCenterVersion, 0x0000000200000003ull, answer);
    uint64_t stamp = 0;
    ASSERT_TRUE(PollAnswer::Decode(answer, 56, &stamp));
    EXPECT_EQ(stamp, 0x0000000200000003ull);
    EXPECT_FALSE(PollAnswer::Decode(answer, 55, &stamp));
    answer[0] = 'X';
    EXPECT_FALSE(PollAnswer::Decode(answer, 56, &stamp));
}

}  // namespace
}  // namespace corvel

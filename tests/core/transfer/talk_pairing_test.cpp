// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/talk_pairing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace corvel {
namespace {

class CollectingSender : public TalkPacketSender {
  public:
    bool SendPacket(const uint8_t* packet, int32_t bytes) override {
        if (fail_at == static_cast<int>(packets.size())) return false;
        packets.emplace_back(packet, packet + bytes);
        return true;
    }
    int fail_at = -1;
    std::vector<std::vector<uint8_t>> packets;
};

// Frame n carries bytes 2n in block 1 and 2n+1 in block 2, so each block is recognisable by one byte.
std::vector<uint8_t> MakeFrame(int n) {
    std::vector<uint8_t> frame(kAudioPacketBytes, 0);
    std::memcpy(frame.data(), "QXTSV100", 8);
    StoreLE32(frame.data() + 12, 1000 + n);
    StoreLE32(frame.data() + kAudioHeaderBytes, kAudioFormatPlain);
    for (int b = 0; b < 2; ++b)
        std::memset(frame.data() + kAudioHeaderBytes + kAudioBlockOffset[b], 2 * n + b, kAudioBlockBytes);
    return frame;
}

uint8_t BlockId(const std::vector<uint8_t>& packet, int block) {
    const uint8_t* p = packet.data() + kAudioHeaderBytes + kAudioBlockOffset[block];
    for (int i = 1; i < kAudioBlockBytes; ++i)
        if (p[i] != p[0]) return 0xFF;
    return p[0];
}

TEST(TalkPairing, BridgesOverlapConsecutiveFramesWithConsecutiveNumbers) {
    CTalkPairing pairing;
    CollectingSender sender;
    for (int n = 1; n <= 5; ++n) {
        std::vector<uint8_t> frame = MakeFrame(n);
        ASSERT_TRUE(pairing.SendFrame(frame.data(), sender));
        // The talk buffer gives the frame's bytes back to the capture: the next bridge must not care.
        std::memset(frame.data(), 0xEE, frame.size());
    }
    ASSERT_EQ(sender.packets.size(), 9u);
    for (size_t i = 0; i < sender.packets.size(); ++i) {
        EXPECT_EQ(LoadLE32(sender.packets[i].data() + 8), i + 1) << "packet " << i;
        EXPECT_EQ(std::memcmp(sender.packets[i].data(), "QXTSV100", 8), 0);
    }
    // Packets: F1, bridge(F1.2, F2.1), F2, bridge(F2.2, F3.1), F3, ...
    std::vector<int> seen(12, 0);
    for (size_t i = 0; i < sender.packets.size(); ++i) {
        const int first = BlockId(sender.packets[i], 0);
        const int second = BlockId(sender.packets[i], 1);
        if (i % 2 == 0) {
            const int n = static_cast<int>(i / 2) + 1;
            EXPECT_EQ(first, 2 * n);
            EXPECT_EQ(second, 2 * n + 1);
        } else {
            const int n = static_cast<int>(i / 2) + 1;  // bridge after frame n
            EXPECT_EQ(first, 2 * n + 1);
            EXPECT_EQ(second, 2 * (n + 1));
            EXPECT_EQ(LoadLE32(sender.packets[i].data() + 12), 1000u + n)
                << "the bridge keeps its frame's time";
        }
        ++seen[first];
        ++seen[second];
    }
    EXPECT_EQ(seen[2], 1) << "the very first block goes out once";
    for (int id = 3; id <= 10; ++id) EXPECT_EQ(seen[id], 2) << "block " << id;
    EXPECT_EQ(seen[11], 1) << "the newest block waits for the next frame's bridge";
}

TEST(TalkPairing, FailedSendStopsAndReconnectionRestartsNumbering) {
    CTalkPairing pairing;
    CollectingSender sender;
    sender.fail_at = 1;  // the first bridge
    std::vector<uint8_t> f1 = MakeFrame(1), f2 = MakeFrame(2);
    EXPECT_TRUE(pairing.SendFrame(f1.data(), sender));
    EXPECT_FALSE(pairing.SendFrame(f2.data(), sender));
    EXPECT_EQ(sender.packets.size(), 1u) << "the frame after a failed bridge is not sent";

    pairing.Reset();
    sender.fail_at = -1;
    sender.packets.clear();
    std::vector<uint8_t> f3 = MakeFrame(3);
    EXPECT_TRUE(pairing.SendFrame(f3.data(), sender));
    ASSERT_EQ(sender.packets.size(), 1u) << "no bridge to a frame of the old connection";
    EXPECT_EQ(LoadLE32(sender.packets[0].data() + 8), 1u);
}

}  // namespace
}  // namespace corvel

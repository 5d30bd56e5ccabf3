// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_protection_sender.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel::sim {
namespace {

TEST(ProtectedGroup, SumKeepsTheCarryAndDifferenceMarksTheSmallerA) {
    std::vector<uint8_t> a(kAudioPacketFrameBytes, 0), b(kAudioPacketFrameBytes, 0);
    const uint32_t pairs[][2] = {{0xFFFFFFFFu, 1}, {1, 3}, {7, 7}, {0x80000000u, 0x80000000u}, {5, 2}};
    // Words 0..4 of block 1, and the same at words 120..124 (block 2) to check the flag field per block.
    for (int i = 0; i < 5; ++i) {
        for (int base : {0, kAudioBlockWords}) {
            StoreLE32(a.data() + 4 * (base + i), pairs[i][0]);
            StoreLE32(b.data() + 4 * (base + i), pairs[i][1]);
        }
    }
    uint8_t p[4][kAudioPayloadBytes];
    BuildProtectedGroup(a.data(), b.data(), p);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(LoadLE32(p[k]), static_cast<uint32_t>(k + 1));
    EXPECT_EQ(std::vector<uint8_t>(p[0] + 4, p[0] + 484), std::vector<uint8_t>(a.begin(), a.begin() + 480));
    EXPECT_EQ(std::vector<uint8_t>(p[1] + 500, p[1] + 980), std::vector<uint8_t>(b.begin() + 480, b.end()));

    const uint32_t sums[] = {0, 4, 14, 0, 7};
    const bool carries[] = {true, false, false, true, false};
    const uint32_t diffs[] = {0xFFFFFFFEu, 2, 0, 0, 3};
    const bool a_smaller[] = {false, true, false, false, false};
    for (int i = 0; i < 5; ++i) {
        for (int base : {0, kAudioBlockWords}) {
            EXPECT_EQ(AudioWord(p[2], base + i), sums[i]) << i;
            EXPECT_EQ(AudioFlag(p[2], base + i), carries[i]) << i;
            EXPECT_EQ(AudioWord(p[3], base + i), diffs[i]) << i;
            EXPECT_EQ(AudioFlag(p[3], base + i), a_smaller[i]) << i;
        }
    }
    // Flag bits: word k of a block is bit k % 8 of byte k / 8 of the block's field.
    EXPECT_EQ(p[2][484], 0x09);  // words 0 and 3 carried
    EXPECT_EQ(p[2][980], 0x09);
    EXPECT_EQ(p[3][484], 0x02);
    EXPECT_EQ(p[0][484], 0) << "plain packets carry no flags";
}

}  // namespace
}  // namespace corvel::sim

// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/audio_protection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio_protection_sender.h"

namespace corvel {
namespace {

struct Packet {
    uint8_t header[kAudioHeaderBytes] = {};
    uint8_t payload[kAudioPayloadBytes] = {};
};

Packet MakePacket(uint32_t sequence, const uint8_t* payload, uint8_t code = 3, uint32_t time = 1700000000) {
    Packet p;
    std::memcpy(p.header, "QXTSV100", 8);
    StoreLE32(p.header + 8, sequence);
    StoreLE32(p.header + 12, time);
    StoreLE32(p.header + 16, kAudioPayloadBytes);
    p.header[21] = 19;
    p.header[25] = code;
    std::memcpy(p.payload, payload, kAudioPayloadBytes);
    return p;
}

class RecordingTarget : public AudioRecordTarget {
  public:
    bool AudioRecordingWanted() override { return wanted; }
    void RecordAudio(const uint8_t* pcm, int32_t bytes) override {
        pcm_.insert(pcm_.end(), pcm, pcm + bytes);
        ++calls;
    }
    bool wanted = true;
    int calls = 0;
    std::vector<uint8_t> pcm_;
};

// The audio transfer's side around the receiver: packets are received at the cursor, and a consumer
// takes every frame out of the audio buffer after each packet.
class Receiver {
  public:
    explicit Receiver(AudioRecordTarget* recorders = nullptr)
        : hand_over(&buffer, recorders), receiver(&hand_over) {
        buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2);
        buffer.GetWritePos(&cursor);
    }
    int32_t Feed(const Packet& p, bool consume = true) {
        std::memcpy(cursor.data, p.payload, kAudioPayloadBytes);
        const int32_t bytes = receiver.OnPacket(&cursor, p.header);
        if (consume) Drain();
        return bytes;
    }
    void Drain() {
        FrameRecord out;
        while (buffer.Pop(&out)) {
            audio.insert(audio.end(), out.data, out.data + out.size);
            sizes.push_back(out.size);
            types.push_back(out.type);
            times.push_back(out.time);
        }
    }

    CABuffer2 buffer;
    CAudioHandOver hand_over;
    CAudioReceiver receiver;
    FrameRecord cursor;
    std::vector<uint8_t> audio;
    std::vector<uint32_t> sizes, types, times;
};

// Audio words chosen to reach every branch of the arithmetic: carries, equal words, extremes.
std::vector<uint8_t> RandomAudio(std::mt19937& rng, const std::vector<uint8_t>* other = nullptr) {
    std::vector<uint8_t> audio(kAudioPacketFrameBytes);
    for (int32_t i = 0; i < kAudioWords; ++i) {
        uint32_t w = rng();
        switch (rng() % 8) {
            case 0:
                w = 0xFFFFFFFFu;
                break;
            case 1:
                w = 0;
                break;
            case 2:
                if (other != nullptr) w = LoadLE32(other->data() + 4 * i);
                break;
            case 3:
                w |= 0x80000000u;
                break;
            default:
                break;
        }
        StoreLE32(audio.data() + 4 * i, w);
    }
    return audio;
}

struct Stream {
    std::vector<Packet> packets;  // A, B, S, D of every group, consecutive sequence numbers
    std::vector<uint8_t> lossless;
};

Stream MakeProtectedStream(int groups, uint32_t seed) {
    std::mt19937 rng(seed);
    Stream s;
    uint32_t sequence = 1;
    for (int g = 0; g < groups; ++g) {
        const std::vector<uint8_t> a = RandomAudio(rng);
        const std::vector<uint8_t> b = RandomAudio(rng, &a);
        uint8_t payloads[4][kAudioPayloadBytes];
        sim::BuildProtectedGroup(a.data(), b.data(), payloads);
        for (auto& payload : payloads) s.packets.push_back(MakePacket(sequence++, payload));
        s.lossless.insert(s.lossless.end(), a.begin(), a.end());
        s.lossless.insert(s.lossless.end(), b.begin(), b.end());
    }
    return s;
}

// Every way to lose at most two of the four packets of a group: bit k set = packet k lost.
std::vector<uint32_t> LossPatterns() {
    std::vector<uint32_t> patterns;
    for (uint32_t m = 0; m < 16; ++m)
        if (__builtin_popcount(m) <= 2) patterns.push_back(m);
    return patterns;
}

std::vector<uint8_t> ReceiveWithLosses(const Stream& s, const std::vector<uint32_t>& loss_per_group) {
    Receiver r;
    for (size_t i = 0; i < s.packets.size(); ++i)
        if (!(loss_per_group[i / 4] >> (i % 4) & 1)) r.Feed(s.packets[i]);
    return r.audio;
}

TEST(AudioRecovery, PlainStreamIsDeliveredPacketByPacket) {
    std::mt19937 rng(3);
    Receiver r;
    std::vector<uint8_t> expected;
    for (uint32_t sequence : {1u, 2u, 3u, 7u, 8u}) {  // a gap changes nothing for plain packets
        const std::vector<uint8_t> audio = RandomAudio(rng);
        uint8_t payload[kAudioPayloadBytes];
        sim::BuildAudioPayload(kAudioFormatPlain, audio.data(), payload);
        EXPECT_EQ(r.Feed(MakePacket(sequence, payload, 5, 100 + sequence)), 960);
        expected.insert(expected.end(), audio.begin(), audio.end());
    }
    EXPECT_EQ(r.audio, expected);
    EXPECT_EQ(r.sizes, std::vector<uint32_t>(5, 960));
    EXPECT_EQ(r.types, std::vector<uint32_t>(5, kFrameUlaw));
    EXPECT_EQ(r.times, (std::vector<uint32_t>{101, 102, 103, 107, 108}));
}

TEST(AudioRecovery, EveryLossOfUpToTwoPacketsPerGroupIsRebuiltBitExact) {
    const Stream s = MakeProtectedStream(3, 11);
    const std::vector<uint32_t> patterns = LossPatterns();
    ASSERT_EQ(patterns.size(), 11u);
    for (uint32_t p0 : patterns)
        for (uint32_t p1 : patterns)
            for (uint32_t p2 : patterns)
                ASSERT_EQ(ReceiveWithLosses(s, {p0, p1, p2}), s.lossless)
                    << "loss masks " << p0 << " " << p1 << " " << p2;
}

TEST(AudioRecovery, LongStreamWithRandomLossesIsBitExact) {
    const Stream s = MakeProtectedStream(1500, 12);
    const std::vector<uint32_t> patterns = LossPatterns();
    std::mt19937 rng(13);
    std::vector<uint32_t> losses(1500);
    for (auto& l : losses) l = patterns[rng() % patterns.size()];
    EXPECT_EQ(ReceiveWithLosses(s, losses), s.lossless);
}

TEST(AudioRecovery, LosingAOrBOrBothDeliversInOrder) {
    const Stream s = MakeProtectedStream(1, 14);
    {
        Receiver r;  // A lost: B is held, the sum packet brings A and B out together
        EXPECT_EQ(r.Feed(s.packets[1]), 0);
        EXPECT_EQ(r.cursor.aux, CAudioReceiver::kRecoveryBHeld);
        EXPECT_EQ(r.Feed(s.packets[2]), 1920);
        EXPECT_EQ(r.cursor.aux, CAudioReceiver::kRecoveryNone);
        EXPECT_EQ(r.Feed(s.packets[3]), 0);
        EXPECT_EQ(r.audio, s.lossless);
        EXPECT_EQ(r.sizes, std::vector<uint32_t>{1920});
    }
    {
        Receiver r;  // A and B lost
        EXPECT_EQ(r.Feed(s.packets[2]), 0);
        EXPECT_EQ(r.cursor.aux, CAudioReceiver::kRecoverySHeld);
        EXPECT_EQ(r.Feed(s.packets[3]), 1920);
        EXPECT_EQ(r.audio, s.lossless);
    }
    {
        Receiver r;  // B lost: the sum packet after A (gap 1) rebuilds B alone
        EXPECT_EQ(r.Feed(s.packets[0]), 960);
        EXPECT_EQ(r.Feed(s.packets[2]), 960);
        EXPECT_EQ(r.audio, s.lossless);
        EXPECT_EQ(r.sizes, (std::vector<uint32_t>{960, 960}));
    }
}

TEST(AudioRecovery, UnknownCodecIsDroppedWithoutChangingTheRecovery) {
    const Stream s = MakeProtectedStream(1, 15);
    for (uint8_t code : {uint8_t{0}, uint8_t{8}, uint8_t{200}}) {
        Receiver r;
        r.Feed(s.packets[1]);  // A lost, B held
        Packet odd = s.packets[0];
        odd.header[25] = code;
        StoreLE32(odd.header + 8, 2);  // as B's number, so the sum packet still follows without a gap
        EXPECT_EQ(r.Feed(odd), 0);
        EXPECT_EQ(r.cursor.aux, CAudioReceiver::kRecoveryBHeld);
        EXPECT_EQ(r.cursor.type, 0u);
        EXPECT_TRUE(r.audio.empty());
        EXPECT_EQ(r.Feed(s.packets[2]), 1920);
        EXPECT_EQ(r.audio, s.lossless) << "code " << int(code);
    }
}

TEST(AudioRecovery, ShortPayloadsAndUnknownFormatsDeliverNothing) {
    const Stream s = MakeProtectedStream(1, 16);
    Receiver r;
    Packet shorter = s.packets[0];
    StoreLE32(shorter.header + 16, kAudioPayloadBytes - 1);
    EXPECT_EQ(r.Feed(shorter), 0);
    Packet odd = s.packets[0];
    StoreLE32(odd.payload, 5);
    EXPECT_EQ(r.Feed(odd), 0);
    EXPECT_TRUE(r.audio.empty());
    EXPECT_EQ(r.cursor.aux, CAudioReceiver::kRecoveryNone);
}

TEST(AudioRecovery, ReconnectionCursorStartsAfresh) {
    const Stream s = MakeProtectedStream(2, 17);
    Receiver r;
    r.Feed(s.packets[1]);  // B held
    r.buffer.GetWritePos(&r.cursor);
    EXPECT_EQ(r.cursor.aux, CAudioReceiver::kRecoveryNone);
    // After the reconnection the stream goes on at the next group; the old B is forgotten.
    for (int i = 4; i < 8; ++i) r.Feed(s.packets[i]);
    EXPECT_EQ(r.audio, std::vector<uint8_t>(s.lossless.begin() + 1920, s.lossless.end()));
}

TEST(AudioRecovery, FramesTheBufferRefusesDoNotMoveTheCursor) {
    std::mt19937 rng(18);
    Receiver r;
    r.buffer.maximum_frame_count = kAudioMaximumFrameCount;
    std::vector<std::vector<uint8_t>> sent;
    for (uint32_t sequence = 1; sequence <= 200; ++sequence) {
        sent.push_back(RandomAudio(rng));
        uint8_t payload[kAudioPayloadBytes];
        sim::BuildAudioPayload(kAudioFormatPlain, sent.back().data(), payload);
        r.Feed(MakePacket(sequence, payload), false);
        ASSERT_GE(r.cursor.data, r.buffer.Region());
        ASSERT_LE(r.cursor.data + kAudioLargestFrame, r.buffer.Region() + r.buffer.Capacity());
    }
    r.Drain();
    ASSERT_EQ(r.sizes.size(), 8u) << "eight frames wait, the rest were refused";
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(std::vector<uint8_t>(r.audio.begin() + 960 * i, r.audio.begin() + 960 * (i + 1)), sent[i]);
}

TEST(AudioHandOver, RecordersGetTheWholeFrameDecoded) {
    for (uint32_t type : {0x20u, 0x21u, 0x22u, 0x23u, 0x41u}) {
        std::mt19937 rng(type);
        std::vector<uint8_t> frame(1920);
        for (auto& b : frame) b = static_cast<uint8_t>(rng());
        RecordingTarget target;
        CABuffer2 buffer;
        ASSERT_TRUE(buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
        FrameRecord rec;
        buffer.GetWritePos(&rec);
        std::memcpy(rec.data, frame.data(), frame.size());
        rec.size = 1920;
        rec.type = type;
        CAudioHandOver hand_over(&buffer, &target);
        ASSERT_TRUE(hand_over.HandOver(&rec));

        AudioCodecState reference;
        std::vector<uint8_t> pcm(32768);
        int32_t produced = static_cast<int32_t>(pcm.size());
        DecodeAudio(type, 1920, &reference, pcm.data(), &produced, frame.data(), 0);
        pcm.resize(static_cast<size_t>(produced));
        EXPECT_EQ(target.pcm_, pcm) << "type " << type;  // 15360 bytes at 16 kbit/s: two pieces
        FrameRecord out;
        ASSERT_TRUE(buffer.Pop(&out));
        EXPECT_EQ(std::memcmp(out.data, frame.data(), 1920), 0);
    }
}

TEST(AudioHandOver, NothingIsDecodedWhileNoChannelRecords) {
    RecordingTarget target;
    target.wanted = false;
    CABuffer2 buffer;
    ASSERT_TRUE(buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
    FrameRecord rec;
    buffer.GetWritePos(&rec);
    rec.size = 960;
    rec.type = 0x22;
    CAudioHandOver hand_over(&buffer, &target);
    EXPECT_TRUE(hand_over.HandOver(&rec));
    EXPECT_EQ(target.calls, 0);
    EXPECT_EQ(buffer.FrameCount(), 2);
}

}  // namespace
}  // namespace corvel

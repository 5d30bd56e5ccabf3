// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "media/frame_buffer.h"
// The G.726 library itself, as the reference; after the standard headers, which it disturbs otherwise.
#include <stdint.h>

#include <spandsp/telephony.h>

#include <spandsp/bitstream.h>
#include <spandsp/g726.h>

namespace corvel {
namespace {

constexpr int kBitRate[4] = {16000, 24000, 32000, 40000};

std::vector<int16_t> Samples(const std::vector<uint8_t>& pcm) {
    std::vector<int16_t> s(pcm.size() / 2);
    std::memcpy(s.data(), pcm.data(), s.size() * 2);
    return s;
}

// The library on one code per byte, from its reset state: the reference for our packing.
std::vector<int16_t> ReferenceDecode(int rate_index, const std::vector<uint8_t>& codes) {
    g726_state_t* s = g726_init(nullptr, kBitRate[rate_index], G726_ENCODING_LINEAR, G726_PACKING_NONE);
    std::vector<int16_t> out(codes.size());
    g726_decode(s, out.data(), codes.data(), static_cast<int>(codes.size()));
    g726_free(s);
    return out;
}

// Packs codes into words the way senders do: MSB-first bytes, right-aligned codes, first code on top.
std::vector<uint8_t> Pack(int rate_index, const std::vector<uint8_t>& codes, uint32_t top_bits = 0) {
    const G726Packing& p = kG726Packing[rate_index];
    std::vector<uint8_t> out;
    for (size_t first = 0; first < codes.size(); first += p.codes_per_word) {
        uint32_t word = p.bits_used == 30 ? top_bits << 30 : 0;
        for (int k = 0; k < p.codes_per_word; ++k) {
            const uint32_t shift = static_cast<uint32_t>(p.bits_used - (k + 1) * p.bits_per_code);
            word |= static_cast<uint32_t>(codes[first + k]) << shift;
        }
        for (int b = 3; b >= 0; --b) out.push_back(static_cast<uint8_t>(word >> (8 * b)));
    }
    return out;
}

std::vector<uint8_t> RandomCodes(int rate_index, int words, uint32_t seed) {
    const G726Packing& p = kG726Packing[rate_index];
    std::mt19937 rng(seed);
    std::vector<uint8_t> codes(static_cast<size_t>(words * p.codes_per_word));
    for (auto& c : codes) c = static_cast<uint8_t>(rng() & ((1u << p.bits_per_code) - 1));
    return codes;
}

// Decodes a whole frame in one call with ample room.
std::vector<int16_t> DecodeWhole(uint32_t type, const std::vector<uint8_t>& frame, AudioCodecState& state,
                                 int32_t* consumed = nullptr) {
    std::vector<uint8_t> pcm(frame.size() * 16 + 16);
    int32_t room = static_cast<int32_t>(pcm.size());
    const int32_t used =
        DecodeAudio(type, static_cast<int32_t>(frame.size()), &state, pcm.data(), &room, frame.data(), 0);
    if (consumed != nullptr) *consumed = used;
    pcm.resize(static_cast<size_t>(room));
    return Samples(pcm);
}

TEST(G726Decode, EveryRateUnpacksCodesInOrderLikeTheLibrary) {
    for (int rate = 0; rate < 4; ++rate) {
        const std::vector<uint8_t> codes = RandomCodes(rate, 30, 7 + rate);
        AudioCodecState state;
        int32_t consumed = 0;
        EXPECT_EQ(DecodeWhole(kFrameG726 + rate, Pack(rate, codes), state, &consumed),
                  ReferenceDecode(rate, codes))
            << "rate index " << rate;
        EXPECT_EQ(consumed, 120);
        EXPECT_EQ(state.produced, static_cast<int32_t>(codes.size() * 2));
    }
}

TEST(G726Decode, TwentyFourKbitFrameOfFourWordsIgnoresTheTopBits) {
    const std::vector<uint8_t> codes = RandomCodes(1, 4, 99);
    AudioCodecState clean, dirty;
    const std::vector<int16_t> a = DecodeWhole(0x21, Pack(1, codes, 0), clean);
    const std::vector<int16_t> b = DecodeWhole(0x21, Pack(1, codes, 3), dirty);
    EXPECT_EQ(a.size(), 40u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, ReferenceDecode(1, codes));
}

TEST(G726Decode, RateSwitchResetsTheStateButSameRateCarriesOn) {
    const std::vector<uint8_t> codes32 = RandomCodes(2, 40, 1);
    const std::vector<uint8_t> codes24 = RandomCodes(1, 20, 2);
    AudioCodecState state;
    DecodeWhole(0x22, Pack(2, codes32), state);
    EXPECT_EQ(DecodeWhole(0x21, Pack(1, codes24), state), ReferenceDecode(1, codes24));
    EXPECT_EQ(state.rate_index, 1);

    // Two frames of one rate form one continuous stream: equal to decoding their codes in one go.
    AudioCodecState continuous;
    const std::vector<uint8_t> first(codes32.begin(), codes32.begin() + 160);
    const std::vector<uint8_t> second(codes32.begin() + 160, codes32.end());
    std::vector<int16_t> joined = DecodeWhole(0x22, Pack(2, first), continuous);
    const std::vector<int16_t> tail = DecodeWhole(0x22, Pack(2, second), continuous);
    joined.insert(joined.end(), tail.begin(), tail.end());
    EXPECT_EQ(joined, ReferenceDecode(2, codes32));
}

TEST(G726Decode, PiecesOfAnySizeGiveTheSameSamples) {
    for (int rate = 0; rate < 4; ++rate) {
        const std::vector<uint8_t> frame = Pack(rate, RandomCodes(rate, 120, 40 + rate));  // 480 bytes
        AudioCodecState whole_state;
        const std::vector<int16_t> whole = DecodeWhole(kFrameG726 + rate, frame, whole_state);
        for (int32_t piece = 2; piece <= 1024; piece += (piece < 64 ? 1 : 37)) {
            AudioCodecState state;
            std::vector<uint8_t> pcm(whole.size() * 2 + 2);
            size_t at = 0;
            int32_t consumed = 0;
            for (;;) {
                int32_t room = std::min<int32_t>(piece, static_cast<int32_t>(pcm.size() - at));
                consumed += DecodeAudio(kFrameG726 + rate, static_cast<int32_t>(frame.size()) - consumed,
                                        &state, pcm.data() + at, &room, frame.data() + consumed, 0);
                if (room == 0) break;
                at += static_cast<size_t>(room);
            }
            pcm.resize(at);
            ASSERT_EQ(Samples(pcm), whole) << "rate index " << rate << ", piece " << piece;
            EXPECT_EQ(consumed, static_cast<int32_t>(frame.size()));
        }
    }
}

TEST(G726Decode, TinyRoomAndBrokenTailsNeverStallTheCaller) {
    const std::vector<uint8_t> frame = Pack(2, RandomCodes(2, 2, 5));
    AudioCodecState state;
    uint8_t pcm[64];
    int32_t room = 1;
    EXPECT_EQ(DecodeAudio(0x22, 8, &state, pcm, &room, frame.data(), 0), 0);
    EXPECT_EQ(room, 0);

    // Seven bytes: one word and three that form none; all count as consumed.
    room = sizeof(pcm);
    EXPECT_EQ(DecodeAudio(0x22, 7, &state, pcm, &room, frame.data(), 0), 7);
    EXPECT_EQ(room, 16);
    room = sizeof(pcm);
    EXPECT_EQ(DecodeAudio(0x22, 0, &state, pcm, &room, frame.data(), 0), 0);
    EXPECT_EQ(room, 0);
}

TEST(G711AndPcm, ExpandAndCopyWithinTheRoom) {
    AudioCodecState state;
    const uint8_t codes[3] = {0xFF, 0xD5, 0x00};
    uint8_t pcm[8] = {};
    int16_t sample = -1;

    int32_t room = 8;
    EXPECT_EQ(DecodeAudio(kFrameUlaw, 1, &state, pcm, &room, codes, 0), 1);
    EXPECT_EQ(room, 2);
    std::memcpy(&sample, pcm, 2);
    EXPECT_EQ(sample, 0);

    room = 8;
    EXPECT_EQ(DecodeAudio(kFrameAlaw, 1, &state, pcm, &room, codes + 1, 0), 1);
    std::memcpy(&sample, pcm, 2);
    EXPECT_EQ(sample, 8);

    room = 5;  // room for two samples only
    EXPECT_EQ(DecodeAudio(kFrameUlaw, 3, &state, pcm, &room, codes, 0), 2);
    EXPECT_EQ(room, 4);

    const uint8_t raw[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    std::memset(pcm, 0, sizeof(pcm));
    room = 6;
    EXPECT_EQ(DecodeAudio(kFramePcm, 10, &state, pcm, &room, raw, 0), 6);
    EXPECT_EQ(room, 6);
    EXPECT_EQ(std::memcmp(pcm, raw, 6), 0);
    EXPECT_EQ(pcm[6], 0);
    EXPECT_EQ(state.rate_index, 2) << "G.711 and PCM leave the G.726 state alone";
}

TEST(UnknownCodec, FillsTheRoomAndSwallowsTheFrame) {
    AudioCodecState state;
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    for (uint32_t type : {0u, 0x24u, 0x43u, 17u}) {
        uint8_t pcm[12];
        std::memset(pcm, 0, sizeof(pcm));
        int32_t room = 11;
        EXPECT_EQ(DecodeAudio(type, 5, &state, pcm, &room, data, 0x80), 5);
        EXPECT_EQ(room, 11);
        for (int i = 0; i < 11; ++i) EXPECT_EQ(pcm[i], 0x80);
        EXPECT_EQ(pcm[11], 0);
    }
}

// A voiced, speech-like test signal: harmonics of a slowly gliding pitch under a syllable envelope.
std::vector<int16_t> SpeechLike(int samples) {
    std::vector<int16_t> s(static_cast<size_t>(samples));
    double phase = 0;
    for (int n = 0; n < samples; ++n) {
        const double t = n / 8000.0;
        const double pitch = 140 + 30 * std::sin(2 * M_PI * 1.5 * t);
        phase += 2 * M_PI * pitch / 8000.0;
        double v = 0;
        for (int h = 1; h <= 12; ++h) v += std::sin(h * phase) / h * (h > 3 && h < 7 ? 1.6 : 1.0);
        const double envelope = 0.35 + 0.65 * std::fabs(std::sin(2 * M_PI * 3 * t));
        s[static_cast<size_t>(n)] = static_cast<int16_t>(5000 * envelope * v);
    }
    return s;
}

TEST(G726Encode, PacksLikeSendersAndKeepsSpeechAboveTwentyDecibels) {
    const int frames = 6;
    const std::vector<int16_t> input = SpeechLike(frames * kTalkSamplesPerFrame);
    AudioCodecState encoder, decoder;
    std::vector<int16_t> decoded;
    for (int f = 0; f < frames; ++f) {
        uint8_t packed[1280];
        EncodeG726(input.data() + f * kTalkSamplesPerFrame, packed, &encoder);
        ASSERT_EQ(encoder.produced, 960);
        int32_t room = 2 * kTalkSamplesPerFrame;
        std::vector<uint8_t> pcm(static_cast<size_t>(room));
        decoder.bits_left = 0;
        EXPECT_EQ(DecodeAudio(0x22, 960, &decoder, pcm.data(), &room, packed, 0), 960);
        const std::vector<int16_t> s = Samples(pcm);
        decoded.insert(decoded.end(), s.begin(), s.end());
    }
    double signal = 0, noise = 0;
    for (size_t i = 200; i < input.size(); ++i) {
        signal += static_cast<double>(input[i]) * input[i];
        noise += std::pow(static_cast<double>(input[i]) - decoded[i], 2);
    }
    EXPECT_GT(10 * std::log10(signal / noise), 20.0);
}

TEST(G726Encode, EveryRateMatchesTheLibraryAndMayWorkInPlace) {
    const std::vector<int16_t> input = SpeechLike(kTalkSamplesPerFrame);
    for (int rate = 0; rate < 4; ++rate) {
        g726_state_t* lib = g726_init(nullptr, kBitRate[rate], G726_ENCODING_LINEAR, G726_PACKING_NONE);
        std::vector<uint8_t> codes(kTalkSamplesPerFrame);
        g726_encode(lib, codes.data(), input.data(), kTalkSamplesPerFrame);
        g726_free(lib);
        const std::vector<uint8_t> expected = Pack(rate, codes);

        AudioCodecState state;
        state.Reset(rate);
        std::vector<int16_t> work = input;  // encoded over its own samples
        EncodeG726(work.data(), reinterpret_cast<uint8_t*>(work.data()), &state);
        ASSERT_EQ(state.produced, static_cast<int32_t>(expected.size())) << "rate index " << rate;
        EXPECT_EQ(std::memcmp(work.data(), expected.data(), expected.size()), 0) << "rate index " << rate;
        EXPECT_EQ(state.bits_left, 0);
    }
}

}  // namespace
}  // namespace corvel

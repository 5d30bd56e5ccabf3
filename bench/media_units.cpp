// SPDX-License-Identifier: GPL-3.0-or-later
// Costs of the media units on one thread:
//  - ns per Push+Pop pair through the video buffer (frames of 5 to 60 KiB) and the audio buffer (960 bytes);
//  - samples per second of G.726 at 32 kbit/s, decoded and encoded through our word packing, against the
//    G.726 library called directly on one code per byte, in the same run (target: ours <= 1.2x the time).
//    Ours and the library alternate in rounds; the median and spread of the per-round time ratios are
//    printed and the target is judged on the median.
//
//   build/release/bench/media_units [seconds per figure and round, default 1] [rounds, default 5]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "media/audio_codec.h"
#include "media/frame_buffer.h"
// The library itself for the bare figures; after the standard headers, which it disturbs otherwise.
#include <stdint.h>

#include <spandsp/telephony.h>

#include <spandsp/bitstream.h>
#include <spandsp/g726.h>

namespace {

using Clock = std::chrono::steady_clock;
using corvel::FrameRecord;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs `step` (which does `unit` units of work) until `seconds` pass; returns units per second.
template <class Step>
double Rate(double seconds, double unit, Step step) {
    step();  // warm-up
    const auto start = Clock::now();
    double units = 0;
    double elapsed = 0;
    do {
        for (int i = 0; i < 16; ++i) step();
        units += 16 * unit;
        elapsed = Seconds(start);
    } while (elapsed < seconds);
    return units / elapsed;
}

struct RatioRounds {
    double ours_rate, bare_rate;     // medians, units per second
    double median, lowest, highest;  // of bare rate / ours rate (the time ratio) per round
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Ours and the bare library in alternating rounds (which goes first alternates), `seconds` each.
template <typename Ours, typename Bare>
RatioRounds CompareInRounds(int rounds, double seconds, double unit, Ours ours, Bare bare) {
    std::vector<double> ours_rates, bare_rates, ratios;
    for (int round = 0; round < rounds; ++round) {
        double o = 0, b = 0;
        if (round % 2 == 0) b = Rate(seconds, unit, bare);
        o = Rate(seconds, unit, ours);
        if (round % 2 == 1) b = Rate(seconds, unit, bare);
        ours_rates.push_back(o);
        bare_rates.push_back(b);
        ratios.push_back(b / o);
    }
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    return {Median(ours_rates), Median(bare_rates), Median(ratios), *low, *high};
}

template <class Buffer>
double PushPopNs(Buffer& buffer, uint32_t type, const std::vector<uint32_t>& sizes, double seconds) {
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    size_t next = 0;
    uint64_t refused = 0;
    const double pairs_per_s = Rate(seconds, 1024, [&] {
        for (int i = 0; i < 1024; ++i) {
            cursor.size = sizes[next];
            cursor.type = type;
            next = (next + 1) % sizes.size();
            refused += !buffer.Push(&cursor);
            FrameRecord out;
            buffer.Pop(&out);
        }
    });
    if (refused != 0) std::printf("  (%llu frames refused)\n", static_cast<unsigned long long>(refused));
    return 1e9 / pairs_per_s;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::mt19937 rng(1);

    corvel::CVBuffer2 video;
    if (!video.Init(corvel::kVideoBufferCapacity, corvel::kVideoLargestFrame, 2)) return 1;
    video.gopState = 0;
    std::vector<uint32_t> video_sizes(4096);
    for (auto& s : video_sizes) s = 5 * 1024 + rng() % (55 * 1024 + 1);
    corvel::CABuffer2 audio;
    if (!audio.Init(corvel::kAudioBufferCapacity, corvel::kAudioLargestFrame, 2)) return 1;
    audio.maximum_frame_count = corvel::kAudioMaximumFrameCount;

    std::printf("Push+Pop, video 5-60 KiB : %8.1f ns per pair\n",
                PushPopNs(video, corvel::IVOP, video_sizes, seconds));
    std::printf("Push+Pop, audio 960 bytes: %8.1f ns per pair\n",
                PushPopNs(audio, corvel::kFrameG726 + 2, std::vector<uint32_t>{960}, seconds));

    // A frame of 960 bytes at 32 kbit/s: 1920 samples.
    constexpr int kSamples = corvel::kTalkSamplesPerFrame;
    std::vector<int16_t> speech(kSamples);
    for (int n = 0; n < kSamples; ++n)
        speech[n] = static_cast<int16_t>(8000 * std::sin(n * 0.07) + 2000 * std::sin(n * 0.53));
    corvel::AudioCodecState encoder;
    std::vector<uint8_t> packed(kSamples);
    corvel::EncodeG726(speech.data(), packed.data(), &encoder);
    g726_state_t* bare = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
    std::vector<uint8_t> codes(kSamples);
    g726_encode(bare, codes.data(), speech.data(), kSamples);

    std::vector<uint8_t> pcm(2 * kSamples);
    std::vector<int16_t> bare_pcm(kSamples);
    corvel::AudioCodecState decoder;
    const RatioRounds decode = CompareInRounds(
        rounds, seconds, kSamples,
        [&] {
            int32_t room = static_cast<int32_t>(pcm.size());
            decoder.bits_left = 0;
            corvel::DecodeAudio(0x22, 960, &decoder, pcm.data(), &room, packed.data(), 0);
        },
        [&] { g726_decode(bare, bare_pcm.data(), codes.data(), kSamples); });
    const RatioRounds encode = CompareInRounds(
        rounds, seconds, kSamples, [&] { corvel::EncodeG726(speech.data(), packed.data(), &encoder); },
        [&] { g726_encode(bare, codes.data(), speech.data(), kSamples); });
    g726_free(bare);

    for (const auto& [name, figures] : {std::pair{"decode", decode}, std::pair{"encode", encode}}) {
        std::printf(
            "G.726-32 %s: ours %6.2f Msamples/s, bare library %6.2f Msamples/s (medians of %d rounds), time "
            "ratio median %.3f, spread %.3f-%.3f\n",
            name, figures.ours_rate / 1e6, figures.bare_rate / 1e6, rounds, figures.median, figures.lowest,
            figures.highest);
    }
    std::printf("target: median time ratio <= 1.2 -> decode %s, encode %s\n",
                decode.median <= 1.2 ? "met" : "MISSED", encode.median <= 1.2 ? "met" : "MISSED");
    return 0;
}

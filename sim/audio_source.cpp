// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_source.h"

#include <cmath>
#include <cstdint>

// The G.711 coders of the library the codec layer uses too; its headers need this order.
#include <spandsp/telephony.h>
//
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>

namespace velq_sim {

int16_t SpeechLikeSignal::Next() {
    constexpr double kPi = 3.14159265358979323846;
    const double t = static_cast<double>(n_++) / 8000.0;
    // A pitch that glides around 140 Hz, three harmonics with drifting weights, and a 4 Hz syllable envelope.
    const double pitch = 140.0 + 25.0 * std::sin(2 * kPi * 0.7 * t + phase_offset_);
    const double phase = 2 * kPi * pitch * t;
    const double voice = 0.6 * std::sin(phase) +
                         0.3 * std::sin(2 * phase + 0.5 * std::sin(2 * kPi * 1.3 * t)) +
                         0.15 * std::sin(5 * phase);
    const double envelope = 0.55 + 0.45 * std::sin(2 * kPi * 4.0 * t);
    return static_cast<int16_t>(9000.0 * envelope * voice);
}

AudioSource::AudioSource(uint8_t code, uint32_t seed)
    : code_(code >= 1 && code <= 7 ? code : 3), signal_(seed) {
    if (code_ <= 4) state_.Reset(code_ - 1);
}

double AudioSource::packet_ms() const {
    static constexpr double kMs[8] = {0, 480, 320, 240, 192, 120, 120, 60};
    return kMs[code_];
}

void AudioSource::Refill() {
    if (code_ <= 4) {
        int16_t samples[corvel::kTalkSamplesPerFrame];
        for (auto& s : samples) s = signal_.Next();
        if (keep_pcm_) pcm_.insert(pcm_.end(), samples, samples + corvel::kTalkSamplesPerFrame);
        uint8_t coded[corvel::kTalkSamplesPerFrame * 2];
        corvel::EncodeG726(samples, coded, &state_);
        coded_.insert(coded_.end(), coded, coded + state_.produced);
        return;
    }
    for (int i = 0; i < 480; ++i) {
        const int16_t s = signal_.Next();
        if (keep_pcm_) pcm_.push_back(s);
        if (code_ == 5) {
            coded_.push_back(linear_to_ulaw(s));
        } else if (code_ == 6) {
            coded_.push_back(linear_to_alaw(s));
        } else {
            coded_.push_back(static_cast<uint8_t>(s & 0xFF));  // little-endian 16-bit PCM
            coded_.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
        }
    }
}

void AudioSource::NextPacket(uint8_t* out) {
    while (coded_.size() < static_cast<size_t>(kPacketAudioBytes)) Refill();
    for (int i = 0; i < kPacketAudioBytes; ++i) {
        out[i] = coded_.front();
        coded_.pop_front();
    }
}

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A vehicle's microphone: a speech-like test signal (a voiced tone with moving harmonics and a syllable
// rhythm) coded in the vehicle's codec and cut into the 960 bytes of audio that one stream packet carries.
#include <cstdint>
#include <deque>
#include <vector>

#include "media/audio_codec.h"

namespace velq_sim {

// The test signal, sample by sample; deterministic for a seed.
class SpeechLikeSignal {
  public:
    explicit SpeechLikeSignal(uint32_t seed = 1) : phase_offset_(seed % 97) {}
    int16_t Next();

  private:
    uint64_t n_ = 0;
    uint32_t phase_offset_;
};

class AudioSource {
  public:
    static constexpr int32_t kPacketAudioBytes = 960;

    // code: the audio codec code of the stream header (1..4 G.726 at 16..40 kbit/s, 5 mu-law, 6 A-law,
    // 7 PCM). An unknown code codes as G.726 at 32 kbit/s.
    AudioSource(uint8_t code, uint32_t seed);

    // The next 960 bytes of coded audio, continuing the stream; G.726 packets always start at a word.
    void NextPacket(uint8_t* out);
    // Milliseconds of sound in one packet at this codec (240 at 32 kbit/s, 60 for PCM).
    double packet_ms() const;
    uint8_t code() const { return code_; }
    // The PCM coded so far (for tests that compare what a receiver decodes).
    const std::vector<int16_t>& pcm() const { return pcm_; }
    void keep_pcm(bool keep) { keep_pcm_ = keep; }

  private:
    void Refill();

    uint8_t code_;
    SpeechLikeSignal signal_;
    corvel::AudioCodecState state_;
    std::deque<uint8_t> coded_;  // coded bytes not yet sent
    std::vector<int16_t> pcm_;
    bool keep_pcm_ = false;
};

}  // namespace velq_sim

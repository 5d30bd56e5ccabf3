// SPDX-License-Identifier: GPL-3.0-or-later
// The wav microphone: a WAV file heard in a loop, converted to the format the capture asks for.
#include <algorithm>
#include <vector>

#include "base/le.h"
#include "platform/sound_input_backends.h"
#include "platform/sound_wav_file.h"

namespace corvel {

namespace {

class LoopedFile final : public CapturedSoundSource {
  public:
    // `frames` holds the file's samples already in the target's channel count, interleaved.
    LoopedFile(std::vector<int16_t> frames, uint32_t file_rate, const SoundFormat& target)
        : frames_(std::move(frames)),
          channels_(target.channels),
          frame_count_(frames_.size() / target.channels),
          file_rate_(file_rate),
          target_rate_(target.samples_per_second) {}

    void Fill(uint8_t* out, size_t count) override {
        const size_t out_frames = count / (2u * channels_);
        for (size_t f = 0; f < out_frames; ++f) {
            // Position in file frames: index + phase / target rate; equal rates copy the samples exactly.
            const size_t next = index_ + 1 == frame_count_ ? 0 : index_ + 1;
            for (uint32_t c = 0; c < channels_; ++c) {
                const int64_t a = frames_[index_ * channels_ + c];
                const int64_t b = frames_[next * channels_ + c];
                const int64_t value = a + (b - a) * static_cast<int64_t>(phase_) / target_rate_;
                StoreLE16(out, static_cast<uint16_t>(static_cast<int16_t>(value)));
                out += 2;
            }
            phase_ += file_rate_;
            index_ = (index_ + phase_ / target_rate_) % frame_count_;
            phase_ %= target_rate_;
        }
    }

  private:
    std::vector<int16_t> frames_;
    const uint32_t channels_;
    const size_t frame_count_;
    const uint64_t file_rate_;
    const uint64_t target_rate_;
    size_t index_ = 0;
    uint64_t phase_ = 0;
};

// The file's samples with the target's channel count: stereo mixed down (rounding toward zero), mono doubled.
std::vector<int16_t> MatchChannels(const WavFileData& file, uint16_t channels) {
    if (file.format.channels == channels) return file.samples;
    std::vector<int16_t> out;
    if (channels == 1) {
        out.resize(file.samples.size() / 2);
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<int16_t>((file.samples[2 * i] + file.samples[2 * i + 1]) / 2);
        }
    } else {
        out.resize(file.samples.size() * 2);
        for (size_t i = 0; i < file.samples.size(); ++i) out[2 * i] = out[2 * i + 1] = file.samples[i];
    }
    return out;
}

}  // namespace

std::unique_ptr<SoundInput> OpenWavSoundInput(const std::string& path, const SoundFormat& format,
                                              Event* done_event, const NullInputOptions& options,
                                              std::string* error) {
    if (!IsPcm16(format)) {
        if (error != nullptr) *error = "the capture format is not 16-bit PCM";
        return nullptr;
    }
    WavFileData file;
    if (!ReadWavFile(path, &file, error)) return nullptr;
    if (file.samples.size() < file.format.channels) {
        if (error != nullptr) *error = "the file holds no samples";
        return nullptr;
    }
    auto source = std::make_unique<LoopedFile>(MatchChannels(file, format.channels),
                                               file.format.samples_per_second, format);
    return OpenClockedSoundInput(format, done_event, options, std::move(source));
}

}  // namespace corvel

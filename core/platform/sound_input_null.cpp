// SPDX-License-Identifier: GPL-3.0-or-later
// The null microphone: no device, but a clock that fills the queued buffers at the format's byte rate,
// with silence or with what a source hears.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sound_input_backends.h"

namespace corvel {

namespace {

constexpr uint32_t kPeriodMs = 10;
constexpr size_t kMaxStepBytes = 32768;

class Silence final : public CapturedSoundSource {
  public:
    void Fill(uint8_t* out, size_t count) override { std::memset(out, 0, count); }
};

class ClockedInput final : public SoundInput, private SoundClockListener {
  public:
    ClockedInput(const SoundFormat& format, Event* done_event, std::unique_ptr<CapturedSoundSource> source,
                 const std::shared_ptr<ManualSoundClock>& clock)
        : SoundInput(format, done_event), source_(std::move(source)) {
        // Last, so the clock never sees a half-built device.
        binding_ =
            std::make_unique<SoundClockBinding>(static_cast<SoundClockListener*>(this), clock, kPeriodMs);
    }
    ~ClockedInput() override { binding_.reset(); }

  private:
    void OnClock(uint64_t elapsed_us) override {
        const uint64_t due = BytesInTime(format(), elapsed_us);
        // Time passes whether or not the device records; only recorded time is heard.
        if (!IsRecording()) {
            captured_ = due;
            return;
        }
        while (captured_ < due) {
            const size_t step = static_cast<size_t>(std::min<uint64_t>(due - captured_, kMaxStepBytes));
            scratch_.resize(step);
            source_->Fill(scratch_.data(), step);
            Deliver(scratch_.data(), step);
            captured_ += step;
        }
    }
    bool WaitAnswered(uint32_t timeout_ms) override { return WaitCompletedRequeued(timeout_ms); }

    std::unique_ptr<CapturedSoundSource> source_;
    std::vector<uint8_t> scratch_;  // clock thread only
    uint64_t captured_ = 0;         // clock thread only
    std::unique_ptr<SoundClockBinding> binding_;
};

}  // namespace

std::unique_ptr<SoundInput> OpenClockedSoundInput(const SoundFormat& format, Event* done_event,
                                                  const NullInputOptions& options,
                                                  std::unique_ptr<CapturedSoundSource> source) {
    if (!IsPcm16(format) || !source) return nullptr;
    return std::make_unique<ClockedInput>(format, done_event, std::move(source), options.clock);
}

std::unique_ptr<SoundInput> OpenNullSoundInput(const SoundFormat& format, Event* done_event,
                                               const NullInputOptions& options) {
    return OpenClockedSoundInput(format, done_event, options, std::make_unique<Silence>());
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
// The null output: no device, but a clock that plays every buffer at its format's byte rate, so that
// players run every path they would run on a real device.
#include <vector>

#include "platform/sound_output_backends.h"

namespace corvel {

namespace {

constexpr uint32_t kPeriodMs = 10;
constexpr uint32_t kMaxBufferBytes = 65536;

class ClockedBuffer final : public SoundOutputBuffer, private SoundClockListener {
  public:
    ClockedBuffer(const SoundFormat& format, uint32_t bytes, std::unique_ptr<PlayedSoundSink> sink,
                  const NullOutputOptions& options)
        : SoundOutputBuffer(format, bytes, static_cast<uint32_t>(BytesInTime(format, kPeriodMs * 1000))),
          sink_(std::move(sink)),
          faults_(options.faults) {
        // Last, so the clock never sees a half-built buffer.
        binding_ = std::make_unique<SoundClockBinding>(static_cast<SoundClockListener*>(this), options.clock,
                                                       kPeriodMs);
    }
    ~ClockedBuffer() override { binding_.reset(); }

  private:
    void OnClock(uint64_t elapsed_us) override {
        if (faults_ && TakeOne(faults_->losses_pending)) MarkLost();
        const uint64_t due = BytesInTime(format(), elapsed_us);
        while (rendered_ < due) {
            const uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(due - rendered_, size()));
            scratch_.resize(step);
            const uint32_t played = Render(scratch_.data(), step);
            if (sink_ && played > 0) sink_->Played(scratch_.data(), played);
            rendered_ += step;
        }
    }
    bool WaitAnswered(uint32_t timeout_ms) override { return WaitUnlockAfterNotification(timeout_ms); }
    bool Reacquire() override {
        if (!faults_) return true;
        if (TakeOne(faults_->restores_to_refuse)) return false;
        faults_->restores_done.fetch_add(1);
        return true;
    }
    static bool TakeOne(std::atomic<uint32_t>& count) {
        uint32_t now = count.load();
        while (now > 0 && !count.compare_exchange_weak(now, now - 1)) {
        }
        return now > 0;
    }

    std::unique_ptr<PlayedSoundSink> sink_;
    const std::shared_ptr<NullOutputFaults> faults_;
    std::vector<uint8_t> scratch_;  // clock thread only
    uint64_t rendered_ = 0;         // clock thread only
    std::unique_ptr<SoundClockBinding> binding_;
};

class ClockedDevice final : public SoundOutputDevice {
  public:
    ClockedDevice(const NullOutputOptions& options, PlayedSoundSinkMaker make_sink)
        : options_(options), make_sink_(std::move(make_sink)) {}

    bool SetFormat(const SoundFormat& format) override { return !options_.refuse_format && IsPcm16(format); }

    std::unique_ptr<SoundOutputBuffer> CreateBuffer(const SoundFormat& format, uint32_t bytes) override {
        if (options_.refuse_format || !IsPcm16(format) || bytes == 0 || bytes > kMaxBufferBytes ||
            bytes % format.block_align != 0) {
            return nullptr;
        }
        std::unique_ptr<PlayedSoundSink> sink;
        if (make_sink_) {
            sink = make_sink_(format);
            if (!sink) return nullptr;
        }
        return std::make_unique<ClockedBuffer>(format, bytes, std::move(sink), options_);
    }

  private:
    NullOutputOptions options_;
    PlayedSoundSinkMaker make_sink_;
};

}  // namespace

std::unique_ptr<SoundOutputDevice> OpenClockedSoundOutput(const NullOutputOptions& options,
                                                          PlayedSoundSinkMaker make_sink) {
    return std::make_unique<ClockedDevice>(options, std::move(make_sink));
}

std::unique_ptr<SoundOutputDevice> OpenNullSoundOutput(const NullOutputOptions& options) {
    return OpenClockedSoundOutput(options, nullptr);
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
// The real output device through PortAudio: each play buffer is one output stream on the default device,
// whose callback takes the bytes at the play cursor. Rates the hardware lacks are converted by the host
// layer (ALSA's plug device, PulseAudio, PipeWire); a device that refuses the rate refuses the buffer.
//
// A stream that ends on its own lost its device (a sound server that died, a device unplugged): the
// buffer reports itself lost, and the player's Restore, which comes every few milliseconds, reopens the
// stream at most once per kReopenIntervalMs, so that a server coming back is heard again within about a
// second while a server that stays away costs one failed open per interval. Each loss is said once on
// standard error, and so is the return.
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/sound_output_backends.h"
#include "platform/sound_portaudio.h"

namespace corvel {

namespace {

constexpr unsigned long kFramesPerCallback = 128;
constexpr uint32_t kMaxBufferBytes = 65536;
constexpr auto kReopenIntervalMs = std::chrono::milliseconds(1000);
// The least device buffering asked for. Over ALSA's PulseAudio plugin, a callback that comes later than
// the device's buffer lasts does not cost one gap: the stream is restarted with what was queued dropped,
// underruns again at once, and from then on nearly every callback reports an underrun while the play
// buffer is taken faster than it sounds; what is heard is scraps. At the device's own "high" default
// (35 ms) a loaded two-core machine, or a build slowed by sanitizers, got there within seconds; at 100 ms
// the callbacks keep up under the same load, for 65 ms more latency. Not when PULSE_LATENCY_MSEC fixes
// the sound server's buffering for every client: asking the plugin for more than that left the stream
// silent (20 ms fixed, 60 or 100 ms asked: nothing heard), so the user's choice and the device's default
// stand.
constexpr double kMinOutputLatencySeconds = 0.1;

double SuggestedOutputLatency(const PaDeviceInfo& info) {
    if (std::getenv("PULSE_LATENCY_MSEC") != nullptr) return info.defaultHighOutputLatency;
    return std::max(info.defaultHighOutputLatency, kMinOutputLatencySeconds);
}

// Under PortAudioLibrary::LockSetup.
bool OutputParameters(const SoundFormat& format, PaStreamParameters* out) {
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice || !IsPcm16(format)) return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr || info->maxOutputChannels < format.channels) return false;
    *out = {};
    out->device = device;
    out->channelCount = format.channels;
    out->sampleFormat = paInt16;
    out->suggestedLatency = SuggestedOutputLatency(*info);
    return Pa_IsFormatSupported(nullptr, out, format.samples_per_second) == paFormatIsSupported;
}

class PortAudioBuffer final : public SoundOutputBuffer {
  public:
    PortAudioBuffer(const SoundFormat& format, uint32_t bytes, std::shared_ptr<PortAudioLibrary> library)
        : SoundOutputBuffer(format, bytes, static_cast<uint32_t>(kFramesPerCallback * format.block_align)),
          library_(std::move(library)) {}
    ~PortAudioBuffer() override {
        auto lock = PortAudioLibrary::LockSetup();
        CloseStream();
    }

    // Under PortAudioLibrary::LockSetup.
    bool OpenStream() {
        PaStreamParameters parameters;
        if (!OutputParameters(format(), &parameters)) return false;
        if (Pa_OpenStream(&stream_, nullptr, &parameters, format().samples_per_second, kFramesPerCallback,
                          paNoFlag, &PortAudioBuffer::Callback, this) != paNoError) {
            stream_ = nullptr;
            return false;
        }
        closing_ = false;
        if (Pa_SetStreamFinishedCallback(stream_, &PortAudioBuffer::Finished) != paNoError ||
            Pa_StartStream(stream_) != paNoError) {
            CloseStream();
            return false;
        }
        return true;
    }

  private:
    // Under PortAudioLibrary::LockSetup.
    void CloseStream() {
        if (stream_ == nullptr) return;
        closing_ = true;
        Pa_CloseStream(stream_);
        stream_ = nullptr;
    }

    // The player's thread, from Restore. Returns at once between attempts; an attempt is one open of the
    // default device, which fails fast while no server answers.
    bool Reacquire() override {
        const auto now = std::chrono::steady_clock::now();
        if (!reopening_) {
            reopening_ = true;
            std::fprintf(stderr,
                         "corvel: the sound output device went away; opening it again every %lld ms\n",
                         static_cast<long long>(kReopenIntervalMs.count()));
        } else if (now - last_attempt_ < kReopenIntervalMs) {
            return false;
        }
        last_attempt_ = now;
        auto lock = PortAudioLibrary::LockSetup();
        CloseStream();
        if (!OpenStream()) return false;
        reopening_ = false;
        std::fprintf(stderr, "corvel: the sound output device is back\n");
        return true;
    }

    static int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        auto* buffer = static_cast<PortAudioBuffer*>(self);
        buffer->Render(static_cast<uint8_t*>(output),
                       static_cast<uint32_t>(frames * buffer->format().block_align));
        return paContinue;
    }

    // A stream that ends without being closed by us lost its device (unplugged, taken away).
    static void Finished(void* self) {
        auto* buffer = static_cast<PortAudioBuffer*>(self);
        if (!buffer->closing_) buffer->MarkLost();
    }

    std::shared_ptr<PortAudioLibrary> library_;
    PaStream* stream_ = nullptr;
    std::atomic<bool> closing_{false};
    // The player's thread only (Reacquire).
    bool reopening_ = false;
    std::chrono::steady_clock::time_point last_attempt_{};
};

class PortAudioDevice final : public SoundOutputDevice {
  public:
    explicit PortAudioDevice(std::shared_ptr<PortAudioLibrary> library) : library_(std::move(library)) {}

    bool SetFormat(const SoundFormat& format) override {
        auto lock = PortAudioLibrary::LockSetup();
        PaStreamParameters parameters;
        return OutputParameters(format, &parameters);
    }

    std::unique_ptr<SoundOutputBuffer> CreateBuffer(const SoundFormat& format, uint32_t bytes) override {
        if (bytes == 0 || bytes > kMaxBufferBytes || !IsPcm16(format) || bytes % format.block_align != 0) {
            return nullptr;
        }
        auto buffer = std::make_unique<PortAudioBuffer>(format, bytes, library_);
        auto lock = PortAudioLibrary::LockSetup();
        if (!buffer->OpenStream()) return nullptr;  // the lock ends before the buffer, which takes it again
        return buffer;
    }

  private:
    std::shared_ptr<PortAudioLibrary> library_;
};

}  // namespace

std::unique_ptr<SoundOutputDevice> OpenPortAudioOutput() {
    auto library = PortAudioLibrary::Acquire();
    if (!library) return nullptr;
    {
        auto lock = PortAudioLibrary::LockSetup();
        PaStreamParameters parameters;
        if (Pa_GetDefaultOutputDevice() == paNoDevice || !OutputParameters(kPlayFormat, &parameters)) {
            return nullptr;  // the lock ends before the library reference does
        }
    }
    return std::make_unique<PortAudioDevice>(std::move(library));
}

}  // namespace corvel

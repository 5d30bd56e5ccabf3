// SPDX-License-Identifier: GPL-3.0-or-later
// The real output device through PortAudio: each play buffer is one output stream on the default device,
// whose callback takes the bytes at the play cursor. Rates the hardware lacks are converted by the host
// layer (ALSA's plug device, PulseAudio, PipeWire); a device that refuses the rate refuses the buffer.
#include <portaudio.h>

#include <atomic>

#include "platform/sound_output_backends.h"
#include "platform/sound_portaudio.h"

namespace corvel {

namespace {

constexpr unsigned long kFramesPerCallback = 128;
constexpr uint32_t kMaxBufferBytes = 65536;

bool OutputParameters(const SoundFormat& format, PaStreamParameters* out) {
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice || !IsPcm16(format)) return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr || info->maxOutputChannels < format.channels) return false;
    *out = {};
    out->device = device;
    out->channelCount = format.channels;
    out->sampleFormat = paInt16;
    out->suggestedLatency = info->defaultLowOutputLatency;
    return Pa_IsFormatSupported(nullptr, out, format.samples_per_second) == paFormatIsSupported;
}

class PortAudioBuffer final : public SoundOutputBuffer {
  public:
    PortAudioBuffer(const SoundFormat& format, uint32_t bytes, std::shared_ptr<PortAudioLibrary> library)
        : SoundOutputBuffer(format, bytes, static_cast<uint32_t>(kFramesPerCallback * format.block_align)),
          library_(std::move(library)) {}
    ~PortAudioBuffer() override { CloseStream(); }

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
    void CloseStream() {
        if (stream_ == nullptr) return;
        closing_ = true;
        Pa_CloseStream(stream_);
        stream_ = nullptr;
    }

    bool Reacquire() override {
        CloseStream();
        return OpenStream();
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
};

class PortAudioDevice final : public SoundOutputDevice {
  public:
    explicit PortAudioDevice(std::shared_ptr<PortAudioLibrary> library) : library_(std::move(library)) {}

    bool SetFormat(const SoundFormat& format) override {
        PaStreamParameters parameters;
        return OutputParameters(format, &parameters);
    }

    std::unique_ptr<SoundOutputBuffer> CreateBuffer(const SoundFormat& format, uint32_t bytes) override {
        if (bytes == 0 || bytes > kMaxBufferBytes || !IsPcm16(format) || bytes % format.block_align != 0) {
            return nullptr;
        }
        auto buffer = std::make_unique<PortAudioBuffer>(format, bytes, library_);
        if (!buffer->OpenStream()) return nullptr;
        return buffer;
    }

  private:
    std::shared_ptr<PortAudioLibrary> library_;
};

}  // namespace

std::unique_ptr<SoundOutputDevice> OpenPortAudioOutput() {
    auto library = PortAudioLibrary::Acquire();
    if (!library || Pa_GetDefaultOutputDevice() == paNoDevice) return nullptr;
    PaStreamParameters parameters;
    if (!OutputParameters(kPlayFormat, &parameters)) return nullptr;
    return std::make_unique<PortAudioDevice>(std::move(library));
}

}  // namespace corvel

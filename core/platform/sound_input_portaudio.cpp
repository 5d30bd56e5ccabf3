// SPDX-License-Identifier: GPL-3.0-or-later
// The real microphone through PortAudio: an input stream on the default device, started and stopped with
// the recording, whose callback hands the samples to the queued buffers. A stream that ends on its own lost
// its device (a sound server that died): the input reports itself lost and its owner opens another.
#include <portaudio.h>

#include <atomic>

#include "platform/sound_input_backends.h"
#include "platform/sound_portaudio.h"

namespace corvel {

namespace {

constexpr unsigned long kFramesPerCallback = 256;

class PortAudioInput final : public SoundInput {
  public:
    PortAudioInput(const SoundFormat& format, Event* done_event, std::shared_ptr<PortAudioLibrary> library)
        : SoundInput(format, done_event), library_(std::move(library)) {}
    ~PortAudioInput() override {
        auto lock = PortAudioLibrary::LockSetup();
        closing_ = true;
        if (stream_ != nullptr) Pa_CloseStream(stream_);
    }

    // Under PortAudioLibrary::LockSetup.
    bool OpenStream() {
        const PaDeviceIndex device = Pa_GetDefaultInputDevice();
        if (device == paNoDevice) return false;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (info == nullptr || info->maxInputChannels < format().channels) return false;
        PaStreamParameters parameters{};
        parameters.device = device;
        parameters.channelCount = format().channels;
        parameters.sampleFormat = paInt16;
        parameters.suggestedLatency = info->defaultLowInputLatency;
        if (Pa_IsFormatSupported(&parameters, nullptr, format().samples_per_second) != paFormatIsSupported) {
            return false;
        }
        if (Pa_OpenStream(&stream_, &parameters, nullptr, format().samples_per_second, kFramesPerCallback,
                          paNoFlag, &PortAudioInput::Callback, this) != paNoError) {
            stream_ = nullptr;
            return false;
        }
        if (Pa_SetStreamFinishedCallback(stream_, &PortAudioInput::Finished) != paNoError) {
            Pa_CloseStream(stream_);
            stream_ = nullptr;
            return false;
        }
        return true;
    }

  private:
    bool OnStart() override {
        auto lock = PortAudioLibrary::LockSetup();
        return Pa_StartStream(stream_) == paNoError;
    }
    void OnStop() override {
        auto lock = PortAudioLibrary::LockSetup();
        stopping_ = true;
        Pa_StopStream(stream_);
        stopping_ = false;
    }

    // A stream that ends without our stop or close lost its device.
    static void Finished(void* self) {
        auto* device = static_cast<PortAudioInput*>(self);
        if (!device->closing_ && !device->stopping_) device->MarkLost();
    }

    static int Callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        auto* device = static_cast<PortAudioInput*>(self);
        if (input != nullptr) {
            device->Deliver(static_cast<const uint8_t*>(input), frames * device->format().block_align);
        }
        return paContinue;
    }

    std::shared_ptr<PortAudioLibrary> library_;
    PaStream* stream_ = nullptr;
    std::atomic<bool> closing_{false};
    std::atomic<bool> stopping_{false};
};

}  // namespace

std::unique_ptr<SoundInput> OpenPortAudioInput(const SoundFormat& format, Event* done_event) {
    if (!IsPcm16(format)) return nullptr;
    auto library = PortAudioLibrary::Acquire();
    if (!library) return nullptr;
    auto input = std::make_unique<PortAudioInput>(format, done_event, std::move(library));
    auto lock = PortAudioLibrary::LockSetup();
    if (!input->OpenStream()) return nullptr;  // the lock ends before the input, which takes it again
    return input;
}

}  // namespace corvel

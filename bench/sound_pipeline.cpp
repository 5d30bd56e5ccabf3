// SPDX-License-Identifier: GPL-3.0-or-later
// The sound paths measured, and a way to hear them.
//
//   sound_pipeline                 figures: the player and the talk capture on a manual device clock,
//                                  against the bare codec on the same frames in the same run
//   sound_pipeline devices         what PortAudio finds on this machine
//   sound_pipeline play FILE.wav   plays an 8000 samples/s mono WAV through CORVEL_SOUND_OUT (default auto)
//                                  in real time, as a channel's player would
#include <portaudio.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "media/audio_ctx.h"
#include "media/talk_audio.h"
#include "platform/sound_input_backends.h"
#include "platform/sound_output_backends.h"
#include "platform/sound_wav_file.h"

using namespace corvel;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<int16_t> Voice(size_t count, double rate) {
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        out[i] =
            static_cast<int16_t>(6000 * std::sin(2 * M_PI * 310 * t) + 2500 * std::sin(2 * M_PI * 1230 * t));
    }
    return out;
}

// The null device on a manual clock, remembering the play buffer so that the run starts once it plays.
class ManualOutput final : public SoundOutputOpener {
  public:
    explicit ManualOutput(std::shared_ptr<ManualSoundClock> clock) : clock_(std::move(clock)) {}
    std::unique_ptr<SoundOutputDevice> Open() override {
        NullOutputOptions options;
        options.clock = clock_;
        return std::make_unique<Device>(OpenNullSoundOutput(options), &buffer);
    }
    std::atomic<SoundOutputBuffer*> buffer{nullptr};

  private:
    class Device final : public SoundOutputDevice {
      public:
        Device(std::unique_ptr<SoundOutputDevice> inner, std::atomic<SoundOutputBuffer*>* made)
            : inner_(std::move(inner)), made_(made) {}
        bool SetFormat(const SoundFormat& format) override { return inner_->SetFormat(format); }
        std::unique_ptr<SoundOutputBuffer> CreateBuffer(const SoundFormat& format, uint32_t bytes) override {
            auto buffer = inner_->CreateBuffer(format, bytes);
            made_->store(buffer.get());
            return buffer;
        }

      private:
        std::unique_ptr<SoundOutputDevice> inner_;
        std::atomic<SoundOutputBuffer*>* made_;
    };
    std::shared_ptr<ManualSoundClock> clock_;
};

// The voice the figures are measured on, repeated, so the capture encodes what the bare encoder encodes.
class VoiceSource final : public CapturedSoundSource {
  public:
    void Fill(uint8_t* out, size_t count) override {
        for (size_t i = 0; i + 1 < count; i += 2) {
            std::memcpy(out + i, &voice_[at_], 2);
            at_ = (at_ + 1) % voice_.size();
        }
    }

  private:
    std::vector<int16_t> voice_ = Voice(kTalkSamplesPerFrame, 7900);
    size_t at_ = 0;
};

class ManualInput final : public SoundInputOpener {
  public:
    explicit ManualInput(std::shared_ptr<ManualSoundClock> clock) : clock_(std::move(clock)) {}
    std::unique_ptr<SoundInput> Open(const SoundFormat& format, Event* done_event) override {
        NullInputOptions options;
        options.clock = clock_;
        auto input = OpenClockedSoundInput(format, done_event, options, std::make_unique<VoiceSource>());
        device = input.get();
        return input;
    }
    SoundInput* device = nullptr;

  private:
    std::shared_ptr<ManualSoundClock> clock_;
};

// G.726-32 frames of 960 bytes (240 ms each), as devices send them.
std::vector<std::vector<uint8_t>> G726Frames(size_t count) {
    const std::vector<int16_t> voice = Voice(count * kTalkSamplesPerFrame, 8000);
    AudioCodecState encoder;
    std::vector<std::vector<uint8_t>> frames(count, std::vector<uint8_t>(960));
    for (size_t f = 0; f < count; ++f)
        EncodeG726(voice.data() + f * kTalkSamplesPerFrame, frames[f].data(), &encoder);
    return frames;
}

void PlayerFigures(int played_s) {
    const size_t frame_count = static_cast<size_t>(played_s) * 1000 / 240 + 1;
    const auto frames = G726Frames(frame_count);

    // The floor: the same frames decoded by the codec alone, in 1024-byte pieces like the player's blocks.
    double cpu = CpuSeconds();
    AudioCodecState state;
    std::vector<uint8_t> block(kPlayBlockBytes);
    for (const auto& frame : frames) {
        int32_t left = static_cast<int32_t>(frame.size());
        const uint8_t* at = frame.data();
        state.bits_left = 0;
        while (left > 0) {
            int32_t produced = static_cast<int32_t>(block.size());
            const int32_t used = DecodeAudio(kFrameG726 + 2, left, &state, block.data(), &produced, at, 0);
            at += used;
            left -= used;
        }
    }
    const double bare_cpu = CpuSeconds() - cpu;

    auto clock = std::make_shared<ManualSoundClock>();
    ManualOutput opener(clock);
    CABuffer2 buffer;
    buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2);
    buffer.maximum_frame_count = kAudioMaximumFrameCount;
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    size_t next = 0;
    auto feed = [&] {
        while (next < frames.size()) {
            std::memcpy(cursor.data, frames[next].data(), frames[next].size());
            cursor.size = static_cast<uint32_t>(frames[next].size());
            cursor.type = kFrameG726 + 2;
            if (!buffer.Push(&cursor)) return;
            ++next;
        }
    };
    feed();
    CAudioCtx player;
    player.Attach(&buffer, nullptr, &opener);
    cpu = CpuSeconds();
    const double wall = WallSeconds();
    player.Start();
    while (opener.buffer.load() == nullptr || !opener.buffer.load()->IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int blocks = played_s * 1000 / 64;
    int unanswered = 0;
    for (int b = 0; b < blocks; ++b) {
        if (!clock->Advance(64000)) ++unanswered;
        feed();
    }
    player.Stop(kStopTimeoutMs);
    const double player_cpu = CpuSeconds() - cpu;
    const double player_wall = WallSeconds() - wall;
    std::printf("player: %d s of G.726-32 played on the manual clock in %.3f s wall (%.0fx real time)\n",
                played_s, player_wall, played_s / player_wall);
    std::printf(
        "player: CPU per played second %.1f us (thread hand-offs included); bare decode %.1f us; "
        "notifications not answered within 2 s: %d\n",
        1e6 * player_cpu / played_s, 1e6 * bare_cpu / played_s, unanswered);
}

void TalkFigures(int captured_s) {
    const std::vector<int16_t> voice = Voice(kTalkSamplesPerFrame, 7900);
    double cpu = CpuSeconds();
    AudioCodecState state;
    std::vector<int16_t> block(kTalkSamplesPerFrame);
    const int blocks = captured_s * 7900 / kTalkSamplesPerFrame;
    for (int b = 0; b < blocks; ++b) {
        block = voice;
        EncodeG726(block.data(), reinterpret_cast<uint8_t*>(block.data()), &state);
    }
    const double bare_cpu = CpuSeconds() - cpu;

    auto clock = std::make_shared<ManualSoundClock>();
    ManualInput microphone(clock);
    CMyTalkAudio capture(&microphone);
    CABuffer2 talk[2];
    for (CABuffer2& buffer : talk) {
        buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2);
        buffer.maximum_frame_count = kAudioMaximumFrameCount;
        capture.RegisterTalkBuffer(&buffer);
    }
    while (microphone.device == nullptr || !microphone.device->IsRecording()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cpu = CpuSeconds();
    const double wall = WallSeconds();
    size_t frames = 0;
    FrameRecord frame;
    for (int step = 0; step < captured_s * 4; ++step) {
        clock->Advance(250000);
        for (CABuffer2& buffer : talk) {
            while (buffer.Pop(&frame)) ++frames;
        }
    }
    const double capture_cpu = CpuSeconds() - cpu;
    const double capture_wall = WallSeconds() - wall;
    for (CABuffer2& buffer : talk) capture.UnregisterTalkBuffer(&buffer);
    capture.Stop(kStopTimeoutMs);
    std::printf(
        "talk: %d s captured for 2 channels in %.3f s wall, %zu frames; CPU per captured second %.1f us; "
        "bare encode %.1f us\n",
        captured_s, capture_wall, frames, 1e6 * capture_cpu / captured_s, 1e6 * bare_cpu / captured_s);
}

int Devices() {
    if (Pa_Initialize() != paNoError) {
        std::printf("PortAudio does not initialise\n");
        return 1;
    }
    const int count = Pa_GetDeviceCount();
    std::printf("PortAudio %s: %d devices, default output %d, default input %d\n", Pa_GetVersionText(),
                count < 0 ? 0 : count, Pa_GetDefaultOutputDevice(), Pa_GetDefaultInputDevice());
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        std::printf("  %d: %s (in %d, out %d, %.0f Hz)\n", i, info->name, info->maxInputChannels,
                    info->maxOutputChannels, info->defaultSampleRate);
    }
    Pa_Terminate();
    return 0;
}

int Play(const std::string& path) {
    WavFileData wav;
    std::string error;
    if (!ReadWavFile(path, &wav, &error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    if (wav.format.samples_per_second != 8000 || wav.format.channels != 1) {
        std::fprintf(stderr, "%s: the players play 8000 samples/s mono\n", path.c_str());
        return 1;
    }
    SoundOutputChoice output = SoundOutputChoice::FromEnvironment();
    CABuffer2 buffer;
    buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2);
    buffer.maximum_frame_count = kAudioMaximumFrameCount;
    FrameRecord cursor;
    buffer.GetWritePos(&cursor);
    CAudioCtx player;
    player.Attach(&buffer, nullptr, &output);
    player.Start();
    std::fprintf(stderr, "playing %s through \"%s\"%s\n", path.c_str(), output.name().c_str(),
                 player.HasPlayBuffer() ? "" : " (no device opened: nothing is heard)");
    const auto* bytes = reinterpret_cast<const uint8_t*>(wav.samples.data());
    const size_t total = wav.samples.size() * 2;
    for (size_t at = 0; at < total;) {
        const size_t piece = std::min<size_t>(1024, total - at);
        std::memcpy(cursor.data, bytes + at, piece);
        cursor.size = static_cast<uint32_t>(piece);
        cursor.type = kFramePcm;
        if (buffer.Push(&cursor)) {
            at += piece;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    while (buffer.FrameCount() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last blocks leave the device
    player.Stop(kStopTimeoutMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "devices") return Devices();
    if (argc >= 3 && std::string(argv[1]) == "play") return Play(argv[2]);
    if (argc >= 2) {
        std::fprintf(stderr, "usage: %s [devices | play FILE.wav]\n", argv[0]);
        return 2;
    }
    PlayerFigures(600);
    TalkFigures(600);
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The sound paths measured, and a way to hear them.
//
//   sound_pipeline                 figures: the player and the talk capture on a manual device clock,
//                                  against the bare codec on the same frames in the same run
//   sound_pipeline devices         what PortAudio finds on this machine
//   sound_pipeline play FILE.wav   plays an 8000 samples/s mono WAV through CORVEL_SOUND_OUT (default auto)
//                                  in real time, as a channel's player would
//   sound_pipeline latency [N]     on the real backend: starts a PulseAudio server of its own with a null
//                                  sink, plays a live stream through the portaudio output and times N
//                                  bursts (default 8) from the frame's arrival in the audio buffer to their
//                                  onset on the sink's monitor, for several server buffer settings
#include <portaudio.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio_ctx.h"
#include "media/talk_audio.h"
#include "platform/sound_input_backends.h"
#include "platform/sound_output_backends.h"
#include "platform/sound_wav_file.h"
#include "pulse_server.h"

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

// One channel's audio path: the audio buffer with the channel's sizes, its producer's cursor and the player
// on the opener's device.
struct ChannelSound {
    explicit ChannelSound(SoundOutputOpener* opener) {
        buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2);
        buffer.maximum_frame_count = kAudioMaximumFrameCount;
        buffer.GetWritePos(&cursor);
        player.Attach(&buffer, nullptr, opener);
    }
    // Stores one frame as the transfer does; false when the buffer is full.
    bool Push(uint32_t type, const void* bytes, size_t size) {
        std::memcpy(cursor.data, bytes, size);
        cursor.size = static_cast<uint32_t>(size);
        cursor.type = type;
        return buffer.Push(&cursor);
    }

    CABuffer2 buffer;
    FrameRecord cursor;
    CAudioCtx player;  // last: it stops before the buffer goes
};

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
    ChannelSound sound(&opener);
    size_t next = 0;
    auto feed = [&] {
        while (next < frames.size() && sound.Push(kFrameG726 + 2, frames[next].data(), frames[next].size()))
            ++next;
    };
    feed();
    cpu = CpuSeconds();
    const double wall = WallSeconds();
    sound.player.Start();
    while (opener.buffer.load() == nullptr || !opener.buffer.load()->IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int blocks = played_s * 1000 / 64;
    int unanswered = 0;
    for (int b = 0; b < blocks; ++b) {
        if (!clock->Advance(64000)) ++unanswered;
        feed();
    }
    sound.player.Stop(kStopTimeoutMs);
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
        std::printf("  %d: %s (in %d, out %d, %.0f Hz; output latency low %.1f ms, high %.1f ms)\n", i,
                    info->name, info->maxInputChannels, info->maxOutputChannels, info->defaultSampleRate,
                    1000 * info->defaultLowOutputLatency, 1000 * info->defaultHighOutputLatency);
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
    ChannelSound sound(&output);
    sound.player.Start();
    std::fprintf(stderr, "playing %s through \"%s\"%s\n", path.c_str(), output.name().c_str(),
                 sound.player.HasPlayBuffer() ? "" : " (no device opened: nothing is heard)");
    const auto* bytes = reinterpret_cast<const uint8_t*>(wav.samples.data());
    const size_t total = wav.samples.size() * 2;
    for (size_t at = 0; at < total;) {
        const size_t piece = std::min<size_t>(1024, total - at);
        if (sound.Push(kFramePcm, bytes + at, piece)) {
            at += piece;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    while (sound.buffer.FrameCount() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last blocks leave the device
    sound.player.Stop(kStopTimeoutMs);
    return 0;
}

// Onsets of loud sound on the monitor as a reader of it sees them: the monitor is read in 10 ms pieces,
// and a piece's last sample is taken as heard when the read returns (the monitor's own capture latency,
// about 10 ms, is therefore part of every figure).
class OnsetListener {
  public:
    explicit OnsetListener(int fd) : fd_(fd), thread_([this] { Run(); }) {}
    // After the recorder ended: its end of the pipe closing ends the reading.
    ~OnsetListener() {
        thread_.join();
        close(fd_);
    }
    std::vector<double> Onsets() {
        std::lock_guard lock(mutex_);
        return onsets_;
    }

  private:
    void Run() {
        int16_t piece[80];
        double last_loud = -1e9;
        for (;;) {
            const ssize_t got = read(fd_, piece, sizeof(piece));
            if (got <= 0) return;
            const double now = WallSeconds();
            const size_t count = static_cast<size_t>(got) / 2;
            for (size_t i = 0; i < count; ++i) {
                if (std::abs(int{piece[i]}) < 3000) continue;
                const double at = now - static_cast<double>(count - 1 - i) / 8000;
                if (at - last_loud > 0.3) {
                    std::lock_guard lock(mutex_);
                    onsets_.push_back(at);
                }
                last_loud = at;
            }
        }
    }
    int fd_;
    std::mutex mutex_;
    std::vector<double> onsets_;
    std::thread thread_;
};

// What one run measured.
struct BurstRun {
    std::vector<double> delays_ms;  // each heard burst's delay from its Push to its onset on the monitor
    std::vector<int> queued;        // the frames that waited in the audio buffer ahead of each burst
    uint64_t dropped = 0;           // frames the player dropped because sound stood waiting
};

// One run: a live stream of 60 ms PCM frames (as PCM packets arrive) with a 60 ms tone burst every
// 1.92 s; each burst is paired with the first onset on the monitor after its Push and before the next one.
BurstRun BurstDelays(int bursts, OnsetListener* listener) {
    BurstRun run;
    SoundOutputChoice output("portaudio");
    ChannelSound sound(&output);
    sound.player.Start();
    if (!sound.player.HasPlayBuffer()) {
        std::printf("latency: the portaudio output did not open\n");
        return run;
    }
    constexpr int kFrameSamples = 480;
    constexpr int kFramesBetweenBursts = 32;
    const size_t onsets_before = listener->Onsets().size();
    std::vector<double> pushed;
    int16_t silence[kFrameSamples] = {};
    int16_t tone[kFrameSamples];
    for (int i = 0; i < kFrameSamples; ++i)
        tone[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 1000 * i / 8000.0));
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < bursts * kFramesBetweenBursts + kFramesBetweenBursts / 2; ++f) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(60 * f));
        const bool burst = f % kFramesBetweenBursts == kFramesBetweenBursts / 2;
        const double at = WallSeconds();
        if (burst) run.queued.push_back(sound.buffer.FrameCount() - 1);  // the held frame is not waiting
        if (sound.Push(kFramePcm, burst ? tone : silence, sizeof(tone)) && burst) pushed.push_back(at);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    sound.player.Stop(kStopTimeoutMs);
    run.dropped = sound.player.FramesDroppedBehind();
    std::vector<double> onsets = listener->Onsets();
    onsets.erase(onsets.begin(), onsets.begin() + static_cast<ptrdiff_t>(onsets_before));
    size_t o = 0;
    for (size_t b = 0; b < pushed.size(); ++b) {
        while (o < onsets.size() && onsets[o] < pushed[b]) ++o;
        const double next = b + 1 < pushed.size() ? pushed[b + 1] : 1e300;
        if (o < onsets.size() && onsets[o] < next) run.delays_ms.push_back(1000 * (onsets[o] - pushed[b]));
    }
    return run;
}

int Latency(int bursts) {
    char scratch[] = "/tmp/sound_pipeline_XXXXXX";
    if (mkdtemp(scratch) == nullptr) return 1;
    int status = 0;
    {
        test::PulseServer server(std::string(scratch) + "/pulse");
        std::string why;
        if (!server.Start(&why)) {
            std::printf("latency: PulseAudio cannot start here: %s\n", why.c_str());
            status = 1;
        } else {
            int fd = -1;
            test::ChildProcess recorder;
            recorder.Start({"parec", "-d", "out.monitor", "--raw", "--format=s16le", "--rate=8000",
                            "--channels=1", "--latency-msec=10"},
                           "", "", &fd);
            OnsetListener listener(fd);
            std::printf(
                "latency: %d bursts per setting from Push into the audio buffer to the onset on the null "
                "sink's monitor (play buffer %u bytes = %u ms, %u-byte blocks)\n",
                bursts, kPlayBufferBytes, kPlayBufferBytes / 16, kPlayBlockBytes);
            // PULSE_LATENCY_MSEC is the server-side buffer every PulseAudio client (here ALSA's pulse
            // plugin under PortAudio) asks for; unset, the plugin's own choice stands.
            for (const char* setting : {"", "20", "60", "150"}) {
                if (*setting == 0) {
                    unsetenv("PULSE_LATENCY_MSEC");
                } else {
                    setenv("PULSE_LATENCY_MSEC", setting, 1);
                }
                BurstRun run = BurstDelays(bursts, &listener);
                std::vector<double>& delays = run.delays_ms;
                std::sort(delays.begin(), delays.end());
                std::sort(run.queued.begin(), run.queued.end());
                const char* name = *setting == 0 ? "default" : setting;
                if (delays.empty()) {
                    std::printf("  PULSE_LATENCY_MSEC=%-8s no burst was heard\n", name);
                    status = 1;
                    continue;
                }
                std::printf(
                    "  PULSE_LATENCY_MSEC=%-8s heard %zu/%d: median %.0f ms, best %.0f ms, worst %.0f ms; "
                    "60 ms frames waiting ahead: median %d, most %d; dropped as standing: %llu\n",
                    name, delays.size(), bursts, delays[delays.size() / 2], delays.front(), delays.back(),
                    run.queued[run.queued.size() / 2], run.queued.back(),
                    static_cast<unsigned long long>(run.dropped));
                std::fflush(stdout);
            }
            recorder.Stop();
        }
    }
    std::filesystem::remove_all(scratch);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "devices") return Devices();
    if (argc >= 3 && std::string(argv[1]) == "play") return Play(argv[2]);
    if (argc >= 2 && std::string(argv[1]) == "latency") return Latency(argc >= 3 ? std::atoi(argv[2]) : 8);
    if (argc >= 2) {
        std::fprintf(stderr, "usage: %s [devices | play FILE.wav | latency [BURSTS]]\n", argv[0]);
        return 2;
    }
    PlayerFigures(600);
    TalkFigures(600);
    return 0;
}

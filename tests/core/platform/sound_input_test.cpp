// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <portaudio.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/sound_input.h"
#include "platform/sound_input_backends.h"
#include "platform/sound_wav_file.h"

namespace corvel {
namespace {

constexpr SoundFormat kCapture{1, 1, 7900, 15800, 2, 16};
constexpr uint32_t kBufferBytes = 3840;
constexpr uint64_t kMs = 1000;

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("corvel_" + std::to_string(getpid()) + "_" + name))
        .string();
}

void WriteWav(const std::string& path, const SoundFormat& format, const std::vector<int16_t>& samples) {
    auto writer = WavFileWriter::Create(path, format);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Append(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2));
}

// A capture device on a manual clock with `count` buffers of 3840 bytes queued.
struct Capture {
    explicit Capture(const std::string& wav_path = "", size_t count = 2) : memory(count), headers(count) {
        NullInputOptions options;
        options.clock = clock;
        std::string error;
        input = wav_path.empty() ? OpenNullSoundInput(kCapture, &event, options)
                                 : OpenWavSoundInput(wav_path, kCapture, &event, options, &error);
        EXPECT_TRUE(input) << error;
        if (!input) return;
        for (size_t i = 0; i < count; ++i) {
            memory[i].fill(0x55);
            headers[i].data = reinterpret_cast<uint8_t*>(memory[i].data());
            headers[i].buffer_bytes = kBufferBytes;
            EXPECT_TRUE(input->PrepareHeader(&headers[i]));
            EXPECT_TRUE(input->AddBuffer(&headers[i]));
        }
    }
    ~Capture() {
        if (input) input->Reset();
    }
    void Advance(uint64_t us) { clock->Advance(us, 0); }

    std::shared_ptr<ManualSoundClock> clock = std::make_shared<ManualSoundClock>();
    Event event;
    std::vector<std::array<int16_t, kBufferBytes / 2>> memory;
    std::vector<SoundInputHeader> headers;
    std::unique_ptr<SoundInput> input;
};

TEST(SoundInputTest, BuffersCompleteInOrderEvery1920Samples) {
    Capture capture;
    capture.Advance(500 * kMs);
    EXPECT_FALSE(capture.headers[0].done()) << "nothing is captured before Start";
    ASSERT_TRUE(capture.input->Start());
    capture.Advance(243 * kMs);  // 1919.7 samples
    EXPECT_FALSE(capture.headers[0].done());
    EXPECT_FALSE(capture.event.Wait(0));
    capture.Advance(1 * kMs);
    ASSERT_TRUE(capture.headers[0].done());
    EXPECT_TRUE(capture.event.Wait(0));
    EXPECT_EQ(capture.headers[0].bytes_recorded.load(), kBufferBytes);
    for (int16_t sample : capture.memory[0]) ASSERT_EQ(sample, 0) << "the null microphone hears silence";
    EXPECT_FALSE(capture.headers[1].done());

    // A done buffer goes round again; a queued one cannot be queued twice or unprepared.
    SoundInputHeader& first = capture.headers[0];
    EXPECT_FALSE(capture.input->AddBuffer(&capture.headers[1]));
    EXPECT_FALSE(capture.input->UnprepareHeader(&capture.headers[1]));
    EXPECT_TRUE(capture.input->UnprepareHeader(&first));
    EXPECT_FALSE(capture.input->AddBuffer(&first)) << "not prepared";
    EXPECT_TRUE(capture.input->PrepareHeader(&first));
    EXPECT_TRUE(capture.input->AddBuffer(&first));
    EXPECT_FALSE(first.done());
    capture.Advance(487 * kMs);
    EXPECT_TRUE(capture.headers[1].done());
    EXPECT_TRUE(first.done());
}

TEST(SoundInputTest, StopReturnsThePartialBufferResetReturnsAllAndCloseWaitsForThem) {
    Capture capture("", 3);
    ASSERT_TRUE(capture.input->Start());
    capture.Advance(100 * kMs);
    capture.input->Stop();
    ASSERT_TRUE(capture.headers[0].done());
    EXPECT_EQ(capture.headers[0].bytes_recorded.load(), 1580u);  // 790 samples in 100 ms
    EXPECT_FALSE(capture.headers[1].done()) << "empty buffers stay queued on a stop";
    capture.Advance(1000 * kMs);
    EXPECT_FALSE(capture.headers[1].done()) << "a stopped device records nothing";
    EXPECT_FALSE(capture.input->Close()) << "buffers are still queued";
    capture.input->Reset();
    EXPECT_TRUE(capture.headers[1].done());
    EXPECT_TRUE(capture.headers[2].done());
    EXPECT_EQ(capture.headers[1].bytes_recorded.load(), 0u);
    EXPECT_TRUE(capture.input->Close());
    EXPECT_FALSE(capture.input->Start());
}

TEST(SoundInputTest, WavMicrophoneDeliversTheFileLoopedAndConverted) {
    std::vector<int16_t> ramp(3000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i * 10 - 15000);
    const std::string same_rate = TempPath("mic_7900.wav");
    WriteWav(same_rate, kCapture, ramp);
    {
        Capture capture(same_rate);
        ASSERT_TRUE(capture.input->Start());
        capture.Advance(487 * kMs);  // 3847 samples
        ASSERT_TRUE(capture.headers[1].done());
        for (size_t i = 0; i < 3840; ++i) {
            const int16_t got = capture.memory[i / 1920][i % 1920];
            ASSERT_EQ(got, ramp[i % ramp.size()]) << "sample " << i;
        }
    }
    // Twice the rate, in stereo: every other frame, left and right averaged.
    std::vector<int16_t> stereo(2 * 8000);
    for (size_t f = 0; f < 8000; ++f) {
        stereo[2 * f] = static_cast<int16_t>(f);
        stereo[2 * f + 1] = static_cast<int16_t>(f + 100);
    }
    const std::string double_rate = TempPath("mic_15800.wav");
    WriteWav(double_rate, SoundFormat{1, 2, 15800, 63200, 4, 16}, stereo);
    {
        Capture capture(double_rate, 1);
        ASSERT_TRUE(capture.input->Start());
        capture.Advance(244 * kMs);
        ASSERT_TRUE(capture.headers[0].done());
        for (size_t i = 0; i < 1920; ++i)
            ASSERT_EQ(capture.memory[0][i], static_cast<int16_t>(2 * i + 50)) << i;
    }
    std::filesystem::remove(same_rate);
    std::filesystem::remove(double_rate);
}

TEST(SoundInputTest, BadMicrophoneFilesAreRefusedWithAReason) {
    Event event;
    std::string error;
    EXPECT_FALSE(OpenWavSoundInput(TempPath("missing.wav"), kCapture, &event, {}, &error));
    EXPECT_FALSE(error.empty());

    const std::string garbage = TempPath("garbage.wav");
    std::ofstream(garbage) << "RIFF\x10\0\0\0WAVEfmt \xff\xff\xff\xff";
    error.clear();
    EXPECT_FALSE(OpenWavSoundInput(garbage, kCapture, &event, {}, &error));
    EXPECT_FALSE(error.empty());

    const std::string empty = TempPath("empty.wav");
    WriteWav(empty, kCapture, {});
    EXPECT_FALSE(OpenWavSoundInput(empty, kCapture, &event, {}, &error));
    EXPECT_EQ(error, "the file holds no samples");

    // A data chunk that claims more than the file holds keeps what is there.
    const std::string cut = TempPath("cut.wav");
    WriteWav(cut, kCapture, std::vector<int16_t>(100, 7));
    std::filesystem::resize_file(cut, 44 + 51);
    WavFileData data;
    ASSERT_TRUE(ReadWavFile(cut, &data, &error));
    EXPECT_EQ(data.samples.size(), 25u);
    for (const auto& path : {garbage, empty, cut}) std::filesystem::remove(path);

    SoundFormat eight_bit{1, 1, 8000, 8000, 1, 8};
    EXPECT_FALSE(OpenNullSoundInput(eight_bit, &event, {}));
}

TEST(SoundInputTest, RealTimeNullMicrophoneCompletesABufferAfter243Ms) {
    Event event;
    auto input = OpenNullSoundInput(kCapture, &event, {});
    ASSERT_TRUE(input);
    std::array<uint8_t, kBufferBytes> memory{};
    SoundInputHeader header;
    header.data = memory.data();
    header.buffer_bytes = kBufferBytes;
    ASSERT_TRUE(input->PrepareHeader(&header));
    ASSERT_TRUE(input->AddBuffer(&header));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(input->Start());
    ASSERT_TRUE(event.Wait(5000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(240));
    EXPECT_TRUE(header.done());
    EXPECT_EQ(header.bytes_recorded.load(), kBufferBytes);
    input->Reset();
    EXPECT_TRUE(input->Close());
}

TEST(SoundInputTest, ChoiceAndPortAudioFailCleanly) {
    Event event;
    EXPECT_TRUE(SoundInputChoice("null").Open(kCapture, &event));
    SoundInputChoice unknown("microphone");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(unknown.Open(kCapture, &event));
    EXPECT_FALSE(unknown.Open(kCapture, &event));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("microphone"), std::string::npos);
    EXPECT_EQ(said.find("microphone"), said.rfind("microphone"));

    ASSERT_EQ(Pa_Initialize(), paNoError);
    const bool has_input = Pa_GetDefaultInputDevice() != paNoDevice;
    Pa_Terminate();
    if (!has_input) {
        EXPECT_FALSE(OpenPortAudioInput(kCapture, &event));
        EXPECT_TRUE(SoundInputChoice("auto").Open(kCapture, &event)) << "auto falls back to null";
    }
}

}  // namespace
}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <portaudio.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/sound_output.h"
#include "platform/sound_output_backends.h"
#include "platform/sound_wav_file.h"
#include "wav_bytes.h"

namespace corvel {
namespace {

constexpr uint32_t kSize = 16384;
constexpr uint64_t kMs = 1000;

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("corvel_" + std::to_string(getpid()) + "_" + name))
        .string();
}

struct ClockedOutput {
    explicit ClockedOutput(const std::string& wav_path = "",
                           std::shared_ptr<NullOutputFaults> faults = nullptr) {
        NullOutputOptions options;
        options.clock = clock;
        options.faults = std::move(faults);
        device = wav_path.empty() ? OpenNullSoundOutput(options) : OpenWavSoundOutput(wav_path, options);
        if (device && device->SetFormat(kPlayFormat)) buffer = device->CreateBuffer(kPlayFormat, kSize);
        uint32_t positions[16];
        for (uint32_t k = 0; k < 16; ++k) positions[k] = 512 + 1024 * k;
        if (buffer) buffer->SetNotificationPositions(positions, &event);
    }
    // Nobody answers the notifications here, so the clock must not wait for it.
    void Advance(uint64_t us) { clock->Advance(us, 0); }
    uint32_t Play() {
        uint32_t play = 0;
        EXPECT_TRUE(buffer->GetCurrentPosition(&play, nullptr));
        return play;
    }
    void Write(uint32_t offset, const std::vector<uint8_t>& bytes) {
        SoundLockedRange range;
        ASSERT_EQ(buffer->Lock(offset, static_cast<uint32_t>(bytes.size()), &range), SoundResult::kOk);
        std::memcpy(range.first, bytes.data(), range.first_bytes);
        if (range.second_bytes > 0)
            std::memcpy(range.second, bytes.data() + range.first_bytes, range.second_bytes);
        ASSERT_EQ(buffer->Unlock(range), SoundResult::kOk);
    }

    std::shared_ptr<ManualSoundClock> clock = std::make_shared<ManualSoundClock>();
    Event event;
    std::unique_ptr<SoundOutputDevice> device;
    std::unique_ptr<SoundOutputBuffer> buffer;
};

std::vector<uint8_t> Pattern(size_t bytes, uint8_t seed) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return out;
}

using test::WavBytes;

TEST(SoundOutputTest, CursorMovesAtTheByteRateAndEveryBlockNotifiesOnce) {
    ClockedOutput out;
    ASSERT_TRUE(out.buffer);
    out.Advance(500 * kMs);
    EXPECT_EQ(out.Play(), 0u) << "a stopped buffer does not move";
    EXPECT_FALSE(out.event.Wait(0));

    ASSERT_TRUE(out.buffer->Play(true));
    for (int block = 0; block < 40; ++block) {  // 2.5 turns of the buffer, 64 ms per block
        out.Advance(64 * kMs);
        EXPECT_TRUE(out.event.Wait(0)) << "block " << block;
        EXPECT_EQ(out.Play(), (block + 1) * 1024u % kSize);
    }
    out.Advance(20 * kMs);  // 320 bytes: no position in [0, 320)
    EXPECT_FALSE(out.event.Wait(0));
    uint32_t play = 0, write = 0;
    ASSERT_TRUE(out.buffer->GetCurrentPosition(&play, &write));
    EXPECT_EQ(play, 40u * 1024 % kSize + 320);
    EXPECT_EQ(write, play + 160) << "the write cursor leads by one 10 ms device step";

    ASSERT_TRUE(out.buffer->SetCurrentPosition(15000));
    out.Advance(100 * kMs);
    EXPECT_EQ(out.Play(), (15000u + 1600) % kSize);
    EXPECT_TRUE(out.event.Wait(0));
}

TEST(SoundOutputTest, PlayingOnceStopsAtTheEnd) {
    ClockedOutput out;
    ASSERT_TRUE(out.buffer->SetCurrentPosition(16000));
    ASSERT_TRUE(out.buffer->Play(false));
    out.Advance(100 * kMs);
    EXPECT_EQ(out.Play(), 0u);
    out.Advance(100 * kMs);
    EXPECT_EQ(out.Play(), 0u);
}

TEST(SoundOutputTest, LockSplitsAtTheEndAndRejectsRangesOutside) {
    ClockedOutput out;
    SoundLockedRange range;
    ASSERT_EQ(out.buffer->Lock(16000, 1024, &range), SoundResult::kOk);
    EXPECT_EQ(range.first_bytes, 384u);
    EXPECT_EQ(range.second_bytes, 640u);
    EXPECT_EQ(range.second + 16000, range.first);
    ASSERT_EQ(out.buffer->Lock(1024, 1024, &range), SoundResult::kOk);
    EXPECT_EQ(range.second_bytes, 0u);
    EXPECT_EQ(out.buffer->Lock(kSize, 2, &range), SoundResult::kFailed);
    EXPECT_EQ(out.buffer->Lock(0, kSize + 2, &range), SoundResult::kFailed);
    SoundLockedRange foreign{range.first + kSize, 2, nullptr, 0};
    EXPECT_EQ(out.buffer->Unlock(foreign), SoundResult::kFailed);
    EXPECT_FALSE(out.buffer->SetCurrentPosition(kSize));
    const uint32_t too_many[65] = {};
    EXPECT_FALSE(out.buffer->SetNotificationPositions(too_many, &out.event));
    const uint32_t outside[1] = {kSize};
    EXPECT_FALSE(out.buffer->SetNotificationPositions(outside, &out.event));
}

TEST(SoundOutputTest, WavFileGetsExactlyWhatWasPlayedAndOnlyUnlockedBytes) {
    const std::string path = TempPath("played.wav");
    const std::vector<uint8_t> pattern = Pattern(kSize, 3);
    {
        ClockedOutput out(path);
        ASSERT_TRUE(out.buffer);
        out.Write(15360, std::vector<uint8_t>(pattern.begin() + 15360, pattern.end()));
        out.Write(0, std::vector<uint8_t>(pattern.begin(), pattern.begin() + 15360));
        // Bytes written into the locked memory reach the device only with their unlock.
        SoundLockedRange range;
        ASSERT_EQ(out.buffer->Lock(0, 1024, &range), SoundResult::kOk);
        std::memset(range.first, 0xEE, 1024);
        out.Advance(300 * kMs);  // not playing: nothing goes to the file
        ASSERT_TRUE(out.buffer->Play(true));
        out.Advance(1024 * kMs + 512 * kMs);  // one turn and a half
    }
    const std::vector<uint8_t> written = WavBytes(path);
    ASSERT_EQ(written.size(), kSize + kSize / 2);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), written.begin()));
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.begin() + kSize / 2, written.begin() + kSize));
    std::filesystem::remove(path);
}

TEST(SoundOutputTest, LostBufferRefusesUntilRestoredThenKeepsItsPlace) {
    auto faults = std::make_shared<NullOutputFaults>();
    ClockedOutput out("", faults);
    ASSERT_TRUE(out.buffer->Play(true));
    out.Advance(64 * kMs);
    ASSERT_EQ(out.Play(), 1024u);
    faults->losses_pending = 1;
    faults->restores_to_refuse = 1;
    out.Advance(64 * kMs);
    SoundLockedRange range;
    EXPECT_EQ(out.buffer->Lock(0, 1024, &range), SoundResult::kBufferLost);
    EXPECT_FALSE(out.buffer->GetCurrentPosition(nullptr, nullptr));
    EXPECT_FALSE(out.buffer->Play(true));
    EXPECT_EQ(out.buffer->Restore(), SoundResult::kBufferLost) << "the first restore is refused";
    EXPECT_EQ(out.buffer->Restore(), SoundResult::kOk);
    EXPECT_EQ(faults->restores_done.load(), 1u);
    EXPECT_EQ(out.Play(), 1024u) << "no time played while lost";
    out.Advance(64 * kMs);
    EXPECT_EQ(out.Play(), 2048u) << "still playing after the restore";
    EXPECT_EQ(out.buffer->Lock(0, 1024, &range), SoundResult::kOk);
}

TEST(SoundOutputTest, RealTimeNullClockPlaysAtSixteenThousandBytesPerSecond) {
    Event event;  // outlives the buffer, whose clock thread sets it
    auto device = OpenNullSoundOutput({});
    ASSERT_TRUE(device);
    auto buffer = device->CreateBuffer(kPlayFormat, kSize);
    const uint32_t positions[1] = {8000};
    ASSERT_TRUE(buffer->SetNotificationPositions(positions, &event));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(buffer->Play(true));
    ASSERT_TRUE(event.Wait(5000));
    const auto waited = std::chrono::steady_clock::now() - start;
    // The position 8000 lies 500 ms of device time away; the clock never runs ahead of real time.
    EXPECT_GE(waited, std::chrono::milliseconds(480));
}

TEST(SoundOutputTest, DevicesRefuseWhatTheyCannotPlay) {
    NullOutputOptions refusing;
    refusing.refuse_format = true;
    auto device = OpenNullSoundOutput(refusing);
    EXPECT_FALSE(device->SetFormat(kPlayFormat));
    EXPECT_FALSE(device->CreateBuffer(kPlayFormat, kSize));
    auto null_device = OpenNullSoundOutput({});
    SoundFormat eight_bit{1, 1, 8000, 8000, 1, 8};
    EXPECT_FALSE(null_device->SetFormat(eight_bit));
    EXPECT_FALSE(null_device->CreateBuffer(kPlayFormat, 0));
    EXPECT_FALSE(null_device->CreateBuffer(kPlayFormat, 1 << 20));
    EXPECT_FALSE(OpenWavSoundOutput(TempPath("no_such_dir") + "/x.wav", {}));
}

TEST(SoundOutputTest, ChoiceOpensTheNamedBackendAndTellsOnceAboutUnknownNames) {
    EXPECT_TRUE(SoundOutputChoice("null").Open());
    const std::string path = TempPath("choice.wav");
    EXPECT_TRUE(SoundOutputChoice("wav:" + path).Open());
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);

    SoundOutputChoice unknown("speakers");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(unknown.Open());
    EXPECT_FALSE(unknown.Open());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("speakers"), std::string::npos);
    EXPECT_EQ(said.find("speakers"), said.rfind("speakers")) << said;
    EXPECT_EQ(SoundOutputChoice("").name(), "auto");
}

// A name chooses a backend only as a whole: "NAME", or "NAME:ARGUMENT" for one that takes an argument.
TEST(SoundOutputTest, ChoiceTakesOnlyWholeBackendNames) {
    for (const char* name : {"nullx", "null:", "portaudio:x", "wav", "wavy:/tmp/x.wav", "NULL"}) {
        SoundOutputChoice choice(name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(choice.Open()) << name;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("unknown sound output backend"),
                  std::string::npos)
            << name;
    }
}

// The machine running the tests may or may not have a sound card: either way the real backend answers
// consistently, and without one "auto" falls back to null, telling it once.
TEST(SoundOutputTest, PortAudioFailsCleanlyWithoutADeviceAndAutoFallsBack) {
    ASSERT_EQ(Pa_Initialize(), paNoError);
    const bool has_output = Pa_GetDefaultOutputDevice() != paNoDevice;
    Pa_Terminate();
    auto device = OpenPortAudioOutput();
    if (!has_output) {
        EXPECT_FALSE(device);
        SoundOutputChoice automatic("auto");
        testing::internal::CaptureStderr();
        EXPECT_TRUE(automatic.Open());
        EXPECT_TRUE(automatic.Open());
        const std::string said = testing::internal::GetCapturedStderr();
        const size_t first = said.find("null device");
        EXPECT_NE(first, std::string::npos);
        EXPECT_EQ(first, said.rfind("null device"));
    } else if (device) {
        auto buffer = device->CreateBuffer(kPlayFormat, kSize);
        EXPECT_TRUE(buffer);
    }
}

}  // namespace
}  // namespace corvel

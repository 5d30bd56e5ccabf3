// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/talk_audio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <filesystem>

#include "audio_test_support.h"
#include "platform/sound_input_backends.h"

namespace corvel {
namespace {

using test::TempPath;
using test::WaitUntil;

constexpr uint64_t kMs = 1000;

// Opens the wav microphone on the test's clock and remembers the device it made.
class TestMicrophone final : public SoundInputOpener {
  public:
    TestMicrophone(std::string path, std::shared_ptr<ManualSoundClock> clock)
        : path_(std::move(path)), clock_(std::move(clock)) {}
    std::unique_ptr<SoundInput> Open(const SoundFormat& format, Event* done_event) override {
        ++opens;
        if (refuse) return nullptr;
        NullInputOptions options;
        options.clock = clock_;
        std::string error;
        auto input = OpenWavSoundInput(path_, format, done_event, options, &error);
        EXPECT_TRUE(input) << error;
        device = input.get();
        return input;
    }
    std::atomic<SoundInput*> device{nullptr};
    std::atomic<int> opens{0};
    bool refuse = false;

  private:
    std::string path_;
    std::shared_ptr<ManualSoundClock> clock_;
};

struct TalkBuffer {
    TalkBuffer() {
        buffer.maximum_frame_count = kAudioMaximumFrameCount;
        EXPECT_TRUE(buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
    }
    // Every frame waiting now, as (bytes, time).
    std::vector<std::pair<std::vector<uint8_t>, uint32_t>> Take() {
        std::vector<std::pair<std::vector<uint8_t>, uint32_t>> out;
        FrameRecord frame;
        while (buffer.Pop(&frame))
            out.push_back({std::vector<uint8_t>(frame.data, frame.data + frame.size), frame.time});
        return out;
    }
    CABuffer2 buffer;
};

// A microphone that hears a voice-like signal at 7900 samples/s, two talk buffers and the capture.
struct Talk {
    Talk() : voice(test::VoiceLike(7900 * 4, 7900)) {
        auto writer = WavFileWriter::Create(path, kTalkCaptureFormat);
        EXPECT_TRUE(writer &&
                    writer->Append(reinterpret_cast<const uint8_t*>(voice.data()), voice.size() * 2));
    }
    ~Talk() {
        capture.Stop(kStopTimeoutMs);
        std::filesystem::remove(path);
    }
    bool Register(TalkBuffer& talk) {
        if (!capture.RegisterTalkBuffer(&talk.buffer)) return false;
        // Time moves only once the capture thread records.
        return WaitUntil([this] {
            SoundInput* device = microphone.device.load();
            return device != nullptr && device->IsRecording();
        });
    }
    // Records for ms milliseconds and waits until every completed block has been handed out.
    void Record(uint64_t ms) { EXPECT_TRUE(clock->Advance(ms * kMs)); }

    static inline int serial = 0;
    std::shared_ptr<ManualSoundClock> clock = std::make_shared<ManualSoundClock>();
    std::string path = TempPath("voice_" + std::to_string(++serial) + ".wav");
    std::vector<int16_t> voice;
    TestMicrophone microphone{path, clock};
    CMyTalkAudio capture{&microphone};
};

TEST(TalkAudioTest, EveryTalkingChannelGetsTheSameFramesWithTheSameTime) {
    TalkBuffer a, b;  // outlive the capture that feeds them
    Talk talk;
    const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_TRUE(talk.Register(a));
    ASSERT_TRUE(talk.capture.RegisterTalkBuffer(&b.buffer));
    EXPECT_EQ(talk.microphone.opens.load(), 1) << "one capture however many channels talk";
    talk.Record(1000);  // 7900 samples: four whole blocks of 1920
    const auto frames_a = a.Take();
    const auto frames_b = b.Take();
    const uint32_t after = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_EQ(frames_a.size(), 4u);
    ASSERT_EQ(frames_b.size(), 4u);
    for (size_t i = 0; i < frames_a.size(); ++i) {
        const auto& [bytes, time] = frames_a[i];
        ASSERT_EQ(bytes.size(), kTalkFrameBytes);
        EXPECT_EQ(bytes, frames_b[i].first);
        EXPECT_EQ(time, frames_b[i].second);
        EXPECT_GE(time, before);
        EXPECT_LE(time, after);
        // The transfer's gaps come zeroed; the halves carry codes.
        for (uint32_t at : {0u, 39u, 520u, 535u, 1016u, 1031u}) EXPECT_EQ(bytes[at], 0) << at;
        EXPECT_NE(std::count(bytes.begin() + 40, bytes.begin() + 520, 0), 480);
    }
}

// The capture runs at 7900 samples/s and goes out as 8000 samples/s G.726: decoding the frames back gives
// the samples the microphone heard, one for one.
TEST(TalkAudioTest, EncodedFramesDecodeBackToTheMicrophoneAbove20Db) {
    TalkBuffer a;  // outlive the capture that feeds them
    Talk talk;
    ASSERT_TRUE(talk.Register(a));
    talk.Record(2000);
    const auto frames = a.Take();
    ASSERT_EQ(frames.size(), 8u);
    AudioCodecState decoder;
    double signal = 0;
    double noise = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        std::vector<uint8_t> codes(frames[f].first.begin() + 40, frames[f].first.begin() + 520);
        codes.insert(codes.end(), frames[f].first.begin() + 536, frames[f].first.begin() + 1016);
        std::vector<int16_t> pcm(kTalkSamplesPerFrame);
        int32_t produced = kTalkSamplesPerFrame * 2;
        decoder.bits_left = 0;
        ASSERT_EQ(DecodeAudio(kFrameG726 + 2, 960, &decoder, reinterpret_cast<uint8_t*>(pcm.data()),
                              &produced, codes.data(), 0),
                  960);
        ASSERT_EQ(produced, kTalkSamplesPerFrame * 2);
        for (int32_t i = 0; i < kTalkSamplesPerFrame; ++i) {
            const double heard = talk.voice[f * kTalkSamplesPerFrame + i];
            signal += heard * heard;
            noise += (heard - pcm[i]) * (heard - pcm[i]);
        }
    }
    const double snr_db = 10 * std::log10(signal / std::max(noise, 1.0));
    EXPECT_GT(snr_db, 20.0);
}

TEST(TalkAudioTest, APartialBlockIsDroppedAndItsBufferQueuedAgain) {
    TalkBuffer a;  // outlive the capture that feeds them
    Talk talk;
    ASSERT_TRUE(talk.Register(a));
    talk.Record(100);
    // Someone stops the device under the capture: the block being filled comes back with 790 samples.
    SoundInput* device = talk.microphone.device.load();
    device->Stop();
    talk.Record(0);  // the capture thread has handled and re-queued it
    EXPECT_TRUE(a.Take().empty()) << "a partial block is not encoded";
    ASSERT_TRUE(device->Start());
    talk.Record(1000);
    EXPECT_EQ(a.Take().size(), 4u) << "capture goes on into the re-queued buffers";
}

TEST(TalkAudioTest, UnregisteringOneKeepsCapturingForTheOtherAndTheLastStopsIt) {
    TalkBuffer a, b;  // outlive the capture that feeds them
    Talk talk;
    ASSERT_TRUE(talk.Register(a));
    ASSERT_TRUE(talk.capture.RegisterTalkBuffer(&b.buffer));
    talk.Record(500);
    EXPECT_EQ(a.Take().size(), 2u);
    EXPECT_EQ(b.Take().size(), 2u);

    const auto first = talk.capture.UnregisterTalkBuffer(&a.buffer);
    EXPECT_TRUE(first.removed);
    EXPECT_FALSE(first.now_empty);
    EXPECT_FALSE(talk.capture.UnregisterTalkBuffer(&a.buffer).removed);
    talk.Record(500);
    EXPECT_TRUE(a.Take().empty());
    EXPECT_EQ(b.Take().size(), 2u);
    EXPECT_TRUE(talk.capture.HasThread());

    const auto last = talk.capture.UnregisterTalkBuffer(&b.buffer);
    EXPECT_TRUE(last.removed);
    EXPECT_TRUE(last.now_empty);
    talk.capture.Stop(kStopTimeoutMs);
    EXPECT_FALSE(talk.capture.HasThread());
    EXPECT_FALSE(talk.capture.IsDeviceOpen());

    // Talking again opens the device afresh.
    ASSERT_TRUE(talk.Register(a));
    EXPECT_EQ(talk.microphone.opens.load(), 2);
    talk.Record(250);
    EXPECT_EQ(a.Take().size(), 1u);
}

TEST(TalkAudioTest, AFullTalkBufferMissesFramesTheOthersStillGet) {
    TalkBuffer stalled, flowing;  // outlive the capture that feeds them
    Talk talk;
    ASSERT_TRUE(talk.Register(stalled));
    ASSERT_TRUE(talk.capture.RegisterTalkBuffer(&flowing.buffer));
    size_t flowed = 0;
    for (int i = 0; i < 12; ++i) {
        talk.Record(244);
        flowed += flowing.Take().size();
    }
    EXPECT_EQ(flowed, 12u);
    EXPECT_EQ(stalled.Take().size(), 8u) << "at most 8 frames wait; the later ones were refused";
}

TEST(TalkAudioTest, NoMicrophoneUndoesTheRegistration) {
    TalkBuffer a;  // outlive the capture that feeds them
    Talk talk;
    talk.microphone.refuse = true;
    EXPECT_FALSE(talk.capture.RegisterTalkBuffer(&a.buffer));
    EXPECT_EQ(talk.capture.RegistrationCount(), 0u);
    EXPECT_FALSE(talk.capture.HasThread());

    CABuffer2 never_initialised;
    talk.microphone.refuse = false;
    EXPECT_FALSE(talk.capture.RegisterTalkBuffer(&never_initialised));
    EXPECT_EQ(talk.capture.RegistrationCount(), 0u);
}

}  // namespace
}  // namespace corvel

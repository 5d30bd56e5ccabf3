// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_ctx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "audio_test_support.h"
#include "platform/sound_output_backends.h"

namespace corvel {
namespace {

using test::TempPath;
using test::WaitUntil;
using test::WavBytes;

constexpr uint64_t kBlockUs = 64000;  // one 1024-byte block at 16000 bytes/s

// Opens null or wav devices on the test's clock and remembers the play buffer the player makes.
class TestOpener final : public SoundOutputOpener {
  public:
    TestOpener(std::string wav_path, NullOutputOptions options)
        : wav_path_(std::move(wav_path)), options_(options) {}

    std::unique_ptr<SoundOutputDevice> Open() override {
        ++opens;
        auto inner =
            wav_path_.empty() ? OpenNullSoundOutput(options_) : OpenWavSoundOutput(wav_path_, options_);
        if (!inner) return nullptr;
        return std::make_unique<Device>(std::move(inner), &buffer);
    }

    std::atomic<SoundOutputBuffer*> buffer{nullptr};
    std::atomic<int> opens{0};

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

    std::string wav_path_;
    NullOutputOptions options_;
};

class TestVideo final : public AudioVideoLink {
  public:
    uint32_t VideoPictureTime() const override { return picture_time.load(); }
    void AdjustVideoDue(int32_t delta_ms) override {
        moved_ms.fetch_add(delta_ms);
        adjustments.fetch_add(1);
    }
    std::atomic<uint32_t> picture_time{0};
    std::atomic<int32_t> moved_ms{0};
    std::atomic<int32_t> adjustments{0};
};

// One channel's audio path: its buffer, the player and a wav device on a manual clock.
struct Player {
    explicit Player(NullOutputOptions options = {}, bool wav = true)
        : path(wav ? TempPath("player_" + std::to_string(++serial) + ".wav") : ""),
          opener(path, WithClock(options, clock)) {
        EXPECT_TRUE(buffer.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
        buffer.maximum_frame_count = kAudioMaximumFrameCount;
        buffer.GetWritePos(&cursor);
        ctx.Attach(&buffer, &video, &opener);
    }
    ~Player() {
        ctx.Stop(kStopTimeoutMs);
        if (!path.empty()) std::filesystem::remove(path);
    }
    static NullOutputOptions WithClock(NullOutputOptions options, std::shared_ptr<ManualSoundClock> clock) {
        options.clock = std::move(clock);
        return options;
    }

    bool Push(uint32_t type, const std::vector<uint8_t>& bytes, uint32_t time = 0) {
        std::memcpy(cursor.data, bytes.data(), bytes.size());
        cursor.size = static_cast<uint32_t>(bytes.size());
        cursor.type = type;
        cursor.time = time;
        const bool stored = buffer.Push(&cursor);
        pushed += stored ? 1 : 0;
        return stored;
    }
    // Starts the thread and waits until the play buffer plays (its first block is written by then).
    void StartPlaying() {
        ASSERT_TRUE(ctx.Start());
        ASSERT_TRUE(WaitUntil([this] {
            SoundOutputBuffer* b = opener.buffer.load();
            return b != nullptr && b->IsPlaying();
        }));
    }
    // Plays `blocks` blocks and waits until the player has answered the notification. More than one block
    // at once is a device running ahead: its notifications merge into one and the writer falls behind.
    void Step(uint32_t blocks = 1) {
        EXPECT_TRUE(clock->Advance(kBlockUs * blocks));
        played_bytes += 1024u * blocks;
    }
    // Frames the player has taken out of the buffer (the one it holds included).
    int Popped() { return pushed - (buffer.FrameCount() - 1); }
    std::vector<uint8_t> Finish() {
        ctx.Stop(kStopTimeoutMs);
        return WavBytes(path);
    }

    static inline int serial = 0;
    std::shared_ptr<ManualSoundClock> clock = std::make_shared<ManualSoundClock>();
    std::string path;
    TestOpener opener;
    TestVideo video;
    CABuffer2 buffer;
    FrameRecord cursor;
    int pushed = 0;
    uint64_t played_bytes = 0;
    CAudioCtx ctx;
};

// The PCM that the codec gives for a sequence of frames decoded as one stream, each frame from its start.
std::vector<uint8_t> Decoded(const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& frames) {
    AudioCodecState state;
    std::vector<uint8_t> out;
    for (const auto& [type, bytes] : frames) {
        std::vector<uint8_t> pcm(bytes.size() * 16);
        int32_t produced = static_cast<int32_t>(pcm.size());
        state.bits_left = 0;
        DecodeAudio(type, static_cast<int32_t>(bytes.size()), &state, pcm.data(), &produced, bytes.data(), 0);
        out.insert(out.end(), pcm.begin(), pcm.begin() + produced);
    }
    return out;
}

std::vector<uint8_t> G726Frame(int32_t rate_index, size_t first_sample, AudioCodecState* encoder) {
    const std::vector<int16_t> voice = test::VoiceLike(first_sample + kTalkSamplesPerFrame, 8000);
    std::vector<uint8_t> out(kTalkSamplesPerFrame * 2);
    if (encoder->rate_index != rate_index) encoder->Reset(rate_index);
    EncodeG726(voice.data() + first_sample, out.data(), encoder);
    out.resize(static_cast<size_t>(encoder->produced));
    return out;
}

std::vector<uint8_t> Bytes(size_t count, uint8_t seed) {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(seed + 3 * i + (i >> 9));
    return out;
}

// The played output must be the groups' PCM in order: the first from the start, each later one from a
// block boundary, and between them (and after the last) only the fill byte, which is the byte that ended
// the block before the one where the gap began.
void ExpectGroupsWithFill(const std::vector<uint8_t>& out, const std::vector<std::vector<uint8_t>>& groups) {
    size_t pos = 0;
    auto fill_at = [&out](size_t gap_start) -> uint8_t {
        const size_t block_start = gap_start / 1024 * 1024;
        return block_start == 0 ? 0 : out[block_start - 1];
    };
    for (size_t g = 0; g < groups.size(); ++g) {
        const std::vector<uint8_t>& pcm = groups[g];
        size_t start = pos;
        if (g > 0) {
            start = (pos + 1023) / 1024 * 1024;
            while (start + pcm.size() <= out.size() &&
                   !std::equal(pcm.begin(), pcm.end(), out.begin() + start)) {
                start += 1024;
            }
            ASSERT_LE(start + pcm.size(), out.size()) << "group " << g << " never played";
            const uint8_t fill = fill_at(pos);
            for (size_t i = pos; i < start; ++i)
                ASSERT_EQ(out[i], fill) << "gap byte " << i << " before group " << g;
        }
        ASSERT_LE(start + pcm.size(), out.size());
        for (size_t i = 0; i < pcm.size(); ++i)
            ASSERT_EQ(out[start + i], pcm[i]) << "group " << g << " byte " << i;
        pos = start + pcm.size();
    }
    const uint8_t fill = fill_at(pos);
    for (size_t i = pos; i < out.size(); ++i) ASSERT_EQ(out[i], fill) << "trailing byte " << i;
}

TEST(AudioCtxTest, FramesPlayAsTheirDecodedPcmWithTheFillByteWhereNoneWaited) {
    Player player;
    AudioCodecState encoder;
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> first = {
        {kFramePcm, Bytes(1000, 1)}, {kFrameUlaw, Bytes(300, 2)}, {kFrameAlaw, Bytes(200, 3)}};
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> second = {
        {kFrameG726 + 2, G726Frame(2, 0, &encoder)}};
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> third = {{kFramePcm, Bytes(2048, 4)},
                                                                          {0x55, Bytes(700, 5)}};
    for (const auto& [type, bytes] : first) ASSERT_TRUE(player.Push(type, bytes));
    player.StartPlaying();
    for (int i = 0; i < 3; ++i) player.Step();
    for (const auto& [type, bytes] : second) ASSERT_TRUE(player.Push(type, bytes));
    for (int i = 0; i < 7; ++i) player.Step();
    for (const auto& [type, bytes] : third) ASSERT_TRUE(player.Push(type, bytes));
    for (int i = 0; i < 6; ++i) player.Step();
    const std::vector<uint8_t> out = player.Finish();
    ASSERT_EQ(out.size(), player.played_bytes);
    // An unknown type plays as fill and swallows its frame, so it belongs to the gap after the PCM.
    ExpectGroupsWithFill(out, {Decoded(first), Decoded(second), Decoded({third[0]})});
}

TEST(AudioCtxTest, G726FramesContinueAcrossBlocksAndARateChangeResetsTheCoder) {
    Player player;
    AudioCodecState encoder;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> frames;
    frames.push_back({kFrameG726 + 2, G726Frame(2, 0, &encoder)});
    frames.push_back({kFrameG726 + 2, G726Frame(2, 1920, &encoder)});
    frames.push_back({kFrameG726 + 0, G726Frame(0, 3840, &encoder)});
    ASSERT_EQ(frames[0].second.size(), 960u);
    ASSERT_EQ(frames[2].second.size(), 480u);
    for (const auto& [type, bytes] : frames) ASSERT_TRUE(player.Push(type, bytes));
    player.StartPlaying();
    for (int i = 0; i < 14; ++i) player.Step();
    const std::vector<uint8_t> out = player.Finish();
    const std::vector<uint8_t> expected = Decoded(frames);
    ASSERT_EQ(expected.size(), 3u * 3840);
    ExpectGroupsWithFill(out, {expected});
    // The 16 kbit/s frame decodes as from a fresh coder, not from the state the 32 kbit/s frames left.
    const std::vector<uint8_t> fresh = Decoded({frames[2]});
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), out.begin() + 2 * 3840));
}

// A 960-byte frame of 32 kbit/s G.726 is 1920 samples, 3.75 blocks: it is decoded in four steps, and
// every step nudges the video while picture and sound are 2 to 5 s apart.
TEST(AudioCtxTest, EveryDecodingStepNudgesTheVideoWhenTwoToFiveSecondsApart) {
    const struct {
        int32_t video_minus_audio_s;
        int32_t moved_ms;
    } cases[] = {{-3, -60}, {3, 60}, {-2, -40}, {5, 100}, {-5, -100},
                 {-1, 0},   {1, 0},  {0, 0},    {6, 0},   {-6, 0}};
    for (const auto& c : cases) {
        Player player;
        AudioCodecState encoder;
        const uint32_t audio_time = 1700000000;
        player.video.picture_time = audio_time + c.video_minus_audio_s;
        ASSERT_TRUE(player.Push(kFrameG726 + 2, G726Frame(2, 0, &encoder), audio_time));
        player.StartPlaying();
        for (int i = 0; i < 3; ++i) player.Step();
        player.Finish();
        EXPECT_EQ(player.video.moved_ms.load(), c.moved_ms) << "difference " << c.video_minus_audio_s << " s";
        EXPECT_EQ(player.video.adjustments.load(), c.moved_ms == 0 ? 0 : 4);
    }
}

TEST(AudioCtxTest, WriterKeepsPaceWithTheNotificationsForAMinute) {
    Player player;
    uint32_t next_frame = 0;
    std::vector<uint8_t> all;
    // A live stream: the frames arrive as the device plays them, with one waiting ahead (a stream that
    // keeps more waiting has it dropped).
    auto top_up = [&](int waiting) {
        while (player.buffer.FrameCount() - 1 < waiting) {
            const std::vector<uint8_t> frame = Bytes(1024, static_cast<uint8_t>(next_frame * 11));
            ASSERT_TRUE(player.Push(kFramePcm, frame));
            all.insert(all.end(), frame.begin(), frame.end());
            ++next_frame;
        }
    };
    top_up(kPlayLeadBlocks + 1);
    player.StartPlaying();
    int lowest_lead = 1 << 30;
    int highest_lead = -(1 << 30);
    const int steps = 60 * 1000 / 64;
    for (int step = 1; step <= steps; ++step) {
        player.Step();
        // Every block takes exactly one frame, so the frames taken minus the blocks played is the lead.
        const int lead = player.Popped() - step;
        if (step > 4) {
            lowest_lead = std::min(lowest_lead, lead);
            highest_lead = std::max(highest_lead, lead);
        }
        top_up(1);
    }
    EXPECT_GE(lowest_lead, 1) << "the device caught up with the writer";
    EXPECT_LE(highest_lead - lowest_lead, 1) << "the writer drifted by more than a block";
    const std::vector<uint8_t> out = player.Finish();
    ASSERT_EQ(out.size(), static_cast<size_t>(steps) * 1024);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), all.begin())) << "a block was repeated or lost";
}

// A device that takes its data in bursts (a sound server with a large buffer, a late audio thread): two
// blocks at a time, whose notifications merge into one. The writer must refill its whole lead at once, so
// that the device never plays a block written a loop before: every frame is heard once, in order.
TEST(AudioCtxTest, ADeviceTakingTwoBlocksAtOnceHearsEveryFrameOnceInOrder) {
    Player player;
    uint32_t next_frame = 0;
    std::vector<uint8_t> all;
    // A live stream: the frames arrive as the device plays them, with two waiting ahead.
    auto top_up = [&](int waiting) {
        while (player.buffer.FrameCount() - 1 < waiting) {
            const std::vector<uint8_t> frame = Bytes(1024, static_cast<uint8_t>(next_frame * 7 + 1));
            ASSERT_TRUE(player.Push(kFramePcm, frame));
            all.insert(all.end(), frame.begin(), frame.end());
            ++next_frame;
        }
    };
    top_up(kPlayLeadBlocks + 2);
    player.StartPlaying();
    const int steps = 150;
    for (int step = 1; step <= steps; ++step) {
        player.Step(2);
        // The clock waits for the first block written after its notification only; the test waits for
        // the whole lead, one frame per block.
        ASSERT_TRUE(WaitUntil([&] {
            return player.Popped() >= static_cast<int>(kPlayLeadBlocks) + 2 * step;
        })) << "the writer did not refill its lead after step "
            << step;
        top_up(2);
    }
    const std::vector<uint8_t> out = player.Finish();
    ASSERT_EQ(out.size(), static_cast<size_t>(steps) * 2 * 1024);
    ASSERT_GE(all.size(), out.size());
    size_t first_wrong = out.size();
    for (size_t i = 0; i < out.size() && first_wrong == out.size(); ++i)
        if (out[i] != all[i]) first_wrong = i;
    EXPECT_EQ(first_wrong, out.size()) << "block " << first_wrong / 1024 << " was repeated or lost";
}

TEST(AudioCtxTest, LostBufferIsRestoredAndPlayingGoesOnWithoutLosingAFrame) {
    NullOutputOptions options;
    options.faults = std::make_shared<NullOutputFaults>();
    options.faults->restores_to_refuse = 1;  // the first restore fails: the block is retried
    Player player(options);
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 8; ++i) {
        frames.push_back(Bytes(1024, static_cast<uint8_t>(40 + i * 9)));
        ASSERT_TRUE(player.Push(kFramePcm, frames.back()));
    }
    player.StartPlaying();
    player.Step(2);
    options.faults->losses_pending = 1;
    EXPECT_TRUE(player.clock->Advance(kBlockUs)) << "a lost buffer plays nothing and notifies nothing";
    ASSERT_TRUE(WaitUntil([&] { return options.faults->restores_done.load() == 1; }));
    for (int i = 0; i < 8; ++i) player.Step();
    const std::vector<uint8_t> out = player.Finish();
    std::vector<uint8_t> all;
    for (const auto& f : frames) all.insert(all.end(), f.begin(), f.end());
    ASSERT_EQ(out.size(), player.played_bytes);
    ExpectGroupsWithFill(out, {all});
}

// A device that stays away (a sound server that died) must neither back the transfer up nor leave the
// sound of the outage queued: once it is back, what plays is what arrived after it returned.
TEST(AudioCtxTest, DeviceLostForLongDrainsTheBufferAndPlaysFreshFramesWhenBack) {
    NullOutputOptions options;
    options.faults = std::make_shared<NullOutputFaults>();
    options.faults->restores_to_refuse = 1000000;
    Player player(options);
    player.StartPlaying();
    player.Step();
    options.faults->losses_pending = 1;
    player.clock->Advance(kBlockUs);
    // Ten frames a second for 2.5 s, more than the buffer holds: the player notices the loss when its
    // notification wait (1 s) ends, and drains once the loss has lasted half a second more.
    int refused_late = 0;
    for (int i = 0; i < 25; ++i) {
        const bool stored = player.Push(kFramePcm, Bytes(1024, 0x11));
        refused_late += i >= 18 && !stored ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(refused_late, 0) << "the lost device backed the producer up";
    ASSERT_TRUE(WaitUntil([&] { return player.buffer.FrameCount() <= 1; }));
    options.faults->restores_to_refuse = 0;
    ASSERT_TRUE(WaitUntil([&] { return options.faults->restores_done.load() == 1; }));
    ASSERT_TRUE(player.Push(kFramePcm, Bytes(1024, 0x77)));
    for (int i = 0; i < 6; ++i) player.Step();
    const std::vector<uint8_t> out = player.Finish();
    const auto first_fresh = std::find(out.begin(), out.end(), 0x77);
    EXPECT_NE(first_fresh, out.end()) << "the device did not play again";
    // At most the frame the player had in hand when the device went: not the buffer's worth queued since.
    EXPECT_LE(std::count(out.begin(), out.end(), 0x11), 1024) << "sound of the outage was played late";
}

TEST(AudioCtxTest, WriterThatFellBehindSkipsAheadToCatchUp) {
    Player player;
    player.StartPlaying();
    for (int i = 0; i < 4; ++i) player.Step();
    // The device runs five blocks ahead at once, past the block the writer is about to write.
    player.Step(5);
    for (int i = 0; i < 4; ++i) player.Step();
    const uint64_t pushed_at = player.played_bytes;
    ASSERT_TRUE(player.Push(kFramePcm, std::vector<uint8_t>(1024, 0x5A)));
    for (int i = 0; i < 20; ++i) player.Step();
    const std::vector<uint8_t> out = player.Finish();
    size_t heard = out.size();
    for (size_t i = pushed_at; i < out.size(); ++i) {
        if (out[i] == 0x5A) {
            heard = i;
            break;
        }
    }
    ASSERT_LT(heard, out.size());
    EXPECT_LE(heard - pushed_at, 3u * 1024) << "the writer still lags the device";
}

// A live stream whose device stalls for half a second, then takes data twice as fast for a moment and plays
// on at its pace: the frames that piled up meanwhile stand in the buffer. They are dropped, oldest first
// and whole, until the latency from Push to the device is back under the bound; no frame plays twice or
// out of order. Every sample of frame n is 0x7F00 + n + 1, so the fill byte (0x7F) never reads as a frame.
TEST(AudioCtxTest, SoundThatStandsAfterTheDeviceStalledIsDroppedOldestFirstInWholeFrames) {
    constexpr size_t kFrameSamples = 480;  // 60 ms, in pairs every 120 ms as protected packets come
    Player player;
    int next_id = 0;
    std::vector<int64_t> pushed_at_us;  // by frame id
    auto push = [&](int64_t at_us) {
        const std::vector<int16_t> samples(kFrameSamples, static_cast<int16_t>(0x7F00 + next_id + 1));
        std::vector<uint8_t> bytes(kFrameSamples * 2);
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        if (!player.Push(kFramePcm, bytes)) return;  // the buffer is full: the frame is lost on arrival
        pushed_at_us.push_back(at_us);
        ++next_id;
    };
    for (int i = 0; i < 4; ++i) push(0);
    player.StartPlaying();
    int64_t wall_us = 0;
    int64_t next_pair_us = 120000;
    std::vector<std::pair<uint64_t, int64_t>> device_at_wall;  // (bytes played, wall time) after each tick
    auto tick = [&](uint32_t blocks) {
        for (; next_pair_us <= wall_us; next_pair_us += 120000) push(next_pair_us), push(next_pair_us);
        if (blocks > 0) player.Step(blocks);
        wall_us += static_cast<int64_t>(kBlockUs);
        device_at_wall.emplace_back(player.played_bytes, wall_us);
    };
    for (int i = 0; i < 24; ++i) tick(1);
    const int64_t stall_from_us = wall_us;
    for (int i = 0; i < 8; ++i) tick(0);  // the device stalls
    for (int i = 0; i < 3; ++i) tick(2);  // and catches up a little
    for (int i = 0; i < 64; ++i) tick(1);
    const std::vector<uint8_t> out = player.Finish();
    ASSERT_EQ(out.size(), player.played_bytes);
    std::vector<int16_t> heard(out.size() / 2);
    std::memcpy(heard.data(), out.data(), heard.size() * 2);

    // Each frame heard: its id, the wall time its first sample played, and how much of it played.
    struct Heard {
        int id;
        int64_t at_us;
        size_t samples;
    };
    ASSERT_LT(next_id, 0x7E) << "frame ids must stay below the fill's";
    std::vector<Heard> frames;
    for (size_t i = 0; i < heard.size(); ++i) {
        const int id = heard[i] - 0x7F01;
        if (id < 0 || id >= next_id) continue;  // fill
        if (i > 0 && heard[i - 1] == heard[i]) {
            ++frames.back().samples;
            continue;
        }
        const uint64_t byte = 2 * i;
        const auto played = std::lower_bound(device_at_wall.begin(), device_at_wall.end(),
                                             std::make_pair(byte + 1, int64_t{0}));
        ASSERT_NE(played, device_at_wall.end());
        frames.push_back(
            {id, played->second - static_cast<int64_t>(played->first - byte) * 1000000 / 16000, 1});
    }
    ASSERT_GT(frames.size(), 20u);
    int64_t before_stall_us = 0;  // the worst latency of the frames heard before the stall
    int64_t worst_us = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        if (f + 1 < frames.size()) {  // the last one may be cut short by the end of the run
            ASSERT_EQ(frames[f].samples, kFrameSamples) << "frame " << frames[f].id << " was cut or repeated";
        }
        if (f > 0) {
            ASSERT_GT(frames[f].id, frames[f - 1].id) << "a frame was repeated or played out of order";
        }
        const int64_t latency_us = frames[f].at_us - pushed_at_us[frames[f].id];
        if (frames[f].at_us < stall_from_us) before_stall_us = std::max(before_stall_us, latency_us);
        worst_us = std::max(worst_us, latency_us);
    }
    EXPECT_GT(worst_us, before_stall_us + 150000) << "the stall left no backlog: the test tests nothing";
    // Back to what it was, give or take the half block by which dropping moves the frames within the blocks.
    for (size_t f = frames.size() - 16; f < frames.size(); ++f) {
        EXPECT_LE(frames[f].at_us - pushed_at_us[frames[f].id], before_stall_us + kBlockUs / 2)
            << "frame " << frames[f].id;
    }
    const int64_t skipped = frames.back().id + 1 - static_cast<int64_t>(frames.size());
    EXPECT_GT(skipped, 0);
    EXPECT_EQ(static_cast<int64_t>(player.ctx.FramesDroppedBehind()), skipped);
}

TEST(AudioCtxTest, WithoutADeviceTheThreadStillDrainsTheBuffer) {
    NullOutputOptions refusing;
    refusing.refuse_format = true;
    Player player(refusing, false);
    ASSERT_TRUE(player.ctx.Start());
    EXPECT_TRUE(player.ctx.HasThread());
    EXPECT_FALSE(player.ctx.HasPlayBuffer());
    // A producer at 50 frames/s never finds the buffer full: the thread takes one every 10 ms.
    int refused = 0;
    for (int i = 0; i < 60; ++i) {
        refused += player.Push(kFramePcm, Bytes(960, static_cast<uint8_t>(i))) ? 0 : 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(refused, 0);
    EXPECT_TRUE(WaitUntil([&] { return player.buffer.FrameCount() <= 1; }));
}

TEST(AudioCtxTest, StopReleasesTheDeviceAndStartOpensItAgain) {
    Player player;
    player.StartPlaying();
    EXPECT_FALSE(player.ctx.Start()) << "one thread per player";
    player.ctx.Stop(kStopTimeoutMs);
    EXPECT_FALSE(player.ctx.HasThread());
    EXPECT_FALSE(player.ctx.HasPlayBuffer());
    player.opener.buffer = nullptr;
    player.StartPlaying();
    EXPECT_EQ(player.opener.opens.load(), 2);
    CAudioCtx unattached;
    EXPECT_FALSE(unattached.Start());
}

}  // namespace
}  // namespace corvel

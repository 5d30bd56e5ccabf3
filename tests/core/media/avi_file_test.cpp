// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/avi_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "avi_probe.h"
#include "h264_stream.h"

namespace corvel {
namespace {

using test::EncodedFrame;
using test::Pcm;
using test::ReadAllAudio;
using test::ReadAllVideo;
using test::TempDir;

constexpr int kWidth = 352;
constexpr int kHeight = 288;

const std::vector<EncodedFrame>& Frames() {
    static const std::vector<EncodedFrame> frames = [] {
        test::H264StreamOptions options;
        options.width = kWidth;
        options.height = kHeight;
        options.frames = 60;
        options.gop = 25;
        return test::EncodeTestPattern(options);
    }();
    if (frames.size() != 60) ADD_FAILURE() << "the H.264 test source gave " << frames.size() << " frames";
    return frames;
}

// Writes every frame with 640 bytes of audio after each; returns the audio written.
std::vector<uint8_t> WriteAll(CAviFile& avi, const std::vector<EncodedFrame>& frames) {
    std::vector<uint8_t> audio;
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_TRUE(avi.WriteVideo(frames[i].bytes.data(), static_cast<uint32_t>(frames[i].bytes.size())));
        const auto pcm = Pcm(640, static_cast<int>(i));
        EXPECT_TRUE(avi.WriteAudio(pcm.data(), static_cast<uint32_t>(pcm.size())));
        audio.insert(audio.end(), pcm.begin(), pcm.end());
    }
    return audio;
}

TEST(AviFile, SamplesReadBackUnchanged) {
    TempDir dir;
    const std::string path = dir / "clip.avi";
    const auto& frames = Frames();
    std::vector<uint8_t> audio;
    {
        CAviFile avi;
        ASSERT_TRUE(avi.Create(path, kWidth, kHeight, 25, 8000, 16, 1));
        EXPECT_TRUE(avi.IsOpen());
        audio = WriteAll(avi, frames);
        EXPECT_EQ(avi.video_sample_count(), frames.size());
        EXPECT_EQ(avi.audio_sample_position(), audio.size() / 2);
        avi.Close();
        EXPECT_FALSE(avi.IsOpen());
        EXPECT_EQ(avi.video_sample_count(), 0u);
    }

    CAviFile avi;
    ASSERT_TRUE(avi.Open(path));
    EXPECT_EQ(avi.info().streams, 2u);
    EXPECT_TRUE(avi.info().has_video);
    EXPECT_TRUE(avi.info().has_audio);
    EXPECT_EQ(avi.info().width, kWidth);
    EXPECT_EQ(avi.info().height, kHeight);
    EXPECT_EQ(avi.info().video_fourcc, 'X' | '2' << 8 | '6' << 16 | uint32_t{'4'} << 24);
    EXPECT_EQ(avi.info().video_rate / avi.info().video_scale, 25u);
    EXPECT_EQ(avi.info().samples_per_second, 8000);
    EXPECT_EQ(avi.info().bits_per_sample, 16);
    EXPECT_EQ(avi.info().channels, 1);

    // A buffer that is too small is told the size and the sample stays next.
    uint32_t size = 10;
    std::vector<uint8_t> small(10);
    EXPECT_FALSE(avi.ReadVideo(small.data(), &size));
    EXPECT_EQ(size, frames[0].bytes.size());
    EXPECT_EQ(avi.video_sample_count(), 0u);

    const auto video = ReadAllVideo(avi);
    ASSERT_EQ(video.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(video[i], frames[i].bytes) << "sample " << i;
    EXPECT_EQ(avi.video_sample_count(), frames.size());
    // An odd request size reads whole samples only; the video cursor did not move the audio one.
    EXPECT_EQ(ReadAllAudio(avi, 1001), audio);
    EXPECT_EQ(avi.audio_sample_position(), audio.size() / 2);
    size = 64;
    EXPECT_FALSE(avi.ReadAudio(small.data(), &size));
    EXPECT_EQ(size, 0u);
}

TEST(AviFile, HeadersCarryTheRecordingFormat) {
    TempDir dir;
    const std::string path = dir / "head.avi";
    {
        CAviFile avi;
        ASSERT_TRUE(avi.Create(path, 720, 576, 12, 8000, 16, 1));
        WriteAll(avi, Frames());
    }
    const auto file = test::ReadWholeFile(path);
    const auto chunks = test::WalkRiff(file);
    auto four = [&](uint64_t at) { return std::string(reinterpret_cast<const char*>(&file[at]), 4); };
    std::vector<test::RiffChunk> strh, strf, idx1;
    std::vector<std::string> super_index;  // chunk codes of the reserved OpenDML stream indexes
    bool odml = false;
    for (const auto& c : chunks) {
        if (c.fourcc == "strh") strh.push_back(c);
        if (c.fourcc == "strf") strf.push_back(c);
        if (c.fourcc == "idx1") idx1.push_back(c);
        if (c.fourcc == "JUNK" && c.depth == 3 && c.size >= 24) super_index.push_back(four(c.offset + 8));
        if (c.fourcc == "JUNK" && c.size >= 8 && four(c.offset) == "odml" && four(c.offset + 4) == "dmlh") {
            odml = true;
        }
    }
    ASSERT_EQ(strh.size(), 2u);
    ASSERT_EQ(strf.size(), 2u);

    const uint64_t vh = strh[0].offset;
    EXPECT_EQ(four(vh), "vids");
    EXPECT_EQ(four(vh + 4), "X264");
    EXPECT_EQ(test::Le32(file, vh + 20) * 12u, test::Le32(file, vh + 24));  // rate / scale = 12
    EXPECT_EQ(test::Le32(file, vh + 32), 60u);                              // length once closed
    EXPECT_EQ(test::Le32(file, vh + 40), 0xFFFFFFFFu);                      // quality -1
    EXPECT_EQ(test::Le32(file, vh + 48), 0u);                               // frame rectangle
    EXPECT_EQ(test::Le16(file, vh + 52), 720);
    EXPECT_EQ(test::Le16(file, vh + 54), 576);

    const uint64_t vf = strf[0].offset;
    EXPECT_EQ(strf[0].size, 40u);
    EXPECT_EQ(test::Le32(file, vf), 40u);
    EXPECT_EQ(test::Le32(file, vf + 4), 720u);
    EXPECT_EQ(test::Le32(file, vf + 8), 576u);  // positive: bottom-up as the format says
    EXPECT_EQ(test::Le16(file, vf + 12), 1);
    EXPECT_EQ(test::Le16(file, vf + 14), 24);
    EXPECT_EQ(four(vf + 16), "X264");
    EXPECT_EQ(test::Le32(file, vf + 20), ((720u * 3 + 3) & ~3u) * 576u);

    const uint64_t ah = strh[1].offset;
    EXPECT_EQ(four(ah), "auds");
    EXPECT_EQ(test::Le32(file, ah + 24) / test::Le32(file, ah + 20), 8000u);
    EXPECT_EQ(test::Le32(file, ah + 44), 2u);  // sample size

    const uint64_t af = strf[1].offset;
    EXPECT_EQ(test::Le16(file, af), 1);  // PCM
    EXPECT_EQ(test::Le16(file, af + 2), 1);
    EXPECT_EQ(test::Le32(file, af + 4), 8000u);
    EXPECT_EQ(test::Le32(file, af + 8), 16000u);
    EXPECT_EQ(test::Le16(file, af + 12), 2);
    EXPECT_EQ(test::Le16(file, af + 14), 16);

    // Every video sample is flagged as a key frame in the index.
    ASSERT_EQ(idx1.size(), 1u);
    int video_entries = 0;
    for (uint64_t at = idx1[0].offset; at + 16 <= idx1[0].offset + idx1[0].size; at += 16) {
        if (four(at) != "00dc") continue;
        ++video_entries;
        EXPECT_EQ(test::Le32(file, at + 4) & 0x10u, 0x10u) << "entry " << video_entries;
    }
    EXPECT_EQ(video_entries, 60);
    // Room for the OpenDML parts (a super index per stream, the extended header) is reserved, so the file
    // can grow past the 1 GiB of its first RIFF; they stay JUNK while the file is smaller.
    EXPECT_EQ(super_index, (std::vector<std::string>{"00dc", "01wb"}));
    EXPECT_TRUE(odml);
}

// A file cut anywhere (a recording whose process died, a copy interrupted) reads back as a prefix of what
// was written: whole samples only, never a torn one.
TEST(AviFile, CutFileReadsBackAPrefix) {
    TempDir dir;
    const std::string path = dir / "whole.avi";
    const auto& frames = Frames();
    {
        CAviFile avi;
        ASSERT_TRUE(avi.Create(path, kWidth, kHeight, 25, 8000, 16, 1));
        WriteAll(avi, frames);
    }
    const auto file = test::ReadWholeFile(path);
    uint64_t idx1_at = 0;
    uint64_t movi_at = 0;
    for (const auto& c : test::WalkRiff(file)) {
        if (c.fourcc == "idx1") idx1_at = c.offset - 8;
        if (c.list_type == "movi") movi_at = c.offset;
    }
    ASSERT_GT(idx1_at, movi_at);
    ASSERT_GT(movi_at, 0u);

    size_t previous = 0;
    const uint64_t step = (idx1_at - movi_at) / 37 + 1;
    for (uint64_t cut = movi_at + 1; cut <= idx1_at + step; cut += step) {
        const uint64_t length = std::min<uint64_t>(cut, idx1_at);
        const std::string part = dir / "part.avi";
        std::ofstream(part, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), length);
        CAviFile avi;
        ASSERT_TRUE(avi.Open(part)) << "cut at " << length;
        const auto video = ReadAllVideo(avi);
        ASSERT_LE(video.size(), frames.size());
        for (size_t i = 0; i < video.size(); ++i) ASSERT_EQ(video[i], frames[i].bytes) << "cut " << length;
        EXPECT_GE(video.size(), previous);
        previous = video.size();
    }
    // Without its index but otherwise whole, every sample is there.
    EXPECT_EQ(previous, frames.size());
}

// While a file is being written, every sample written so far is already in the file, audio included.
TEST(AviFile, OpenFileIsReadableUpToTheLastSample) {
    TempDir dir;
    const std::string path = dir / "live.avi";
    const auto& frames = Frames();
    CAviFile writer;
    ASSERT_TRUE(writer.Create(path, kWidth, kHeight, 25, 8000, 16, 1));
    for (size_t i = 0; i < 31; ++i) {
        ASSERT_TRUE(writer.WriteVideo(frames[i].bytes.data(), static_cast<uint32_t>(frames[i].bytes.size())));
    }
    const auto pcm = Pcm(480, 9);
    ASSERT_TRUE(writer.WriteAudio(pcm.data(), 480));

    CAviFile reader;
    ASSERT_TRUE(reader.Open(path));
    const auto video = ReadAllVideo(reader);
    ASSERT_EQ(video.size(), 31u);
    for (size_t i = 0; i < video.size(); ++i) EXPECT_EQ(video[i], frames[i].bytes);
    EXPECT_EQ(ReadAllAudio(reader, 4096), pcm);
}

TEST(AviFile, RefusesWhatItCannotWriteOrRead) {
    TempDir dir;
    CAviFile avi;
    const uint8_t byte = 0;
    EXPECT_FALSE(avi.WriteVideo(&byte, 1));
    EXPECT_FALSE(avi.WriteAudio(&byte, 2));
    uint32_t size = 1;
    uint8_t out[4];
    EXPECT_FALSE(avi.ReadVideo(out, &size));
    EXPECT_EQ(size, 0u);

    EXPECT_FALSE(avi.Create(dir / "missing/x.avi", kWidth, kHeight, 25, 8000, 16, 1));
    EXPECT_FALSE(avi.IsOpen());
    EXPECT_FALSE(avi.Create(dir / "zero.avi", kWidth, kHeight, 0, 8000, 16, 1));
    EXPECT_FALSE(avi.Create(dir / "wide.avi", 70000, kHeight, 25, 8000, 16, 1));
    EXPECT_FALSE(avi.Create(dir / "bits.avi", kWidth, kHeight, 25, 8000, 12, 1));
    struct stat info {};
    EXPECT_NE(stat((dir / "zero.avi").c_str(), &info), 0);

    EXPECT_FALSE(avi.Open(dir / "none.avi"));
    std::ofstream(dir / "empty.avi").close();
    EXPECT_FALSE(avi.Open(dir / "empty.avi"));
    std::ofstream(dir / "text.avi") << "RIFF\x10\0\0\0AVI LIST this is not an AVI file at all";
    EXPECT_FALSE(avi.Open(dir / "text.avi"));
    EXPECT_FALSE(avi.IsOpen());

    // A ':' in the name is part of the file name, not a protocol.
    ASSERT_TRUE(avi.Create(dir / "cam:1.avi", kWidth, kHeight, 25, 8000, 16, 1));
    EXPECT_TRUE(avi.WriteAudio(&byte, 0));
    avi.Close();
    EXPECT_EQ(stat((dir / "cam:1.avi").c_str(), &info), 0);
}

}  // namespace
}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "avi_probe.h"
#include "record_rig.h"

namespace corvel {
namespace {

using test::Bytes;
using test::EncodedFrame;
using test::Exists;
using test::FilesIn;
using test::Pcm;
using test::ReadAllAudio;
using test::ReadAllVideo;
using test::RecordRig;
using test::TempDir;
using test::VideoOf;

const std::vector<EncodedFrame>& Cif() {
    static const auto frames = test::TestStream(352, 288, 60, 25);
    return frames;
}

const std::vector<EncodedFrame>& Qcif() {
    static const auto frames = test::TestStream(176, 144, 150, 25);
    return frames;
}

TEST(Record, StartsAtTheNextKeyFrameAndKeepsSamplesUnchanged) {
    TempDir dir;
    RecordRig rig;
    const auto& frames = Cif();
    const uint32_t t0 = 1600000000;
    std::vector<uint8_t> recorded_audio;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i == 10) rig.Start(dir / "mid.avi", 0);  // in the middle of the first group of pictures
        rig.Video(frames[i], t0 + static_cast<uint32_t>(i / 25));
        const auto pcm = Pcm(320 + 2 * (i % 7), static_cast<int>(i));
        rig.Audio(pcm);
        if (i >= 25) recorded_audio.insert(recorded_audio.end(), pcm.begin(), pcm.end());
        if (i == 24) {
            EXPECT_FALSE(rig.recorder.HasOpenFile()) << "a predicted frame opened the file";
        }
    }
    EXPECT_TRUE(rig.recorder.HasOpenFile());
    rig.Stop();
    EXPECT_FALSE(rig.recorder.HasOpenFile());

    const std::string path = dir / "mid.avi";
    CAviFile avi;
    ASSERT_TRUE(avi.Open(path));
    EXPECT_EQ(avi.info().width, 352);
    EXPECT_EQ(avi.info().height, 288);
    const auto video = ReadAllVideo(avi);
    ASSERT_FALSE(video.empty());
    EXPECT_EQ(video.front(), frames[25].bytes) << "the first sample is not the next key frame";
    EXPECT_EQ(video, Bytes(frames, 25, frames.size()));
    const auto audio = ReadAllAudio(avi, 4096);
    EXPECT_EQ(audio, recorded_audio);

    const auto probe = test::Probe(path, true);
    ASSERT_TRUE(probe.is_object());
    ASSERT_EQ(probe["streams"].size(), 2u);
    EXPECT_EQ(probe["streams"][0]["codec_type"], "video");
    EXPECT_EQ(probe["streams"][0]["codec_name"], "h264");
    EXPECT_EQ(probe["streams"][0]["width"], avi.info().width);
    EXPECT_EQ(probe["streams"][0]["height"], avi.info().height);
    EXPECT_EQ(probe["streams"][0]["nb_read_packets"], std::to_string(video.size()));
    EXPECT_EQ(probe["streams"][1]["codec_type"], "audio");
    EXPECT_EQ(probe["streams"][1]["codec_name"], "pcm_s16le");
    EXPECT_EQ(probe["streams"][1]["sample_rate"], std::to_string(avi.info().samples_per_second));
    EXPECT_EQ(probe["streams"][1]["channels"], avi.info().channels);
    size_t audio_bytes = 0;
    size_t video_index = 0;
    for (const auto& packet : probe["packets"]) {
        const size_t size = std::stoul(packet["size"].get<std::string>());
        if (packet["stream_index"] == 1) {
            audio_bytes += size;
        } else if (video_index < video.size()) {
            EXPECT_EQ(size, video[video_index++].size());
        }
    }
    EXPECT_EQ(audio_bytes, audio.size());
}

// Frame times 6 s apart: frame 100 is exactly 600 s after the first and stays in the file without closing
// it; frame 101 (606 s) is the first to exceed the maximum, goes into the old file and closes it. The
// predicted frames after it wait for key frame 125, which opens and names the next file. Audio that
// arrives while no file is open is not recorded.
TEST(Record, SplitsAfterTheMaximumDurationAtTheNextKeyFrame) {
    TempDir dir;
    RecordRig rig;
    const auto& frames = Qcif();
    const uint32_t t0 = test::LocalTime(2020, 1, 2, 3, 4, 5);
    rig.Start(dir / "cam1.AVI", 600);
    std::vector<uint8_t> audio_first, audio_second;
    for (size_t i = 0; i < frames.size(); ++i) {
        rig.Video(frames[i], t0 + 6 * static_cast<uint32_t>(i), 1);
        const auto pcm = Pcm(480, static_cast<int>(i));
        rig.Audio(pcm);
        if (i <= 100) audio_first.insert(audio_first.end(), pcm.begin(), pcm.end());
        if (i >= 125) audio_second.insert(audio_second.end(), pcm.begin(), pcm.end());
    }
    rig.Stop();

    // 125 * 6 s = 750 s after 03:04:05 is 03:16:35.
    const std::string first = "cam1-2020-01-02-03-04-05.avi";
    const std::string second = "cam1-2020-01-02-03-16-35.avi";
    ASSERT_EQ(FilesIn(dir.path()), (std::vector<std::string>{first, second}));
    CAviFile avi;
    ASSERT_TRUE(avi.Open(dir / first));
    EXPECT_EQ(avi.info().width, 176);
    EXPECT_EQ(ReadAllVideo(avi), Bytes(frames, 0, 102));
    EXPECT_EQ(ReadAllAudio(avi, 999), audio_first);
    ASSERT_TRUE(avi.Open(dir / second));
    EXPECT_EQ(ReadAllVideo(avi), Bytes(frames, 125, frames.size()));
    EXPECT_EQ(ReadAllAudio(avi, 999), audio_second);
}

TEST(Record, FileNamesFollowThePathAndTheFirstFrameTime) {
    const uint32_t t = test::LocalTime(2020, 1, 2, 3, 4, 5);
    EXPECT_EQ(RecordFileName(u"E:\\rec\\cam1.AVI", 900, t), u"E:\\rec\\cam1-2020-01-02-03-04-05.avi");
    EXPECT_EQ(RecordFileName(u"E:\\rec\\cam1.AVI", 0, t), u"E:\\rec\\cam1.AVI");
    EXPECT_EQ(RecordFileName(u"/rec/cam.aVi", 1, t), u"/rec/cam-2020-01-02-03-04-05.avi");
    EXPECT_EQ(RecordFileName(u"/rec/cam", 1, t), u"/rec/cam-2020-01-02-03-04-05.avi");
    EXPECT_EQ(RecordFileName(u"/rec/cam.avi.bak", 1, t), u"/rec/cam.avi.bak-2020-01-02-03-04-05.avi");
    EXPECT_EQ(RecordFileName(u"/rec/xavi", 1, t), u"/rec/xavi-2020-01-02-03-04-05.avi");

    // With 0 the file is exactly the path; folders that do not exist yet are made, for '\' as for '/'.
    TempDir dir;
    const auto& frames = Cif();
    for (const std::string& path :
         {dir / "cam1.AVI", dir / "new/deeper/cam2.avi", dir / "win\\rec\\cam3.avi"}) {
        RecordRig rig;
        rig.Start(path, 0);
        for (size_t i = 0; i < 30; ++i) rig.Video(frames[i], t + static_cast<uint32_t>(i));
        rig.Stop();
    }
    EXPECT_EQ(FilesIn(dir.path()),
              (std::vector<std::string>{"cam1.AVI", "new/deeper/cam2.avi", "win/rec/cam3.avi"}));
    EXPECT_EQ(VideoOf(dir / "win/rec/cam3.avi"), Bytes(frames, 0, 30));
}

// Video and audio bytes are what counts, not the size of the file with its headers.
TEST(Record, RecordingsOfFewerThan1024BytesLeaveNoFile) {
    TempDir dir;
    const EncodedFrame key{std::vector<uint8_t>(1000, 0x11), true};
    for (const uint32_t audio_bytes : {22u, 24u}) {
        const std::string path = dir / ("short" + std::to_string(audio_bytes) + ".avi");
        RecordRig rig;
        rig.Start(path, 0);
        rig.Audio(Pcm(64, 1));  // before the key frame: not recorded, not counted
        rig.Video(key, 1600000000);
        EXPECT_TRUE(Exists(path));
        rig.Audio(Pcm(audio_bytes, 2));
        EXPECT_EQ(rig.recorder.bytes_written(), 1000 + audio_bytes);
        rig.Stop();
        EXPECT_EQ(Exists(path), 1000 + audio_bytes >= 1024) << audio_bytes;
    }
    // A recording stopped before any key frame arrived has made no file at all.
    RecordRig rig;
    rig.Start(dir / "none.avi", 0);
    rig.Video(EncodedFrame{std::vector<uint8_t>(5000, 1), false}, 1600000000);
    rig.Stop();
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"short24.avi"}));
}

TEST(Record, PictureSizeAndRateComeFromTheHeader) {
    TempDir dir;
    const EncodedFrame key{std::vector<uint8_t>(2000, 0x22), true};
    for (const uint8_t rate : {uint8_t{12}, uint8_t{0}}) {
        const std::string path = dir / ("rate" + std::to_string(rate) + ".avi");
        RecordRig rig;
        rig.Start(path, 0);
        const uint8_t format = rate == 0 ? 7 : 4;  // 7 is no known code
        rig.Video(key, 1600000000, format, rate);
        rig.Stop();
        CAviFile avi;
        ASSERT_TRUE(avi.Open(path));
        EXPECT_EQ(avi.info().width, rate == 0 ? 352 : 720);
        EXPECT_EQ(avi.info().height, rate == 0 ? 240 : 576);
        // A sender that announces no rate is recorded at the decoder's starting rate.
        EXPECT_EQ(avi.info().video_rate / avi.info().video_scale, rate == 0 ? 30u : rate);
    }
}

// A frame that the video transfer handed over just as the client stopped the recording must neither keep
// the file open nor let the next recording begin with a predicted frame.
TEST(Record, AFrameAfterTheFlagClearedClosesAndTheNextFileStartsAtAKeyFrame) {
    TempDir dir;
    RecordRig rig;
    const auto& frames = Cif();
    rig.Start(dir / "a.avi", 0);
    for (size_t i = 0; i < 30; ++i) rig.Video(frames[i], 1600000000);
    rig.recording = 0;  // cleared, the stop's close not yet run
    FrameRecord late{nullptr, 0, IVOP, 0, 0, 1600000001};
    std::vector<uint8_t> late_bytes = frames[0].bytes;
    late.data = late_bytes.data();
    late.size = static_cast<uint32_t>(late_bytes.size());
    rig.recorder.RecordVideoFrame(late, RecordFrameHeader{1600000001, 2, 25});
    EXPECT_FALSE(rig.recorder.HasOpenFile());
    EXPECT_FALSE(rig.recorder.started());
    rig.recorder.StopRecording();

    rig.Start(dir / "b.avi", 0);
    for (size_t i = 30; i < 60; ++i) rig.Video(frames[i], 1600000002);
    rig.Stop();
    EXPECT_EQ(VideoOf(dir / "a.avi"), Bytes(frames, 0, 30));
    EXPECT_EQ(VideoOf(dir / "b.avi"), Bytes(frames, 50, 60));
}

}  // namespace
}  // namespace corvel

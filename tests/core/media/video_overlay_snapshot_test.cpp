// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/le.h"
#include "media/video_ctx.h"
#include "video_test_util.h"

namespace corvel {
namespace {

using test::EncodedFrame;
using test::kVideoWait;
using test::RecordingWindow;
using test::WaitUntil;

using Channel = test::VideoTestChannel;

// 2020-01-02 03:04:05 UTC; the tests run in UTC so that the local-time names are known.
constexpr uint32_t kPictureTime = 1577934245;

class VideoOutput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC", 1);
        tzset();
        frames_ = new std::vector<EncodedFrame>(test::EncodeTestPattern({352, 288, 3, 25, 25, 0}));
    }
    static void TearDownTestSuite() { delete frames_; }
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("corvel-video-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Shows the first picture of the stream in a window of the format and stops.
    void ShowOnePicture(Channel& channel, RecordingWindow& window) {
        test::StartBuffer(channel.buffer);
        test::Feed(channel.buffer, {frames_->begin(), frames_->begin() + 1}, {250, kPictureTime});
        ASSERT_TRUE(channel.video.Start());
        ASSERT_TRUE(window.WaitShown(1));
        ASSERT_TRUE(WaitUntil([&] { return channel.snapshot.pending.load() == 0; }, kVideoWait));
        channel.video.Stop(kStopTimeoutMs);
    }

    std::u16string Path16(const std::string& name) const {
        const std::string full = (dir_ / name).string();
        return {full.begin(), full.end()};
    }

    static std::vector<EncodedFrame>* frames_;
    std::filesystem::path dir_;
};
std::vector<EncodedFrame>* VideoOutput::frames_ = nullptr;

TEST_F(VideoOutput, TheFiveStatisticsLinesAreDrawnInRedInTheirRows) {
    std::vector<uint8_t> plain;
    test::ReferencePictures({frames_->begin(), frames_->begin() + 1}, VELQ_PIX_BGRA32, &plain);
    ASSERT_FALSE(plain.empty());

    for (const bool verbose : {false, true}) {
        RecordingWindow window(VELQ_PIX_BGRA32);
        Channel channel(&window);
        channel.video.verbose = verbose ? 1 : 0;
        ShowOnePicture(channel, window);
        int stride = 0;
        const std::vector<uint8_t> shown = window.last(&stride);
        ASSERT_EQ(stride, (352 * 4 + 63) / 64 * 64);
        int changed_in_line[5] = {};
        int changed = 0;
        for (int y = 0; y < 288; ++y) {
            for (int x = 0; x < 352; ++x) {
                const uint8_t* got = &shown[y * stride + x * 4];
                const uint8_t* want = &plain[y * stride + x * 4];
                if (std::memcmp(got, want, 4) == 0) continue;
                ++changed;
                EXPECT_EQ(got[0], 0) << x << "," << y;  // blue
                EXPECT_EQ(got[1], 0) << x << "," << y;  // green
                EXPECT_EQ(got[2], 255) << x << "," << y;
                EXPECT_GE(x, 10);
                ASSERT_GE(y, 10);
                ASSERT_LT(y, 90 + 22);
                changed_in_line[std::min((y - 10) / 20, 4)] += 1;
            }
        }
        if (!verbose) {
            EXPECT_EQ(changed, 0);
            continue;
        }
        for (int line = 0; line < 5; ++line) EXPECT_GT(changed_in_line[line], 40) << "line " << line;
    }
}

TEST_F(VideoOutput, OverlayOnAPlanarBackBufferSetsTheRedOfItsOwnColourSpace) {
    RecordingWindow plain_window(VELQ_PIX_YV12), text_window(VELQ_PIX_YV12);
    Channel plain(&plain_window), text(&text_window);
    text.video.verbose = 1;
    ShowOnePicture(plain, plain_window);
    ShowOnePicture(text, text_window);
    int stride = 0;
    const auto without = plain_window.last(&stride);
    const auto with = text_window.last(&stride);
    const uint8_t red_luma = ToYuv601(0x0000FF).y;
    int changed = 0;
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 352; ++x) {
            if (with[y * stride + x] == without[y * stride + x]) continue;
            ++changed;
            EXPECT_EQ(with[y * stride + x], red_luma);
            EXPECT_TRUE(y >= 10 && y < 112 && x >= 10) << x << "," << y;
        }
    EXPECT_GT(changed, 500);
}

TEST_F(VideoOutput, SnapshotNamesCutOnlyABmpExtension) {
    EXPECT_EQ(SnapshotFileName(u"D:\\shot.bmp", kPictureTime), "D:\\shot-2020-01-02-03-04-05.bmp");
    EXPECT_EQ(SnapshotFileName(u"D:\\shot", kPictureTime), "D:\\shot-2020-01-02-03-04-05.bmp");
    EXPECT_EQ(SnapshotFileName(u"/snap/cam.BmP", kPictureTime), "/snap/cam-2020-01-02-03-04-05.bmp");
    EXPECT_EQ(SnapshotFileName(u"D:\\shot.jpg", kPictureTime), "D:\\shot.jpg-2020-01-02-03-04-05.bmp");
    EXPECT_EQ(SnapshotFileName(u"/snap.bmp/cam", kPictureTime), "/snap.bmp/cam-2020-01-02-03-04-05.bmp");
    EXPECT_EQ(SnapshotFileName(u"/snap/cam.bmpx", kPictureTime), "/snap/cam.bmpx-2020-01-02-03-04-05.bmp");
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(VideoOutput, ASnapshotHoldsThePresentedPictureBottomUp) {
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    channel.video.verbose = 1;  // the overlay is part of what is on screen
    // An older, larger file of the same name is replaced, not overwritten in part.
    const auto file = dir_ / "shot-2020-01-02-03-04-05.bmp";
    { std::ofstream(file, std::ios::binary) << std::string(600000, 'x'); }
    ASSERT_TRUE(channel.snapshot.Request(Path16("shot.bmp").c_str()));
    ShowOnePicture(channel, window);

    const std::vector<uint8_t> bmp = ReadFile(file);
    ASSERT_EQ(bmp.size(), 405558u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(LoadLE32(&bmp[2]), 405558u);
    EXPECT_EQ(LoadLE32(&bmp[10]), 54u);
    EXPECT_EQ(LoadLE32(&bmp[14]), 40u);
    EXPECT_EQ(LoadLE32(&bmp[18]), 352u);
    EXPECT_EQ(LoadLE32(&bmp[22]), 288u);
    EXPECT_EQ(LoadLE16(&bmp[26]), 1);
    EXPECT_EQ(LoadLE16(&bmp[28]), 32);
    EXPECT_EQ(LoadLE32(&bmp[30]), 0u);
    int stride = 0;
    const auto shown = window.last(&stride);
    for (int row = 0; row < 288; ++row) {
        ASSERT_EQ(std::memcmp(&bmp[54 + row * 352 * 4], &shown[(287 - row) * stride], 352 * 4), 0)
            << "row " << row;
    }
}

TEST_F(VideoOutput, SixteenBitSnapshotsAreFiveFiveFive) {
    RecordingWindow window(VELQ_PIX_RGB565);
    Channel channel(&window);
    ASSERT_TRUE(channel.snapshot.Request(Path16("s16").c_str()));
    ShowOnePicture(channel, window);
    const std::vector<uint8_t> bmp = ReadFile(dir_ / "s16-2020-01-02-03-04-05.bmp");
    ASSERT_EQ(bmp.size(), 352u * 288 * 2 + 54);
    EXPECT_EQ(LoadLE16(&bmp[28]), 16);
    int stride = 0;
    const auto shown = window.last(&stride);
    for (const int x : {0, 100, 351}) {
        const uint16_t p565 = LoadLE16(&shown[(287 - 5) * stride + 2 * x]);
        const uint16_t p555 = LoadLE16(&bmp[54 + 5 * 352 * 2 + 2 * x]);
        EXPECT_EQ(p555 >> 10, p565 >> 11);                  // red
        EXPECT_EQ((p555 >> 5) & 0x1F, (p565 >> 6) & 0x1F);  // green, its top five bits
        EXPECT_EQ(p555 & 0x1F, p565 & 0x1F);                // blue
    }
}

TEST_F(VideoOutput, ASnapshotRequestedWhilePendingKeepsTheFirstPath) {
    RecordingWindow window(VELQ_PIX_BGRA32);
    Channel channel(&window);
    ASSERT_TRUE(channel.snapshot.Request(Path16("first.bmp").c_str()));
    ASSERT_TRUE(channel.snapshot.Request(Path16("second.bmp").c_str()));
    ShowOnePicture(channel, window);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "first-2020-01-02-03-04-05.bmp"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "second-2020-01-02-03-04-05.bmp"));
    // Consumed: the next request is taken again.
    ASSERT_TRUE(channel.snapshot.Request(Path16("second.bmp").c_str()));
    EXPECT_EQ(std::u16string(channel.snapshot.path), Path16("second.bmp"));
}

TEST_F(VideoOutput, APlanarBackBufferIsSavedAsA32BitBitmap) {
    RecordingWindow planar(VELQ_PIX_YV12), packed(VELQ_PIX_BGRA32);
    Channel from_planar(&planar), from_packed(&packed);
    ASSERT_TRUE(from_planar.snapshot.Request(Path16("planar").c_str()));
    ASSERT_TRUE(from_packed.snapshot.Request(Path16("packed").c_str()));
    ShowOnePicture(from_planar, planar);
    ShowOnePicture(from_packed, packed);
    const auto a = ReadFile(dir_ / "planar-2020-01-02-03-04-05.bmp");
    const auto b = ReadFile(dir_ / "packed-2020-01-02-03-04-05.bmp");
    ASSERT_EQ(a.size(), 405558u);
    ASSERT_EQ(b.size(), 405558u);
    EXPECT_EQ(LoadLE16(&a[28]), 32);
    // The same picture through the same conversion, only later: the same pixels, the same row order.
    int largest = 0;
    for (size_t i = 54; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    EXPECT_LE(largest, 2);
}

TEST_F(VideoOutput, FailedSnapshotsAreSilentAndConsumeTheRequest) {
    // A folder that does not exist cannot take the file.
    RecordingWindow packed(VELQ_PIX_BGRA32);
    Channel second(&packed);
    ASSERT_TRUE(second.snapshot.Request(Path16("missing/dir/shot").c_str()));
    ShowOnePicture(second, packed);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

}  // namespace
}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "corvel/record_times.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using velq::times::Gap;
using velq::times::Parse;
using velq::times::Point;
using velq::times::Writer;

// Ten frames a second from 1000 s, a 5 s pause after frame 19, then ten more frames.
std::string FreezeRecording() {
    Writer writer;
    std::string text;
    for (int i = 0; i < 20; ++i) text += writer.Frame(1'000'000 + i * 100);
    for (int i = 0; i < 10; ++i) text += writer.Frame(1'006'900 + i * 100);
    return text + writer.Finish();
}

TEST(RecordTimes, WriterMarksFirstFrameSecondsGapsAndEnd) {
    const std::string text = FreezeRecording();
    EXPECT_EQ(text.rfind("velq-times 1\nt 0 1000000\n", 0), 0u) << text;
    EXPECT_NE(text.find("t 10 1001000\n"), std::string::npos) << text;  // a new wall-clock second
    EXPECT_NE(text.find("gap 1001900 1006900\nt 20 1006900\n"), std::string::npos) << text;
    EXPECT_NE(text.find("end 30 1007800\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("t 5 "), std::string::npos) << "one point a second is enough: " << text;

    Writer short_pause;
    short_pause.Frame(0);
    EXPECT_EQ(short_pause.Frame(1999).find("gap"), std::string::npos);
    EXPECT_EQ(Writer().Finish(), "");
}

TEST(RecordTimes, FrameTimesFollowPointsAndStayOutOfGaps) {
    const auto times = Parse(FreezeRecording());
    ASSERT_EQ(times.gaps, (std::vector<Gap>{{1'001'900, 1'006'900}}));
    ASSERT_TRUE(times.end.has_value());
    // Interpolated between points, including the last frame before the gap (known from the gap line).
    EXPECT_EQ(velq::times::FrameTimeMs(times, 5, 25.0), 1'000'500);
    EXPECT_EQ(velq::times::FrameTimeMs(times, 19, 25.0), 1'001'900);
    EXPECT_EQ(velq::times::FrameTimeMs(times, 20, 25.0), 1'006'900);
    EXPECT_EQ(velq::times::FrameTimeMs(times, 29, 25.0), 1'007'800);
    // Past every point: on at the AVI's rate.
    EXPECT_EQ(velq::times::FrameTimeMs(times, 31, 25.0), 1'007'880);

    EXPECT_EQ(velq::times::FrameAtTime(times, 999'999, 25.0), std::nullopt);
    EXPECT_EQ(velq::times::FrameAtTime(times, 1'000'550, 25.0), 5);
    EXPECT_EQ(velq::times::FrameAtTime(times, 1'004'000, 25.0), 19);  // in the gap: the last frame before
    EXPECT_EQ(velq::times::FrameAtTime(times, 1'006'900, 25.0), 20);
    EXPECT_EQ(velq::times::GapAt(times, 1'004'000), (Gap{1'001'900, 1'006'900}));
    EXPECT_EQ(velq::times::GapAt(times, 1'006'900), std::nullopt);
    EXPECT_EQ(velq::times::GapAt(times, 1'000'000), std::nullopt);
}

TEST(RecordTimes, ReaderKeepsWhatIsWholeAndIgnoresTheRest) {
    // A recorder killed in the middle of a line, among damaged and unknown lines.
    const auto times = Parse(
        "velq-times 1\n"
        "t 0 5000\n"
        "x future line\n"
        "t 10 -6000\n"
        "t 10 6000 7\n"
        "t  20 7000\n"
        "gap 6000 6500\n"
        "t 20 7000\n"
        "t 5 9000\n"
        "t 25 6000\n"
        "t 99999999999999999999 8000\n"
        "t 30 80");
    EXPECT_EQ(times.points, (std::vector<Point>{{0, 5000}, {20, 7000}}));
    EXPECT_TRUE(times.gaps.empty());
    EXPECT_FALSE(times.end.has_value());

    EXPECT_TRUE(Parse("t 0 5000\n").empty()) << "no header, no time file";
    EXPECT_TRUE(Parse("velq-times 2\nt 0 5000\n").empty());
    EXPECT_EQ(velq::times::FrameTimeMs(Parse(""), 0, 25.0), std::nullopt);

    // Only the first 16 MiB count: a point past them is not read.
    std::string big = "velq-times 1\nt 0 1000\n";
    big.append(velq::times::kMaxReadBytes, '#');
    big += "\nt 1 2000\n";
    EXPECT_EQ(Parse(big).points.size(), 1u);
}

}  // namespace

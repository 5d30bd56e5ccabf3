// SPDX-License-Identifier: GPL-3.0-or-later
// velq watch against a center that floods poll answers with ever newer stamps and never answers the status
// requests they bring: the program's memory stays flat and the center sees one status request.
#include <signal.h>
#include <unistd.h>

#include "flooding_center.h"
#include "test_wait.h"
#include "velq_program.h"

namespace corvel::test {
namespace {

using namespace std::chrono_literals;

constexpr size_t kMiB = 1024 * 1024;

TEST(VelqWatchFlood, MemoryStaysFlatAndOneStatusRequestIsOutstanding) {
    const std::string velq = Program("tools/velq/velq");
    if (access(velq.c_str(), X_OK) != 0) GTEST_SKIP() << "velq is not built";
    FloodingCenter center;
    std::string error;
    ASSERT_TRUE(center.Start(true, &error)) << error;
    const std::string out = ::testing::TempDir() + "flood_out_" + std::to_string(getpid()) + ".txt";
    const std::string err = ::testing::TempDir() + "flood_err_" + std::to_string(getpid()) + ".txt";
    ChildProcess watch;
    ASSERT_TRUE(watch.Start({velq, "watch", "--tcp-port", std::to_string(center.tcp_port()), "--udp-port",
                             std::to_string(center.udp_port())},
                            out, err));

    // Logged in, and the flood's first change has brought the status request that stays unanswered.
    ASSERT_TRUE(WaitUntil([&] { return center.status_requests() >= 1; }, 10s)) << Slurp(err);
    std::this_thread::sleep_for(500ms);
    const size_t rss_before = ResidentBytes(watch.pid());
    const uint64_t answers_before = center.poll_answers();
    std::this_thread::sleep_for(3s);
    const size_t rss_after = ResidentBytes(watch.pid());
    const uint64_t flood = center.poll_answers() - answers_before;

    ASSERT_GT(rss_before, 0u);
    EXPECT_GT(flood, 10000u) << "the flood did not happen";
    EXPECT_LT(rss_after, rss_before + 16 * kMiB)
        << rss_before / kMiB << " MiB -> " << rss_after / kMiB << " MiB with " << flood << " answers";
    EXPECT_EQ(center.status_requests(), 1u);

    kill(watch.pid(), SIGINT);
    EXPECT_EQ(watch.Wait(15s), 0);
    center.Stop();
    EXPECT_EQ(Slurp(err), "");
    EXPECT_NE(Slurp(out).find("  5 "), std::string::npos) << Slurp(out);  // logged in
}

}  // namespace
}  // namespace corvel::test

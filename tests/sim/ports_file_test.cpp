// SPDX-License-Identifier: GPL-3.0-or-later
// The ports file's line: what velq-sim writes reads back, older and newer simulators' lines are read by
// the fields they share, anything else is refused.
#include <gtest/gtest.h>

#include "ports_file.h"

namespace velq_sim {
namespace {

TEST(PortsFile, FieldsAreReadByPositionAndLaterOnesAreIgnored) {
    const auto written = ParsePortsLine(FormatPortsLine({24680, 24681, 8080}));
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->tcp, 24680);
    EXPECT_EQ(written->udp, 24681);
    EXPECT_EQ(written->http, 8080);

    const auto older = ParsePortsLine("41000 41001\n");
    ASSERT_TRUE(older.has_value());
    EXPECT_EQ(older->udp, 41001);
    EXPECT_EQ(older->http, 0);
    const auto newer = ParsePortsLine("41000 41001 41002 41003 41004\n");
    ASSERT_TRUE(newer.has_value());
    EXPECT_EQ(newer->http, 41002);

    for (const char* bad : {"", "41000\n", "41000 udp 8080\n", "41000 70000\n", "-1 2\n"})
        EXPECT_FALSE(ParsePortsLine(bad).has_value()) << bad;
}

}  // namespace
}  // namespace velq_sim

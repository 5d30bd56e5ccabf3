// SPDX-License-Identifier: GPL-3.0-or-later
// The playback page speaks the units the client shows: speeds in km/h.
#include <gtest/gtest.h>

#include <string>

#include "fleet.h"
#include "http_server.h"
#include "playback_page.h"

namespace velq_sim {
namespace {

TEST(PlaybackPage, SpeedsAreGivenInKilometresPerHourLikeTheVehicleList) {
    Fleet fleet;
    std::string error;
    // One vehicle cruising at 20 knots: 37.04 km/h, the figure the client's vehicle list shows for it.
    const std::string path = ::testing::TempDir() + "playback_units.json";
    {
        FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("{\"vehicles\": [{\"device_id\": \"UNIT-0001\", \"speed_knots\": 20}]}", file);
        std::fclose(file);
    }
    auto loaded = Fleet::Load(path, &error);
    ASSERT_TRUE(loaded.has_value()) << error;
    const time_t now = 1'800'000'000;
    const HttpResponse page = PlaybackPage(ParseQuery("devicename=UNIT-0001"), *loaded, now - 600, now);
    ASSERT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("Speed (km/h)"), std::string::npos);
    EXPECT_EQ(page.body.find("knots"), std::string::npos);
    EXPECT_NE(page.body.find("<td>37.0</td>"), std::string::npos);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace velq_sim

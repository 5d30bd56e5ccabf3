// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's web side: the playback page for a vehicle and a time range, its bounded handling of bad
// requests, and the camera log, over real sockets where the transport matters.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "base/socket.h"
#include "options.h"
#include "platform.h"
#include "playback_page.h"

namespace velq_sim {
namespace {

TEST(PlaybackPage, QueryIsPercentDecodedAndTimesMustHaveTheClientsShape) {
    const auto query =
        ParseQuery("devicename=A%26B%23C%3Fd+e%C3%A9&stime=2026-01-02T03:04:05&x&%zz=1&stime=late");
    EXPECT_EQ(query.at("devicename"), "A&B#C?d e\xC3\xA9");
    EXPECT_EQ(query.at("stime"), "2026-01-02T03:04:05");  // the first of a repeated name
    EXPECT_EQ(query.at("x"), "");
    EXPECT_EQ(query.at("%zz"), "1");  // a malformed escape stays as it stands

    const auto t = ParseLocalTime("2026-01-02T03:04:05");
    ASSERT_TRUE(t.has_value());
    tm local{};
    localtime_r(&*t, &local);
    EXPECT_EQ(local.tm_year, 126);
    EXPECT_EQ(local.tm_hour, 3);
    EXPECT_EQ(local.tm_sec, 5);
    for (const char* bad : {"", "2026-01-02 03:04:05", "2026-13-02T03:04:05", "2026-01-02T24:00:00",
                            "2026-01-02T03:04:05Z", "20x6-01-02T03:04:05"}) {
        EXPECT_FALSE(ParseLocalTime(bad).has_value()) << bad;
    }
}

TEST(PlaybackPage, TrackFollowsTheRouteAtTheVehiclesSpeedWithinTheRangeAndIsBounded) {
    Vehicle vehicle;
    vehicle.route = {{10.0, 20.0}, {10.1, 20.0}, {10.1, 20.1}};
    vehicle.speed_knots = 60.0;  // one degree an hour
    const time_t origin = 1'800'000'000;
    const auto track = TrackBetween(vehicle, origin, origin + 360, origin, 10);
    ASSERT_EQ(track.size(), 37u);
    EXPECT_DOUBLE_EQ(track.front().latitude, 10.0);
    EXPECT_NEAR(track.back().latitude, 10.1, 1e-9);  // 0.1 degree in 360 s: the first corner
    EXPECT_NEAR(track[18].latitude, 10.05, 1e-9);
    EXPECT_NEAR(track[18].course, 0.0, 1e-9);
    EXPECT_EQ(track.back().time, origin + 360);

    // Before the origin the vehicle was on the closing leg; a long range is thinned, never grown.
    const auto before = TrackBetween(vehicle, origin - 60, origin - 60, origin);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_GT(before[0].longitude, 20.0);
    const auto week = TrackBetween(vehicle, origin, origin + 7 * 86400, origin, 10, 100);
    EXPECT_EQ(week.size(), 100u);
    EXPECT_LE(week.back().time, origin + 7 * 86400);
    EXPECT_TRUE(TrackBetween(vehicle, origin + 10, origin, origin).empty());
    EXPECT_TRUE(TrackBetween(Vehicle{}, origin, origin + 10, origin).empty());
}

TEST(PlaybackPage, ServerTextsAreEscapedAndBadRequestsGetTheirStatus) {
    Fleet fleet = Fleet::Default();
    corvel::DeviceRecord record;
    record.set_id("MDVR-<i>&1");
    record.set_text1("<script>x()</script>");
    bool existed = false;
    ASSERT_EQ(fleet.AddDevice(record, &existed), FleetAnswer::kOk);
    const time_t now = 1'800'000'000;
    HttpResponse page = PlaybackPage(ParseQuery("devicename=MDVR-%3Ci%3E%261"), fleet, now - 600, now);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body.find("<script>"), std::string::npos);
    EXPECT_EQ(page.body.find("<i>"), std::string::npos);
    EXPECT_NE(page.body.find("&lt;script&gt;x()&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.body.find("MDVR-&lt;i&gt;&amp;1"), std::string::npos);
    EXPECT_NE(page.body.find("<polyline"), std::string::npos);

    EXPECT_EQ(PlaybackPage(ParseQuery(""), fleet, now, now).status, 400);
    EXPECT_EQ(PlaybackPage(ParseQuery("devicename=MDVR-10001&etime=yesterday"), fleet, now, now).status, 400);
    page = PlaybackPage(ParseQuery("devicename=%3Cb%3Enobody"), fleet, now, now);
    EXPECT_EQ(page.status, 404);
    EXPECT_NE(page.body.find("&lt;b&gt;nobody"), std::string::npos);
    // An end before the start is an empty period, not an error.
    page =
        PlaybackPage(ParseQuery("devicename=MDVR-10001&stime=2026-01-02T03:04:05&etime=2026-01-02T03:00:00"),
                     fleet, now, now);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("id=\"empty\""), std::string::npos);
}

// One raw exchange with the server: what was sent, and everything it answered until it closed.
std::string Exchange(uint16_t port, const std::string& request) {
    sockaddr_in address{};
    corvel::ResolveIPv4("127.0.0.1", port, &address);
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_TRUE(corvel::ConnectWithTimeout(s, address, 2000));
    corvel::SetSocketTimeouts(s, 5000);
    corvel::SendAll(s, request.data(), request.size());
    std::string reply;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = recv(s, buffer, sizeof(buffer), 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    close(s);
    return reply;
}

TEST(HttpServer, ServesThePageTheLogAndBoundedErrorsOnItsOwnPort) {
    CenterConfig center;
    center.tcp_port = center.udp_port = 0;
    center.tick_ms = 0;
    center.log = false;
    HttpConfig http;
    http.playback_path = "/web/playback.aspx";
    SimPlatform platform(center, TransferConfig{}, Fleet::Default(), http);
    std::string error;
    ASSERT_TRUE(platform.Start(&error)) << error;
    const uint16_t port = platform.http().port();
    ASSERT_NE(port, 0);

    std::string reply =
        Exchange(port,
                 "GET /web/playback.aspx?devicename=MDVR-10002&stime=2026-01-02T03:00:00&etime="
                 "2026-01-02T03:10:00 HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply.substr(0, 80);
    EXPECT_NE(reply.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
    EXPECT_NE(reply.find("CX-4410@3"), std::string::npos);
    EXPECT_NE(reply.find("<span id=\"count\">61</span>"), std::string::npos);

    reply = Exchange(port, "HEAD /web/playback.aspx?devicename=MDVR-10002 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(reply.find("<html"), std::string::npos);
    EXPECT_EQ(Exchange(port, "GET /playback.aspx HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(Exchange(port, "POST /web/playback.aspx HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 405", 0), 0u);
    EXPECT_EQ(Exchange(port, "GARBAGE\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(Exchange(port, "GET /" + std::string(20000, 'a')).rfind("HTTP/1.1 400", 0), 0u);

    reply = Exchange(port, "GET /camera.log HTTP/1.1\r\n\r\n");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(reply.find("text/plain"), std::string::npos);
    platform.Stop();
}

TEST(HttpServer, PortAndPathComeFromTheCommandLine) {
    OptionParser parser;
    AddHttpOptions(parser);
    SimOptions options;
    bool help = false;
    std::string error;
    const char* argv[] = {"velq-sim", "--http-port", "0", "--playback-path", "/pb"};
    ASSERT_TRUE(parser.Parse(5, const_cast<char**>(argv), &options, &help, &error)) << error;
    EXPECT_EQ(options.http.port, 0);
    EXPECT_EQ(options.http.playback_path, "/pb");
    const char* bad[] = {"velq-sim", "--http-port", "70000"};
    EXPECT_FALSE(parser.Parse(3, const_cast<char**>(bad), &options, &help, &error));
    const char* relative[] = {"velq-sim", "--playback-path", "pb"};
    EXPECT_FALSE(parser.Parse(3, const_cast<char**>(relative), &options, &help, &error));
}

}  // namespace
}  // namespace velq_sim

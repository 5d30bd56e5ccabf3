// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated fleet: its sentences parse, settings read back, stamps order the changes, files round-trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

#include "corvel/corvel.h"
#include "fleet.h"
#include "options.h"

namespace velq_sim {
namespace {

TEST(Fleet, SentencesCarryValidChecksumsAndTheCoordinatesTheyWereMadeFrom) {
    struct Fix {
        double latitude, longitude;
    };
    const Fix fixes[] = {{37.387458, -121.972360},
                         {-33.87, 151.21},
                         {0.0, 0.0},
                         {59.9999999, 179.9999999},
                         {48.1, -11.99999999}};
    for (const Fix& fix : fixes) {
        const std::string sentence = FormatGprmc(1700000000, fix.latitude, fix.longitude, 10.0, 123.4);
        SCOPED_TRACE(sentence);
        double latitude = 0, longitude = 0, speed = 0, course = 0;
        ASSERT_EQ(VelqApp_GPRMC(sentence.c_str(), &latitude, &longitude, &speed, &course), 1);
        EXPECT_NEAR(latitude, fix.latitude, 1e-5);
        EXPECT_NEAR(longitude, fix.longitude, 1e-5);
        EXPECT_NEAR(speed, 18.52, 1e-9);
        EXPECT_NEAR(course, 123.4, 1e-9);
    }
}

TEST(Fleet, DefaultFleetHasOfflineVehiclesAndProvinceIndices) {
    Fleet fleet = Fleet::Default();
    const auto all = fleet.Records(false);
    const auto online = fleet.Records(true);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(online.size(), 6u);
    int provinces = 0;
    for (const auto& record : all) {
        EXPECT_EQ(record.record_size(), 280u);
        EXPECT_EQ(record.channel_count(), 4);
        if (record.text1().find('@') != std::string_view::npos) ++provinces;
    }
    EXPECT_GE(provinces, 2);
    for (const auto& record : online) {
        EXPECT_NE(record.last_report(), 0u);
        EXPECT_EQ(VelqApp_GPRMC(std::string(record.position()).c_str(), nullptr, nullptr, nullptr, nullptr),
                  1);
    }
}

TEST(Fleet, SettingsReadBackAsWrittenAndOutOfRangeWritesAreRefused) {
    Fleet fleet = Fleet::Default();
    corvel::ControlRecord request, reply;
    request.set_id("MDVR-10001");
    request.channel = 2;
    request.code = 12;  // write frame rate
    request.value = 12;
    EXPECT_EQ(fleet.Control(request, &reply), FleetAnswer::kOk);
    request.code = 11;  // read it
    request.value = 0;
    ASSERT_EQ(fleet.Control(request, &reply), FleetAnswer::kOk);
    EXPECT_EQ(reply.value, 12);
    EXPECT_EQ(reply.id(), "MDVR-10001");
    request.channel = 1;  // another channel keeps its own
    ASSERT_EQ(fleet.Control(request, &reply), FleetAnswer::kOk);
    EXPECT_EQ(reply.value, 25);
    request.code = 12;
    request.value = 31;
    EXPECT_EQ(fleet.Control(request, &reply), FleetAnswer::kRefused);
    request.code = 10;
    request.value = 0;
    EXPECT_EQ(fleet.Control(request, &reply), FleetAnswer::kRefused);
    request.code = 14;
    request.value = 3;
    request.channel = 5;  // above the channel count
    EXPECT_EQ(fleet.Control(request, &reply), FleetAnswer::kRefused);
    request.set_id("NOBODY");
    EXPECT_EQ(fleet.Control(request, &reply), FleetAnswer::kUnknownDevice);
}

TEST(Fleet, ChangesSinceAStampAreTheNewerOnesInOrder) {
    Fleet fleet = Fleet::Default();
    const uint64_t start = fleet.stamp();
    EXPECT_TRUE(fleet.ChangedSince(start).empty());
    ASSERT_TRUE(fleet.SetStatusWord("MDVR-10004", 9, 3));
    ASSERT_TRUE(fleet.SetStatusWord("MDVR-10002", 0, 2));
    EXPECT_FALSE(fleet.SetStatusWord("MDVR-10002", 16, 2));
    const auto changed = fleet.ChangedSince(start);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].device.id(), "MDVR-10004");
    EXPECT_EQ(changed[0].words[9], 3u);
    EXPECT_LT(changed[0].stamp, changed[1].stamp);
    EXPECT_EQ(fleet.ChangedSince(changed[0].stamp).size(), 1u);
    std::mt19937 random(7);
    fleet.Tick(1700000100, 1.0, 0.0, random);
    EXPECT_EQ(fleet.ChangedSince(changed[1].stamp).size(), 6u);  // every vehicle that reports moved
}

TEST(Fleet, BuiltInVehiclesDriveOnLand) {
    // Sydney and Munich lie east of Greenwich: a west longitude put those two vehicles in the sea.
    Fleet fleet = Fleet::Default();
    struct Place {
        const char* device;
        double latitude, longitude;
    };
    const Place places[] = {
        {"MDVR-10001", 31.23, 121.47}, {"MDVR-10006", -33.87, 151.21}, {"MDVR-10008", 48.14, 11.58}};
    for (const Place& place : places) {
        const auto vehicle = fleet.Find(place.device);
        ASSERT_TRUE(vehicle.has_value()) << place.device;
        double latitude = 0, longitude = 0;
        ASSERT_EQ(VelqApp_GPRMC(vehicle->position.c_str(), &latitude, &longitude, nullptr, nullptr), 1);
        EXPECT_NEAR(latitude, place.latitude, 0.05) << place.device;
        EXPECT_NEAR(longitude, place.longitude, 0.05) << place.device;
    }
}

TEST(Fleet, SpeedsVaryStopsHappenAndEachVehicleReportsOnItsOwnPeriod) {
    Fleet fleet = Fleet::Default();
    std::mt19937 random(11);
    std::map<std::string, std::set<long>> speeds;  // km/h x 10 seen per vehicle
    std::map<std::string, int> reports;
    bool stopped = false;
    uint64_t stamp = fleet.stamp();
    for (uint32_t second = 1; second <= 600; ++second) {
        fleet.Tick(1'700'000'000 + second, 1.0, 0.0, random);
        for (const auto& record : fleet.ChangedSince(stamp)) {
            stamp = std::max(stamp, record.stamp);
            double speed = -1;
            const std::string sentence(record.device.position());
            ASSERT_EQ(VelqApp_GPRMC(sentence.c_str(), nullptr, nullptr, &speed, nullptr), 1);
            speeds[std::string(record.device.id())].insert(std::lround(speed * 10));
            ++reports[std::string(record.device.id())];
            if (speed == 0.0) stopped = true;
        }
    }
    EXPECT_TRUE(stopped) << "no vehicle ever stood still in ten minutes";
    std::set<long> cruising;
    for (const auto& [device, seen] : speeds) {
        EXPECT_GT(seen.size(), 3u) << device << " drove at one speed";
        cruising.insert(*seen.rbegin() / 100);
    }
    EXPECT_GT(cruising.size(), 2u) << "town and highway vehicles should not share one top speed";
    // Report periods of 1 to 3 s: MDVR-10001 reports every second, MDVR-10003 every third.
    EXPECT_EQ(reports["MDVR-10001"], 600);
    EXPECT_EQ(reports["MDVR-10003"], 200);
}

// Share of the fleet's vehicles with an alarm word (8..15) on.
double ShareInAlarm(Fleet& fleet) {
    const auto records = fleet.ChangedSince(0);
    size_t in_alarm = 0;
    for (const auto& record : records)
        in_alarm += std::any_of(record.words + 8, record.words + 16, [](uint32_t w) { return w != 0; });
    return records.empty() ? 0.0 : double(in_alarm) / double(records.size());
}

// Without --alarm-percent a running fleet has a few vehicles in alarm at any time, alarms coming and going;
// --alarm-percent 100 is a storm.
TEST(Fleet, AlarmsAreRareByDefaultAndAStormOnlyWhenAsked) {
    OptionParser parser;
    AddCenterOptions(parser);
    const auto options_of = [&](std::vector<const char*> args) {
        args.insert(args.begin(), "velq-sim");
        SimOptions options;
        bool help = false;
        std::string error;
        EXPECT_TRUE(parser.Parse(static_cast<int>(args.size()), const_cast<char**>(args.data()), &options,
                                 &help, &error))
            << error;
        return options;
    };
    const SimOptions quiet = options_of({});
    Fleet fleet = Fleet::Generated(400);
    std::mt19937 random(5);
    double highest = 0.0, total = 0.0;
    int samples = 0;
    for (uint32_t second = 1; second <= 1800; ++second) {
        fleet.Tick(1'700'000'000 + second, 1.0, quiet.center.alarm_chance, random);
        if (second % 60 != 0) continue;
        const double share = ShareInAlarm(fleet);
        highest = std::max(highest, share);
        total += share;
        ++samples;
    }
    EXPECT_LE(highest, 0.10) << "too many vehicles in alarm at once";
    EXPECT_GT(total / samples, 0.005) << "alarms should still come now and then";

    const SimOptions storm = options_of({"--alarm-percent", "100"});
    Fleet stormy = Fleet::Generated(400);
    for (uint32_t second = 1; second <= 30; ++second)
        stormy.Tick(1'700'000'000 + second, 1.0, storm.center.alarm_chance, random);
    EXPECT_GE(ShareInAlarm(stormy), 0.5);
}

TEST(Fleet, AddedDevicesAreKeptAndSavedAndLoadedBack) {
    Fleet fleet = Fleet::Default();
    fleet.accounts = {{"orvi", "480913"}, {"night", "shift"}};
    corvel::DeviceRecord record;
    record.set_id("MDVR-30001");
    record.set_text1("QQ-1@1");
    record.set_channel_count(8);
    bool existed = true;
    ASSERT_EQ(fleet.AddDevice(record, &existed), FleetAnswer::kOk);
    EXPECT_FALSE(existed);
    ASSERT_EQ(fleet.AddDevice(record, &existed), FleetAnswer::kOk);
    EXPECT_TRUE(existed);
    record.set_id("abc");
    EXPECT_EQ(fleet.AddDevice(record, &existed), FleetAnswer::kRefused);

    const std::string path = ::testing::TempDir() + "fleet_round_trip.json";
    std::string error;
    ASSERT_TRUE(fleet.Save(path, &error)) << error;
    auto loaded = Fleet::Load(path, &error);
    ASSERT_TRUE(loaded.has_value()) << error;
    EXPECT_EQ(loaded->size(), 9u);
    EXPECT_EQ(loaded->accounts.at("night"), "shift");
    bool found = false;
    for (const auto& r : loaded->Records(false)) {
        if (r.id() == "MDVR-30001") found = r.channel_count() == 8 && r.text1() == "QQ-1@1";
    }
    EXPECT_TRUE(found);
    std::remove(path.c_str());
}

TEST(Fleet, BadFilesAreRefusedWithAReason) {
    const std::string path = ::testing::TempDir() + "fleet_bad.json";
    const char* const bodies[] = {
        "{\"vehicles\": [",
        "{\"vehicles\": [{\"device_id\": \"abc\"}]}",
        "{\"vehicles\": [{\"device_id\": \"ABCD\"}, {\"device_id\": \"ABCD\"}]}",
        "{\"vehicles\": [{\"device_id\": 5}]}",
        "{\"other\": 1}",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        std::ofstream(path) << body;
        std::string error;
        EXPECT_FALSE(Fleet::Load(path, &error).has_value());
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_FALSE(Fleet::Load(path + ".missing", &error).has_value());
    std::remove(path.c_str());
}

TEST(SimOptions, ParseKnownOptionsAndRefuseOthers) {
    OptionParser parser;
    AddCenterOptions(parser);
    const auto parse = [&](std::vector<const char*> args, SimOptions* options, std::string* error) {
        args.insert(args.begin(), "velq-sim");
        bool help = false;
        return parser.Parse(static_cast<int>(args.size()), const_cast<char**>(args.data()), options, &help,
                            error);
    };
    SimOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--tcp-port", "0", "--udp-port=0", "--user", "ops", "--password", "pw", "--drop-after",
                       "3", "--server-version", "V102", "--ports-file", "/tmp/p"},
                      &options, &error))
        << error;
    EXPECT_EQ(options.center.tcp_port, 0);
    EXPECT_EQ(options.center.udp_port, 0);
    EXPECT_EQ(options.center.accounts, (std::map<std::string, std::string>{{"ops", "pw"}}));
    EXPECT_EQ(options.center.faults.drop_after_replies, 3u);
    EXPECT_EQ(options.center.version, corvel::FourCC('V', '1', '0', '2'));
    EXPECT_EQ(options.ports_file, "/tmp/p");
    SimOptions other;
    EXPECT_FALSE(parse({"--tcp-port", "65536"}, &other, &error));
    EXPECT_FALSE(parse({"--tcp-port"}, &other, &error));
    EXPECT_FALSE(parse({"--bogus"}, &other, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(parse({"--server-version", "V1"}, &other, &error));
    EXPECT_NE(parser.Help("velq-sim").find("--stall-after"), std::string::npos);
}

}  // namespace
}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The library against velq-sim's center server: login outcomes, lists, status and alarms, operations,
// and reconnecting after the server drops the connection.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "sim_harness.h"

namespace corvel::test {
namespace {

class Center : public SimHarness {
  protected:
    // Sets all sixteen status words of `id` to `value` on the server and waits until the client posted
    // each of the events 160-175 once more than before.
    void ExpectAllStatusEvents(const char* id, uint32_t value) {
        // The alarm words start clear on the server, and a word's first non-zero value posts nothing:
        // give those a value first.
        const auto vehicle = server_->fleet().Find(id);
        ASSERT_TRUE(vehicle.has_value());
        for (size_t word = 0; word < 16; ++word) {
            if (vehicle->words[word] == 0) {
                ASSERT_TRUE(server_->fleet().SetStatusWord(id, word, value % 4 + 1));
            }
        }
        ASSERT_TRUE(WaitInStep());
        std::vector<size_t> before;
        for (uintptr_t code = VELQ_EV_STATUS_FIRST; code <= VELQ_EV_STATUS_LAST; ++code)
            before.push_back(window_.Count(code));
        for (size_t word = 0; word < 16; ++word) ASSERT_TRUE(server_->fleet().SetStatusWord(id, word, value));
        for (uintptr_t code = VELQ_EV_STATUS_FIRST; code <= VELQ_EV_STATUS_LAST; ++code) {
            ASSERT_TRUE(window_.WaitFor(code, 5s, before[code - VELQ_EV_STATUS_FIRST] + 1)) << code;
        }
    }
};

TEST_F(Center, LoginListsTheFleetWithOnlineAndOfflineDevices) {
    StartServer();
    LoginAndList();
    EXPECT_EQ(window_.Codes().front(), VELQ_EV_CONNECTING);
    EXPECT_EQ(window_.Count(VELQ_EV_LOGIN_OK), 1u);
    EXPECT_EQ(window_.Count(VELQ_EV_DEVICE_NEW), 8u);  // each device is new exactly once
    ASSERT_TRUE(WaitUntil([&] { return window_.Count(VELQ_EV_DEVICE_GONE) > 0; }));
    AppDevice* online = session_->FindDevice("MDVR-10002");
    AppDevice* offline = session_->FindDevice("MDVR-10005");
    ASSERT_NE(online, nullptr);
    ASSERT_NE(offline, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return offline->state.load() == kDeviceAbsent; }));
    EXPECT_EQ(online->state.load(), kDevicePresent);
    char vehicle[32];
    ASSERT_GT(VelqDev_GetDevInfo(online, VELQ_DEV_TEXT1, vehicle, sizeof(vehicle)), 0);
    EXPECT_STREQ(vehicle, "CX-4410@3");
    char position[128];
    ASSERT_GT(VelqDev_GetDevInfo(online, VELQ_DEV_POSITION, position, sizeof(position)), 0);
    double latitude = 0;
    EXPECT_EQ(VelqApp_GPRMC(position, &latitude, nullptr, nullptr, nullptr), 1);
    EXPECT_NEAR(latitude, 31.26, 0.05);
}

TEST_F(Center, WrongPasswordIsRejected) {
    StartServer();
    Login("orvi", "wrong");
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_REJECTED, 5s));
    EXPECT_EQ(window_.Count(VELQ_EV_LOGIN_OK), 0u);
    EXPECT_EQ(VelqApp_IsActive(session_.get()), 1);  // until the client logs out
}

TEST_F(Center, OtherServerVersionIsReportedWithTheLogin) {
    auto config = QuietConfig();
    config.version = FourCC('V', '1', '0', '4');
    StartServer(config);
    Login();
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_VERSION, 5s));
    EXPECT_EQ(window_.Events()[1].value, static_cast<intptr_t>(FourCC('V', '1', '0', '4')));
}

TEST_F(Center, StatusChangesReachTheRegistryAndAlarmsArePosted) {
    StartServer();
    LoginAndList();
    ASSERT_TRUE(WaitInStep());
    // The first status record of a device stores its words silently, and so does the first non-zero value
    // of a word that was 0 (the alarm words start clear on the server)...
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 0, 1));
    for (size_t word = 8; word < 16; ++word)
        ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", word, 1));
    ASSERT_TRUE(WaitInStep());
    for (uintptr_t code = VELQ_EV_STATUS_FIRST; code <= VELQ_EV_STATUS_LAST; ++code)
        EXPECT_EQ(window_.Count(code), 0u) << code;
    // ...and every later change of a word from one value to another is an event.
    for (size_t word = 0; word < 16; ++word)
        ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", word, 2));
    AppDevice* device = session_->FindDevice("MDVR-10003");
    for (uintptr_t code = VELQ_EV_STATUS_FIRST; code <= VELQ_EV_STATUS_LAST; ++code) {
        ASSERT_TRUE(window_.WaitFor(code, 5s)) << code;
    }
    for (const auto& e : window_.Events()) {
        if (e.code >= VELQ_EV_STATUS_FIRST && e.code <= VELQ_EV_STATUS_LAST) {
            EXPECT_EQ(e.value, reinterpret_cast<intptr_t>(device));
        }
    }
    // A device record changed on the server reaches the client through the next status reply.
    DeviceRecord record;
    record.set_id("MDVR-10003");
    record.set_text1("KT-0098@4");
    record.set_text2("New Driver");
    ASSERT_EQ(server_->fleet().ModifyDevice(record), velq_sim::FleetAnswer::kOk);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard guard(device->lock);
        return device->record.text1() == "KT-0098@4";
    }));
    EXPECT_EQ(window_.Count(VELQ_EV_STATUS_FIRST + 13), 1u);
}

TEST_F(Center, AlarmsKeepComingAfterTheCenterRestartsWithLowerStamps) {
    StartServer();
    LoginAndList();
    ASSERT_TRUE(WaitInStep());
    // The alarm words start clear on the server: give them a first value, which posts nothing.
    for (size_t word = 8; word < 16; ++word)
        ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", word, 1));
    // Drive the first server's stamp well above anything the second one reaches below.
    for (uint32_t i = 0; i < 100; ++i)
        ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 0, 1 + i % 2));
    ASSERT_TRUE(WaitInStep());
    ASSERT_NO_FATAL_FAILURE(ExpectAllStatusEvents("MDVR-10003", 3));
    ASSERT_TRUE(WaitInStep());
    const uint64_t old_stamp = server_->fleet().stamp();

    auto config = QuietConfig();
    config.tcp_port = server_->tcp_port();
    config.udp_port = server_->udp_port();
    server_->Stop();
    StartServer(config);  // same ports, stamps begin again from the fleet's start
    ASSERT_LT(server_->fleet().stamp() + 16, old_stamp);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s, 2));
    ASSERT_NO_FATAL_FAILURE(ExpectAllStatusEvents("MDVR-10003", 4));
    EXPECT_TRUE(WaitInStep());
}

TEST_F(Center, PollAnswerFromAnotherSocketChangesNothing) {
    StartServer();
    LoginAndList();
    ASSERT_TRUE(WaitInStep());
    uint16_t client_port = 0;
    ASSERT_TRUE(WaitUntil([&] { return (client_port = session_->udp_service().local_port()) != 0; }));
    // Another sender on the network answers the poll with the highest stamp there is.
    const int stranger = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(stranger, 0);
    sockaddr_in client{};
    client.sin_family = AF_INET;
    client.sin_port = htons(client_port);
    client.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    uint8_t answer[PollAnswer::kMinBytes];
    PollAnswer::Encode(kCenterVersion, ~0ull, answer);
    for (int i = 0; i < 3; ++i) {
        sendto(stranger, answer, sizeof(answer), 0, reinterpret_cast<const sockaddr*>(&client),
               sizeof(client));
        std::this_thread::sleep_for(200ms);  // more than a poll interval: the forged stamp had its chance
    }
    close(stranger);
    EXPECT_NE(session_->tcp_service().newest_stamp(), ~0ull);
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 0, 1));
    ASSERT_TRUE(WaitInStep());
    ASSERT_NO_FATAL_FAILURE(ExpectAllStatusEvents("MDVR-10003", 2));
    EXPECT_TRUE(WaitInStep());
}

TEST_F(Center, MovingVehiclesReportNewPositionsWithValidSentences) {
    auto config = QuietConfig();
    config.tick_ms = 100;
    config.alarm_chance = 1.0;  // an alarm word changes with every step
    StartServer(config);
    LoginAndList();
    AppDevice* device = session_->FindDevice("MDVR-10001");
    char first[128] = {};
    VelqDev_GetDevInfo(device, VELQ_DEV_POSITION, first, sizeof(first));
    ASSERT_TRUE(WaitUntil([&] {
        char now[128] = {};
        VelqDev_GetDevInfo(device, VELQ_DEV_POSITION, now, sizeof(now));
        return std::strcmp(now, first) != 0 && VelqApp_GPRMC(now, nullptr, nullptr, nullptr, nullptr) == 1;
    }));
    ASSERT_TRUE(WaitUntil([&] {
        for (uintptr_t code = VELQ_EV_STATUS_FIRST + 8; code <= VELQ_EV_STATUS_LAST; ++code) {
            if (window_.Count(code) > 0) return true;
        }
        return false;
    }));
}

TEST_F(Center, AddAndModifyDevices) {
    auto config = QuietConfig();
    StartServer(config);
    LoginAndList();
    AppDevice* added = VelqApp_CreateDevice(session_.get(), "MDVR-20001");
    ASSERT_EQ(VelqDev_SetDevInfo(added, VELQ_DEV_TEXT1, "NW-1000@2", 32), 32);
    ASSERT_EQ(VelqDev_SetDevInfo(added, VELQ_DEV_TEXT2, "Ada Brandt", 32), 32);
    ASSERT_EQ(VelqOpt_QueryModify(added), 1);
    AppOperation* operation = AwaitOperation(0);
    ASSERT_NE(operation, nullptr);
    EXPECT_EQ(VelqOpt_GetType(operation), VELQ_OP_ADD_DEVICE);
    EXPECT_EQ(VelqOpt_GetDevice(operation), added);
    VelqOpt_Release(session_.get(), operation);
    EXPECT_EQ(session_->FindDevice("MDVR-20001"), added);
    const auto ids = server_->fleet().DeviceIds();
    EXPECT_NE(std::find(ids.begin(), ids.end(), "MDVR-20001"), ids.end());

    ASSERT_EQ(VelqDev_SetDevInfo(added, VELQ_DEV_TEXT2, "Ada Brandt-Holm", 32), 32);
    ASSERT_EQ(VelqOpt_QueryModify(added), 1);
    operation = AwaitOperation(1);
    ASSERT_NE(operation, nullptr);
    EXPECT_EQ(VelqOpt_GetType(operation), VELQ_OP_MODIFY_DEVICE);
    VelqOpt_Release(session_.get(), operation);
    bool found = false;
    for (const auto& record : server_->fleet().Records(false)) {
        if (record.id() == "MDVR-20001") found = record.text2() == "Ada Brandt-Holm";
    }
    EXPECT_TRUE(found);

    AppDevice* too_short = VelqApp_CreateDevice(session_.get(), "abc");
    ASSERT_EQ(VelqOpt_QueryModify(too_short), 1);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_REFUSED, 5s));
    EXPECT_EQ(window_.Events().back().value, VELQ_OP_ADD_DEVICE);
}

TEST_F(Center, ControlRequestsReadBackWhatWasWrittenAndCameraCommandsAreLogged) {
    StartServer();
    LoginAndList();
    AppDevice* device = session_->FindDevice("MDVR-10004");
    struct Step {
        int type, value, expected;
    };
    const Step steps[] = {
        {VELQ_CTL_SET_RESOLUTION, 3, 3},
        {VELQ_CTL_GET_RESOLUTION, 0, 3},
        {VELQ_CTL_SET_FRAME_RATE, 15, 15},
        {VELQ_CTL_GET_FRAME_RATE, 0, 15},
        {VELQ_CTL_SET_QUALITY, 5, 5},
        {VELQ_CTL_GET_QUALITY, 0, 5},
        {VELQ_CTL_SET_BIT_RATE, 256 * 1024, 256 * 1024},
        {VELQ_CTL_GET_BIT_RATE, 0, 256 * 1024},
        {137, 11, 11},
        {138, 12, 12},
        {139, 13, 13},
        {140, 14, 14},
        {141, 15, 15},
        {VELQ_CTL_PTZ, 0x000A05, 0x000A05},
    };
    size_t done = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.type);
        ASSERT_EQ(VelqOpt_QueryControl(device, step.type, 2, step.value, 0), 1);
        AppOperation* operation = AwaitOperation(done++);
        ASSERT_NE(operation, nullptr);
        EXPECT_EQ(VelqOpt_GetType(operation), step.type);
        int channel = 0, value = 0;
        ASSERT_EQ(VelqOpt_GetControlResult(operation, &channel, &value, nullptr), 1);
        EXPECT_EQ(channel, 2);
        EXPECT_EQ(value, step.expected);
        VelqOpt_Release(session_.get(), operation);
    }
    const auto log = server_->camera_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("MDVR-10004 channel 2 command 5"), std::string::npos);
    // Channel 3 was never written: it reads the resolution the vehicle streams (CIF, 2).
    ASSERT_EQ(VelqOpt_QueryControl(device, VELQ_CTL_GET_RESOLUTION, 3, 0, 0), 1);
    AppOperation* operation = AwaitOperation(done);
    int value = 0;
    VelqOpt_GetControlResult(operation, nullptr, &value, nullptr);
    EXPECT_EQ(value, 2);
    VelqOpt_Release(session_.get(), operation);
}

TEST_F(Center, RefusedAndFailedOperationsPostTheirKind) {
    StartServer();
    LoginAndList();
    AppDevice* device = session_->FindDevice("MDVR-10001");
    ASSERT_EQ(VelqOpt_QueryControl(device, VELQ_CTL_SET_RESOLUTION, 1, 9, 0), 1);  // out of range
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_REFUSED, 5s));
    EXPECT_EQ(window_.Events().back().value, VELQ_CTL_SET_RESOLUTION);
    velq_sim::CenterFaults faults;
    faults.fail_requests = true;
    server_->set_faults(faults);
    ASSERT_EQ(VelqOpt_QueryControl(device, VELQ_CTL_PTZ, 1, 1, 0), 1);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_FAILED, 5s));
    EXPECT_EQ(window_.Events().back().value, VELQ_CTL_PTZ);
    EXPECT_EQ(window_.Count(VELQ_EV_OPERATION_DONE), 0u);
    EXPECT_TRUE(server_->camera_log().empty());
}

TEST_F(Center, DroppedConnectionIsMadeAgainAndLogsInAgain) {
    StartServer();
    LoginAndList();
    velq_sim::CenterFaults faults;
    faults.drop_after_replies = 1;
    server_->set_faults(faults);
    ASSERT_EQ(VelqApp_ShowAllDevice(session_.get()), 1);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 5s));
    server_->set_faults({});
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s, 2));
    const auto codes = window_.Codes();
    const auto failed = std::find(codes.begin(), codes.end(), VELQ_EV_CONNECT_FAILED);
    ASSERT_NE(failed, codes.end());
    const std::vector<uintptr_t> after(failed, codes.end());
    ASSERT_GE(after.size(), 3u);
    EXPECT_EQ(after[1], VELQ_EV_CONNECTING);
    EXPECT_EQ(after[2], VELQ_EV_LOGIN_OK);
    EXPECT_EQ(server_->connections_accepted(), 2u);
    EXPECT_EQ(session_->DeviceCount(), 8u);  // the registry survives the reconnect
}

TEST_F(Center, UnreachableServerIsRetriedUntilItAppears) {
    StartServer();
    const uint16_t tcp = server_->tcp_port(), udp = server_->udp_port();
    server_->Stop();
    Login();  // to the ports just closed
    session_->Logout();
    session_ = std::make_unique<AppSession>(&window_, VELQ_MESSAGE);
    session_->set_center_timing(FastTiming());
    auto config = QuietConfig();
    config.tcp_port = tcp;
    config.udp_port = udp;
    window_.Clear();
    ASSERT_EQ(VelqApp_SetCenterServer(session_.get(), "127.0.0.1", tcp, udp), 1);
    ASSERT_EQ(VelqApp_Login(session_.get(), "orvi", "480913"), 1);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 5s, 2));
    StartServer(config);
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s));
    EXPECT_EQ(VelqApp_SetCenterServer(session_.get(), "127.0.0.1", 1, 1), 0);  // refused while logged in
    EXPECT_EQ(VelqApp_Login(session_.get(), "orvi", "480913"), 0);
}

}  // namespace
}  // namespace corvel::test

// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a device's status words as last received, against velq-sim's center: words a vehicle already
// had at login, a word going to 0 and back, and the simulated fleet's own alarms, while the events keep
// their rule of posting only changes between non-zero values.
#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <random>

#include "sim_harness.h"

namespace corvel::test {
namespace {

using Words = std::array<uint32_t, 16>;

class StatusWords : public SimHarness {
  protected:
    // Logs in, lists, asks for the words the server holds now, and waits until every listed device the
    // server has a status record for has them; the refresh itself posts no status event.
    void LoginAndFill() {
        ASSERT_NO_FATAL_FAILURE(LoginAndList());
        ASSERT_TRUE(WaitInStep());
        // The request is the session's: a state-0 device made only to carry it will do.
        AppDevice* carrier = VelqApp_CreateDevice(session_.get(), "");
        ASSERT_NE(carrier, nullptr);
        ASSERT_EQ(Ask(carrier), 1);
        VelqDev_Release(carrier);
        const auto filled = [&] {
            for (AppDevice* device : session_->Devices()) {
                const std::string id(device->record.id());
                const auto vehicle = server_->fleet().Find(id);
                uint32_t serial = 0;
                if (!vehicle || Read(device, &serial) != OnServer(id.c_str()) ||
                    (serial != 0) != (vehicle->stamp != 0))
                    return false;
            }
            return true;
        };
        ASSERT_TRUE(WaitUntil(filled));
        EXPECT_EQ(StatusEvents(), 0u);
    }
    static int Ask(AppDevice* device) {
        return VelqDev_SetDevInfo(device, VELQ_DEV_QUERY_STATUS_WORDS, nullptr, 0);
    }
    // The 16 words then the serial, 68 bytes.
    Words Read(AppDevice* device, uint32_t* serial = nullptr) {
        uint32_t all[17];
        std::fill(std::begin(all), std::end(all), 0xdeadbeef);
        EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_STATUS_WORDS, all, sizeof(all)), 68);
        Words words{};
        std::copy(all, all + 16, words.begin());
        if (serial != nullptr) *serial = all[16];
        return words;
    }
    Words OnServer(const char* id) {
        Words words{};
        const auto vehicle = server_->fleet().Find(id);
        EXPECT_TRUE(vehicle.has_value());
        if (vehicle) std::copy(std::begin(vehicle->words), std::end(vehicle->words), words.begin());
        return words;
    }
    size_t StatusEvents() {
        size_t n = 0;
        for (uintptr_t code = VELQ_EV_STATUS_FIRST; code <= VELQ_EV_STATUS_LAST; ++code)
            n += window_.Count(code);
        return n;
    }
};

TEST_F(StatusWords, WordsAtLoginAndAWordGoingToZeroAndBackAreSeen) {
    StartServer();
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 13, 3));
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 9, 1));
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10005", 12, 4));  // offline: listed only by the client
    ASSERT_NO_FATAL_FAILURE(LoginAndFill());
    AppDevice* device = session_->FindDevice("MDVR-10003");
    ASSERT_NE(device, nullptr);
    uint32_t serial = 0;
    Words words = Read(device, &serial);
    EXPECT_EQ(words[13], 3u);
    EXPECT_EQ(words[9], 1u);
    EXPECT_EQ(words, OnServer("MDVR-10003"));
    EXPECT_GE(serial, 1u);
    EXPECT_EQ(StatusEvents(), 0u);  // the first values stay silent as events
    // A device whose words never changed has had its record: serial 1, not the 0 of "nothing yet".
    AppDevice* quiet = session_->FindDevice("MDVR-10001");
    ASSERT_NE(quiet, nullptr);
    uint32_t quiet_serial = 0, quiet_after = 0;
    EXPECT_EQ(Read(quiet, &quiet_serial), OnServer("MDVR-10001"));
    EXPECT_EQ(quiet_serial, 1u);
    EXPECT_EQ(Read(session_->FindDevice("MDVR-10005"))[12], 4u);

    // To 0: the events say nothing, the words do.
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 13, 0));
    ASSERT_TRUE(WaitInStep());
    uint32_t cleared_serial = 0;
    words = Read(device, &cleared_serial);
    EXPECT_EQ(words[13], 0u);
    EXPECT_EQ(words[9], 1u);
    EXPECT_GT(cleared_serial, serial);
    EXPECT_EQ(StatusEvents(), 0u);

    // Back to the value it had: still no event (the event bookkeeping kept 3), but the word is seen.
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 13, 3));
    ASSERT_TRUE(WaitInStep());
    uint32_t back_serial = 0;
    EXPECT_EQ(Read(device, &back_serial)[13], 3u);
    EXPECT_GT(back_serial, cleared_serial);
    EXPECT_EQ(StatusEvents(), 0u);
    // Another non-zero value is the one change that posts.
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 13, 2));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_STATUS_FIRST + 13, 5s));
    EXPECT_EQ(Read(device)[13], 2u);

    // A device whose words stay alike keeps its serial while others change.
    EXPECT_EQ(Read(quiet, &quiet_after), OnServer("MDVR-10001"));
    EXPECT_EQ(quiet_after, quiet_serial);

    // The buffer: one byte short gets nothing written; an unaligned one gets the same 68 bytes; the codes
    // beside the added ones and the documented ones keep their rule.
    uint32_t expected_serial = 0;
    const Words expected = Read(device, &expected_serial);
    unsigned char bytes[69];
    std::fill(std::begin(bytes), std::end(bytes), 0xa5);
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_STATUS_WORDS, bytes, 67), 0);
    EXPECT_TRUE(std::all_of(std::begin(bytes), std::end(bytes), [](unsigned char b) { return b == 0xa5; }));
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_STATUS_WORDS, nullptr, 68), 0);
    ASSERT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_STATUS_WORDS, bytes + 1, 68), 68);
    Words unaligned{};
    uint32_t unaligned_serial = 0;
    std::memcpy(unaligned.data(), bytes + 1, 64);
    std::memcpy(&unaligned_serial, bytes + 65, 4);
    EXPECT_EQ(unaligned, expected);
    EXPECT_EQ(unaligned_serial, expected_serial);
    EXPECT_EQ(bytes[0], 0xa5);
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_PRE_RECORD_SECONDS + 1, bytes, sizeof(bytes)), 0);
    EXPECT_EQ(VelqDev_SetDevInfo(device, VELQ_DEV_STATUS_WORDS, bytes, 68), 0);
    char id[64] = {};
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_ID, id, sizeof(id)), 10);
    EXPECT_STREQ(id, "MDVR-10003");
    // A listed device carries the request as well; the words stay the server's.
    EXPECT_EQ(Ask(device), 1);
    ASSERT_TRUE(WaitInStep());
    EXPECT_EQ(Read(device), OnServer("MDVR-10003"));
}

// The fleet's own alarms (what --alarm-percent drives), every vehicle changing a word each step: after
// each step the words read back are the server's, clears included, and the serial moves exactly when
// the words did.
TEST_F(StatusWords, TheSimulatedFleetsAlarmsReadBackAsTheServerHasThem) {
    StartServer();
    ASSERT_NO_FATAL_FAILURE(LoginAndFill());
    const std::vector<std::string> ids = server_->fleet().DeviceIds();
    std::vector<Words> last(ids.size());
    std::vector<uint32_t> serials(ids.size(), 0);
    for (size_t i = 0; i < ids.size(); ++i) last[i] = Read(session_->FindDevice(ids[i]), &serials[i]);
    std::mt19937 random(7);
    int clears_seen = 0;
    for (int step = 0; step < 12; ++step) {
        server_->fleet().Tick(static_cast<uint32_t>(std::time(nullptr)), 1.0, 1.0, random);
        ASSERT_TRUE(WaitInStep());
        for (size_t i = 0; i < ids.size(); ++i) {
            AppDevice* device = session_->FindDevice(ids[i]);
            ASSERT_NE(device, nullptr);
            uint32_t serial = 0;
            const Words words = Read(device, &serial);
            EXPECT_EQ(words, OnServer(ids[i].c_str())) << ids[i] << " step " << step;
            EXPECT_EQ(serial != serials[i], words != last[i]) << ids[i] << " step " << step;
            for (size_t w = 0; w < 16; ++w) clears_seen += last[i][w] != 0 && words[w] == 0;
            last[i] = words;
            serials[i] = serial;
        }
    }
    EXPECT_GT(clears_seen, 0);
}

TEST_F(StatusWords, WithoutTheRefreshWordsBeforeLoginStayUnknownAndLoggedOutCallsFail) {
    StartServer();
    ASSERT_TRUE(server_->fleet().SetStatusWord("MDVR-10003", 13, 3));
    LoginAndList();
    ASSERT_TRUE(WaitInStep());
    AppDevice* device = session_->FindDevice("MDVR-10003");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Read(device)[13], 0u);  // nothing asked the server for them
    session_->Logout();
    uint32_t words[17] = {};
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_STATUS_WORDS, words, sizeof(words)), -1);
    EXPECT_EQ(Ask(device), 0);
}

}  // namespace
}  // namespace corvel::test

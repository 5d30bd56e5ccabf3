// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/le.h"
#include "corvel/corvel.h"
#include "session/session.h"
#include "test_window.h"

namespace {

using corvel::DeviceRecord;
using corvel::test::TestWindow;

class RegistryTest : public ::testing::Test {
  protected:
    TestWindow window;
    AppSession session{&window, VELQ_MESSAGE};

    // A device object filled from a list record, as the center-server thread hands it over.
    AppDevice* Candidate(const std::string& id, uint32_t last_report = 1700000000,
                         const std::string& text1 = "") {
        AppDevice* device = session.TakeDevice();
        DeviceRecord record;
        corvel::StoreLE32(record.bytes, DeviceRecord::kBytes);
        record.set_id(id);
        record.set_text1(text1);
        record.set_channel_count(4);
        record.set_last_report(last_report);
        device->BindRecord(&session, record.bytes);
        return device;
    }
    // Merges a whole list; candidates that updated an existing device go back to the pool.
    void MergeList(const std::vector<std::string>& ids, uint32_t last_report = 1700000000) {
        session.BeginList(static_cast<uint32_t>(ids.size()));
        for (const auto& id : ids) {
            AppDevice* candidate = Candidate(id, last_report);
            if (!session.MergeDevice(candidate)) session.ReleaseDevice(candidate);
        }
        session.EndList();
    }
    std::vector<uintptr_t> CodesFor(AppDevice* device) {
        std::vector<uintptr_t> codes;
        for (const auto& e : window.Events()) {
            if (e.value == reinterpret_cast<intptr_t>(device)) codes.push_back(e.code);
        }
        return codes;
    }
    // A 368-byte status record for a device with the given words.
    std::vector<uint8_t> StatusRecord(const std::string& id, const uint32_t (&words)[16],
                                      uint32_t record_size = 280) {
        std::vector<uint8_t> rec(368, 0);
        DeviceRecord device;
        corvel::StoreLE32(device.bytes, record_size);
        device.set_id(id);
        device.set_text1("status");
        device.set_last_report(42);
        std::memcpy(rec.data() + 20, device.bytes, DeviceRecord::kBytes);
        const size_t words_at = 20 + (record_size & ~3u);
        for (int i = 0; i < 16 && words_at + 4 * i + 4 <= rec.size(); ++i)
            corvel::StoreLE32(&rec[words_at + 4 * i], words[i]);
        return rec;
    }
};

TEST_F(RegistryTest, NewDevicesArePostedAs129InListOrderWithTheirState) {
    MergeList({"bus-1", "bus-2"});
    session.BeginList(1);
    AppDevice* late = Candidate("bus-3", 0);  // never reported: stays absent
    ASSERT_TRUE(session.MergeDevice(late));
    session.EndList();
    auto devices = session.Devices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0]->record.id(), "bus-1");
    EXPECT_EQ(devices[2]->record.id(), "bus-3");
    EXPECT_EQ(devices[2]->state.load(), kDeviceAbsent);
    // The second list did not name bus-1 and bus-2: they are reported gone but stay registered.
    EXPECT_EQ(CodesFor(devices[0]), (std::vector<uintptr_t>{VELQ_EV_DEVICE_NEW, VELQ_EV_DEVICE_GONE}));
    EXPECT_EQ(devices[0]->state.load(), kDeviceAbsent);
    EXPECT_EQ(CodesFor(devices[2]), (std::vector<uintptr_t>{VELQ_EV_DEVICE_NEW}));
}

TEST_F(RegistryTest, EmptyListReportsEveryDeviceGoneAndKeepsThem) {
    MergeList({"a", "b", "c"});
    window.Clear();
    MergeList({});
    auto events = window.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].code, VELQ_EV_LIST_BEGIN);
    EXPECT_EQ(events[0].value, 0);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(events[i].code, VELQ_EV_DEVICE_GONE);
    EXPECT_EQ(session.DeviceCount(), 3u);
    for (AppDevice* device : session.Devices()) EXPECT_EQ(device->state.load(), kDeviceAbsent);
}

TEST_F(RegistryTest, DeviceListedTwiceIsAppendedOnceAndReportedAsChanged) {
    session.BeginList(2);
    AppDevice* first = Candidate("dup", 100, "first");
    AppDevice* second = Candidate("dup", 100, "second");
    EXPECT_TRUE(session.MergeDevice(first));
    EXPECT_FALSE(session.MergeDevice(second));
    session.ReleaseDevice(second);
    session.EndList();
    EXPECT_EQ(session.DeviceCount(), 1u);
    EXPECT_EQ(CodesFor(first), (std::vector<uintptr_t>{VELQ_EV_DEVICE_CHANGED}));
    EXPECT_EQ(first->record.text1(), "second");  // the mutable part came from the second record
    EXPECT_EQ(first->state.load(), kDevicePresent);
}

TEST_F(RegistryTest, MergeMatchesOnTheIdentifierNotJustTheKey) {
    // Names of 32+ characters that differ only at an index the key skips share the key.
    std::string a(40, 'x'), b(40, 'x');
    b[0] = 'y';
    ASSERT_EQ(corvel::NameHash(a), corvel::NameHash(b));
    MergeList({a, b});
    EXPECT_EQ(session.DeviceCount(), 2u);
    EXPECT_NE(session.FindDevice(a), session.FindDevice(b));
    EXPECT_EQ(session.FindDevice(b)->record.id(), b);
}

TEST_F(RegistryTest, IdentifiersThatShareTheNameKeyDoNotShareAProbeRun) {
    // 40-character names that differ only at even indices, which the name key never reads.
    std::vector<std::string> ids;
    for (uint32_t n = 0; n < 20000; ++n) {
        std::string id(40, 'x');
        for (uint32_t rest = n, at = 0; rest != 0; rest /= 26, at += 2)
            id[at] = static_cast<char>('A' + rest % 26);
        ids.push_back(id);
    }
    ASSERT_EQ(corvel::NameHash(ids.front()), corvel::NameHash(ids.back()));
    MergeList(ids);
    ASSERT_EQ(session.DeviceCount(), ids.size());
    // One shared key would make the last of them 19,999 slots from home, and every merge walk that far.
    EXPECT_LT(session.LongestIndexProbe(), 64u);
    AppDevice* last = session.FindDevice(ids.back());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->record.id(), ids.back());
    EXPECT_EQ(last->name_key, corvel::NameHash(ids.back()));  // the device keeps its name key
}

TEST_F(RegistryTest, StatusWordsPostOnlyChangesBetweenNonZeroValues) {
    MergeList({"car"});
    AppDevice* device = session.FindDevice("car");
    window.Clear();
    uint32_t words[16] = {};
    words[0] = 5;  // first non-zero value: stored, no event
    words[9] = 1;
    auto rec = StatusRecord("car", words);
    session.ApplyStatus(rec.data(), rec.size());
    EXPECT_TRUE(window.Events().empty());
    EXPECT_EQ(device->status_words[0], 5u);
    EXPECT_EQ(device->record.text1(), "status");  // mutable part copied

    words[0] = 0;  // zero never overwrites
    words[9] = 2;  // 1 -> 2: event 169
    rec = StatusRecord("car", words);
    session.ApplyStatus(rec.data(), rec.size());
    EXPECT_EQ(window.Codes(), (std::vector<uintptr_t>{VELQ_EV_STATUS_FIRST + 9}));
    EXPECT_EQ(device->status_words[0], 5u);
    EXPECT_EQ(device->status_words[9], 2u);

    window.Clear();
    session.ApplyStatus(rec.data(), rec.size());  // same words again: nothing
    EXPECT_TRUE(window.Events().empty());
}

TEST_F(RegistryTest, StatusForUnknownDeviceOrWithAnOutOfRangeSizeIsHarmless) {
    MergeList({"car"});
    window.Clear();
    uint32_t words[16];
    for (auto& w : words) w = 7;
    auto unknown = StatusRecord("other", words);
    session.ApplyStatus(unknown.data(), unknown.size());
    EXPECT_TRUE(window.Events().empty());
    // A record size that would put the words past the received bytes leaves them alone.
    auto huge = StatusRecord("car", words, 0xFFFFFFF0u);
    session.ApplyStatus(huge.data(), huge.size());
    EXPECT_EQ(session.FindDevice("car")->status_words[0], 0u);
    // Too short to hold a device record: ignored.
    session.ApplyStatus(huge.data(), 100);
}

TEST_F(RegistryTest, StatusWordsFollowTheDeclaredRecordSize) {
    MergeList({"car"});
    uint32_t words[16] = {};
    words[3] = 9;
    auto rec = StatusRecord("car", words, 262);  // rounded down to 260: words at 280
    session.ApplyStatus(rec.data(), rec.size());
    EXPECT_EQ(session.FindDevice("car")->status_words[3], 9u);
}

TEST_F(RegistryTest, LogoutEmptiesTheRegistryIntoThePoolLastFirst) {
    MergeList({"a", "b"});
    auto devices = session.Devices();
    session.Logout();
    EXPECT_EQ(session.DeviceCount(), 0u);
    // Logout releases from the back of the list: b first, then a, so a comes out of the pool first.
    EXPECT_EQ(session.TakeDevice(), devices[0]);
    EXPECT_EQ(session.TakeDevice(), devices[1]);
}

TEST(Pool, HandsTheLastReleasedObjectOutFirst) {
    TestWindow window;
    AppSession session(&window, VELQ_MESSAGE);
    AppOperation* a = session.TakeOperation();
    AppOperation* b = session.TakeOperation();
    ASSERT_NE(a, b);
    a->kind = 99;
    a->data[10] = 1;
    session.ReleaseOperation(b);
    session.ReleaseOperation(a);
    AppOperation* again = session.TakeOperation();
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->kind, 0);  // zero-filled when taken
    EXPECT_EQ(again->data[10], 0);
    EXPECT_EQ(session.TakeOperation(), b);
    EXPECT_EQ(session.operation_pool().total_count(), 2u);
}

TEST(Pool, ACappedPoolMakesNoMoreThanItsCapEvenForRacingTakers) {
    corvel::Pool<AppOperation, std::mutex> pool(100);
    std::atomic<size_t> taken{0};
    std::vector<std::thread> takers;
    for (int t = 0; t < 8; ++t) {
        takers.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                if (pool.Take() != nullptr) ++taken;
        });
    }
    for (auto& taker : takers) taker.join();
    EXPECT_EQ(taken.load(), 100u);
    EXPECT_EQ(pool.total_count(), 100u);
    EXPECT_EQ(pool.Take(), nullptr);
}

TEST(SessionIdentifier, LongUserNameIsCutInsideItsField) {
    TestWindow window;
    AppSession session(&window, VELQ_MESSAGE);
    const std::string name31(31, 'u');
    session.StoreCredentials(name31.c_str(), "pw", 0xDEADBEEF);
    EXPECT_EQ(std::string(session.user_name), name31);
    EXPECT_EQ(session.session_id[31], '\0');
    EXPECT_EQ(std::string(session.session_id), name31);  // "-DEADBEEF" has no room left
    session.StoreCredentials("orvi", "480913", 0xDEADBEEF);
    EXPECT_EQ(std::string(session.session_id), "orvi-DEADBEEF");
    const std::string too_long(50, 'p');
    session.StoreCredentials(too_long.c_str(), too_long.c_str(), 1);
    EXPECT_EQ(std::string(session.password), std::string(31, 'p'));
    EXPECT_EQ(std::string(session.session_id), std::string(31, 'p'));
}

TEST(DeviceInfo, SmallBuffersGetNothingAndNothingIsWrittenPastThem) {
    TestWindow window;
    AppSession session(&window, VELQ_MESSAGE);
    AppDevice* device = session.TakeDevice();
    device->BindNew(&session, "vehicle-0042");
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(device->GetInfo(VELQ_DEV_ID, buffer, 12), 0);  // 12 characters need 13 bytes
    for (char c : buffer) EXPECT_EQ(c, '#');
    EXPECT_EQ(device->GetInfo(VELQ_DEV_ID, buffer, 13), 12);
    EXPECT_STREQ(buffer, "vehicle-0042");
    EXPECT_EQ(buffer[13], '#');
    int32_t value = -1;
    EXPECT_EQ(device->GetInfo(VELQ_DEV_STATE, &value, 3), 0);
    EXPECT_EQ(device->GetInfo(VELQ_DEV_STATE, &value, 4), 4);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(device->GetInfo(8, buffer, 16), 0);
    // No position flag: an empty text.
    device->record.set_position("");
    EXPECT_EQ(device->GetInfo(VELQ_DEV_POSITION, buffer, 16), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(DeviceInfo, SetRespectsStateAndFieldLimits) {
    TestWindow window;
    AppSession session(&window, VELQ_MESSAGE);
    AppDevice* device = session.TakeDevice();
    device->BindNew(&session, "old");
    const uint32_t old_key = device->name_key;
    EXPECT_EQ(device->SetInfo(VELQ_DEV_ID, "new-name", 9), 9);
    EXPECT_EQ(device->record.id(), "new-name");
    EXPECT_NE(device->name_key, old_key);
    const std::string long_text(40, 't');
    EXPECT_EQ(device->SetInfo(VELQ_DEV_TEXT1, long_text.c_str(), 41), 41);
    EXPECT_EQ(device->record.text1(), std::string(31, 't'));
    const int32_t channels = 8;
    EXPECT_EQ(device->SetInfo(VELQ_DEV_CHANNELS, &channels, 4), 4);
    EXPECT_EQ(device->record.channel_count(), 8);
    device->state = kDevicePresent;  // a device of the server's list
    EXPECT_EQ(device->SetInfo(VELQ_DEV_ID, "x", 2), 0);
    EXPECT_EQ(device->SetInfo(VELQ_DEV_CHANNELS, &channels, 4), 0);
    EXPECT_EQ(device->SetInfo(VELQ_DEV_TEXT2, "driver", 7), 7);
    EXPECT_EQ(device->SetInfo(9, "x", 2), 0);
}

}  // namespace

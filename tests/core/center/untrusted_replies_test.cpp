// SPDX-License-Identifier: GPL-3.0-or-later
// Replies are untrusted: each malformed one must end in a bounded, defined state with the stream in step
// (proved by a well-formed reply that follows) or the connection dropped and made again.
#include "harness.h"

namespace corvel::test {
namespace {

class UntrustedReplies : public CenterHarness {
  protected:
    // After a malformed reply the next exchange must still work: one more list merges a fresh device.
    void ExpectStreamInStep() {
        ASSERT_TRUE(session_->ShowAllDevice());
        const size_t lists = window_.Count(VELQ_EV_LIST_BEGIN);
        AnswerList({MakeRecord("AFTERWARDS")});
        ASSERT_TRUE(window_.WaitFor(VELQ_EV_LIST_BEGIN, 5s, lists + 1));
        ASSERT_TRUE(WaitUntil([&] { return session_->FindDevice("AFTERWARDS") != nullptr; }));
        EXPECT_EQ(window_.Count(VELQ_EV_BAD_MAGIC), 0u);
        EXPECT_EQ(window_.Count(VELQ_EV_CONNECT_FAILED), 0u);
    }
};

TEST_F(UntrustedReplies, HugeRecordCountWithASmallLengthCarriesNoRecords) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    // Four billion records in 280 bytes: every record would be 0 bytes long.
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 4000000000u,
                                             Records({MakeRecord("GHOST")}))));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LIST_BEGIN, 5s, 2));
    EXPECT_EQ(window_.Events().back().value, static_cast<intptr_t>(4000000000u));
    ExpectStreamInStep();
    EXPECT_EQ(session_->FindDevice("GHOST"), nullptr);
    EXPECT_EQ(session_->DeviceCount(), 1u);
}

TEST_F(UntrustedReplies, LengthThatDoesNotDivideByTheCountIsDrainedToTheEnd) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    auto data = Records({MakeRecord("DEV-A"), MakeRecord("DEV-B")});
    data.insert(data.end(), 7, 0x55);  // 567 bytes for 2 records: 283 each, 1 byte left over
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 2, data)));
    ExpectStreamInStep();
    // The second record starts 283 bytes in, so its identifier is shifted by three bytes of padding.
    EXPECT_NE(session_->FindDevice("DEV-A"), nullptr);
    EXPECT_EQ(session_->DeviceCount(), 3u);
}

TEST_F(UntrustedReplies, RecordsLongerThanADeviceRecordAreReadOneByOne) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    auto first = MakeRecord("LONG-1", 1700000001, 8, "VEH-1");
    first.set_position("$GPRMC,x");
    const auto data = Records({first, MakeRecord("LONG-2")}, 400);
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 2, data)));
    ExpectStreamInStep();
    AppDevice* device = session_->FindDevice("LONG-1");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(0, std::memcmp(device->record.bytes, first.bytes, DeviceRecord::kBytes));
    EXPECT_NE(session_->FindDevice("LONG-2"), nullptr);
}

TEST_F(UntrustedReplies, ShortRecordsAreZeroFilled) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 2,
                                             Records({MakeRecord("SHORT-1"), MakeRecord("SHORT-2")}, 100))));
    ExpectStreamInStep();
    AppDevice* device = session_->FindDevice("SHORT-2");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->record.channel_count(), 0);  // at 132, beyond the 100 bytes received
}

TEST_F(UntrustedReplies, TextsWithoutTerminatorStayInsideTheirFields) {
    StartAccepted();
    DeviceRecord record = MakeRecord("x");
    std::memset(record.bytes + DeviceRecord::kIdOffset, 'I', DeviceRecord::kIdBytes);
    std::memset(record.bytes + DeviceRecord::kText1Offset, 'V', 32);
    std::memset(record.bytes + DeviceRecord::kText2Offset, 'D', 32);
    record.bytes[DeviceRecord::kPositionFlagOffset] = 1;
    std::memset(record.bytes + DeviceRecord::kPositionOffset, 'P', DeviceRecord::kPositionBytes);
    Register({record});
    const std::string id(64, 'I');
    AppDevice* device = session_->FindDevice(id);
    ASSERT_NE(device, nullptr);
    char buffer[200];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_ID, buffer, 64), 0);  // no room for the NUL: nothing
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_ID, buffer, 65), 64);
    EXPECT_EQ(std::string(buffer), id);
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_TEXT1, buffer, 33), 32);
    EXPECT_EQ(std::string(buffer), std::string(32, 'V'));
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_TEXT2, buffer, 33), 32);
    EXPECT_EQ(VelqDev_GetDevInfo(device, VELQ_DEV_POSITION, buffer, 129), 128);
    // A control request names the device with all 64 identifier bytes, as the server listed them.
    ASSERT_TRUE(session_->QueryControl(device, VELQ_CTL_GET_QUALITY, 1, 0, 0));
    Request control;
    ASSERT_TRUE(peer_.Read(&control));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(control.data.data() + 8), 64), id);
}

TEST_F(UntrustedReplies, ControlReplyLongerThanItsRecordKeepsTheFirst84Bytes) {
    StartAccepted();
    Register({MakeRecord("CAM-1")});
    AppDevice* device = session_->FindDevice("CAM-1");
    ASSERT_TRUE(session_->QueryControl(device, VELQ_CTL_SET_QUALITY, 2, 4, 9));
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    std::vector<uint8_t> reply(200, 0x77);
    ControlRecord record = ControlRecord::Decode(request.data.data());
    record.value = 5;
    record.value2 = -3;
    record.Encode(reply.data());
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, reply)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_DONE, 5s));
    auto* operation = reinterpret_cast<AppOperation*>(window_.Events().back().value);
    int channel = 0, value = 0, value2 = 0;
    ASSERT_EQ(VelqOpt_GetControlResult(operation, &channel, &value, &value2), 1);
    EXPECT_EQ(channel, 2);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(value2, -3);
    EXPECT_EQ(operation->data[84], 0);  // nothing of the surplus kept
    VelqOpt_Release(session_.get(), operation);
    ExpectStreamInStep();
}

TEST_F(UntrustedReplies, ShortControlReplyLeavesTheRestOfTheRecordZero) {
    StartAccepted();
    Register({MakeRecord("CAM-1")});
    ASSERT_TRUE(session_->QueryControl(session_->FindDevice("CAM-1"), VELQ_CTL_GET_FRAME_RATE, 1, 0, 0));
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    std::vector<uint8_t> reply(76, 0);
    std::memcpy(reply.data(), request.data.data(), 76);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, reply)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_DONE, 5s));
    auto* operation = reinterpret_cast<AppOperation*>(window_.Events().back().value);
    int value = -1;
    ASSERT_EQ(VelqOpt_GetControlResult(operation, nullptr, &value, nullptr), 1);
    EXPECT_EQ(value, 0);
    VelqOpt_Release(session_.get(), operation);
}

TEST_F(UntrustedReplies, ConnectionClosedHalfWayThroughAListEndsTheMergeAndReconnects) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    auto data = Records({MakeRecord("HALF-1"), MakeRecord("HALF-2"), MakeRecord("HALF-3")});
    data.resize(280 + 100);
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 3, data, 0,
                                             kCenterVersion, kCenterMagic, 840)));
    peer_.CloseConnection();
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 5s));
    EXPECT_NE(session_->FindDevice("HALF-1"), nullptr);  // the merge ended with what had arrived
    EXPECT_EQ(session_->FindDevice("HALF-2"), nullptr);
    EXPECT_EQ(DeviceEventsOfLastList(), (std::vector<uintptr_t>{129}));
    ASSERT_TRUE(peer_.Accept());
    Request again;
    ASSERT_TRUE(peer_.Read(&again));
    EXPECT_EQ(again.header.sequence, 1u);
}

TEST_F(UntrustedReplies, ConnectionClosedInsideAReplyHeaderReconnects) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    auto reply = CenterPeer::Answer(request);
    reply.resize(60);
    ASSERT_TRUE(peer_.Send(reply));
    peer_.CloseConnection();
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 5s));
    ASSERT_TRUE(peer_.Accept());
    EXPECT_TRUE(peer_.Read(&request));
}

TEST_F(UntrustedReplies, StatusReplyWithHugeCountSetsTheRequestStampAndDrains) {
    StartAccepted();
    session_->udp_service().QueueStatusRequest(42);
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(
        CenterPeer::Reply(kReplyAnswer, request.header.sequence, 0xFFFFFFFFu, std::vector<uint8_t>(300, 1))));
    ExpectStreamInStep();
    EXPECT_EQ(session_->tcp_service().newest_stamp(), 42u);
}

TEST_F(UntrustedReplies, UnknownReplyKindIsDrained) {
    StartAccepted();
    ASSERT_TRUE(session_->ShowAllDevice());
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(
        peer_.Send(CenterPeer::Reply(0x9999, request.header.sequence, 1, Records({MakeRecord("ODD")}))));
    ExpectStreamInStep();
    EXPECT_EQ(session_->FindDevice("ODD"), nullptr);
}

}  // namespace
}  // namespace corvel::test

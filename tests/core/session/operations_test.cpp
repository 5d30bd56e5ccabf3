// SPDX-License-Identifier: GPL-3.0-or-later
// Operations through the exports, against a scripted server: the request bytes each one sends, the
// events that complete it, and who owns what afterwards.
#include "../center/harness.h"

namespace corvel::test {
namespace {

class Operations : public CenterHarness {
  protected:
    AppDevice* RegisterOne(const char* id = "CAM-0001", int32_t channels = 4) {
        Register({MakeRecord(id, 1700000000, channels)});
        return session_->FindDevice(id);
    }
    AppOperation* LastOperation() { return reinterpret_cast<AppOperation*>(window_.Events().back().value); }
};

TEST_F(Operations, PreconditionsAreCheckedBeforeAnythingIsQueued) {
    TestWindow window;
    AppSession idle(&window, VELQ_MESSAGE);
    EXPECT_EQ(VelqApp_ShowAllDevice(&idle), 0);
    EXPECT_EQ(VelqOpt_QueryAllDevice(&idle), 0);
    EXPECT_EQ(VelqApp_CreateDevice(&idle, "ABCD"), nullptr);

    StartAccepted();
    AppDevice* device = RegisterOne("CAM-0001", 4);
    const size_t operations = session_->operation_pool().total_count();
    EXPECT_EQ(VelqOpt_QueryControl(device, 128, 1, 0, 0), 0);
    EXPECT_EQ(VelqOpt_QueryControl(device, VELQ_CTL_PTZ, 5, 0, 0), 0);  // channel above the count
    EXPECT_EQ(session_->operation_pool().total_count(), operations);    // nothing was taken for those
    EXPECT_EQ(VelqOpt_QueryControl(device, 143, 1, 0, 0), 0);           // taken and given back
    EXPECT_EQ(session_->tcp_service().queued_count(), 0u);
    AppDevice* fresh = VelqApp_CreateDevice(session_.get(), "NEW-1");
    EXPECT_EQ(VelqOpt_QueryControl(fresh, VELQ_CTL_PTZ, 1, 0, 0), 0);  // state 0
    VelqDev_Release(fresh);
    EXPECT_TRUE(peer_.Silent(200));
}

TEST_F(Operations, EveryControlTypeSendsItsCodeAndCompletesWithEvent64) {
    StartAccepted();
    AppDevice* device = RegisterOne();
    for (int type = 129; type <= 142; ++type) {
        ASSERT_EQ(VelqOpt_QueryControl(device, type, 3, type * 1000 + 7, -type), 1);
        Request request;
        ASSERT_TRUE(peer_.Read(&request));
        ASSERT_EQ(request.header.type, 134u);
        ASSERT_EQ(request.raw.size(), 120u + 84u);
        const uint8_t* data = request.data.data();
        EXPECT_EQ(LoadLE32(data), 84u);
        EXPECT_EQ(LoadLE32(data + 4), static_cast<uint32_t>(type - 120));
        EXPECT_STREQ(reinterpret_cast<const char*>(data + 8), "CAM-0001");
        EXPECT_EQ(LoadLE32(data + 72), 3u);
        EXPECT_EQ(LoadLE32(data + 76), static_cast<uint32_t>(type * 1000 + 7));
        EXPECT_EQ(static_cast<int32_t>(LoadLE32(data + 80)), -type);
        ControlRecord reply = ControlRecord::Decode(data);
        reply.value = type;
        std::vector<uint8_t> bytes(84);
        reply.Encode(bytes.data());
        const size_t done = window_.Count(VELQ_EV_OPERATION_DONE);
        ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, bytes)));
        ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_DONE, 5s, done + 1));
        AppOperation* operation = LastOperation();
        EXPECT_EQ(VelqOpt_GetType(operation), type);
        EXPECT_EQ(VelqOpt_GetDevice(operation), device);
        EXPECT_EQ(VelqOpt_GetGPSResult(operation), nullptr);
        int channel = 0, value = 0;
        ASSERT_EQ(VelqOpt_GetControlResult(operation, &channel, &value, nullptr), 1);
        EXPECT_EQ(channel, 3);
        EXPECT_EQ(value, type);
        VelqOpt_Release(session_.get(), operation);
    }
}

TEST_F(Operations, FailureAndRefusalPostTheKindAndRecycleTheOperation) {
    StartAccepted();
    AppDevice* device = RegisterOne();
    ASSERT_TRUE(session_->QueryControl(device, VELQ_CTL_SET_RESOLUTION, 1, 9, 0));
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(
        peer_.Send(CenterPeer::Reply(kReplyFailure, request.header.sequence, 0, std::vector<uint8_t>(50))));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_FAILED, 5s));
    EXPECT_EQ(window_.Events().back().value, VELQ_CTL_SET_RESOLUTION);

    ASSERT_TRUE(session_->QueryControl(device, VELQ_CTL_SET_QUALITY, 1, 9, 0));
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 1,
                                             std::vector<uint8_t>(84), kResultRefused)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_REFUSED, 5s));
    EXPECT_EQ(window_.Events().back().value, VELQ_CTL_SET_QUALITY);
    EXPECT_EQ(window_.Count(VELQ_EV_OPERATION_DONE), 0u);

    // A refused list request (kind 0) posts nothing; the stream stays in step.
    ASSERT_TRUE(session_->ShowAllDevice());
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyFailure, request.header.sequence, 0, {})));
    ASSERT_TRUE(session_->QueryControl(device, VELQ_CTL_GET_QUALITY, 1, 0, 0));
    ASSERT_TRUE(peer_.Read(&request));
    EXPECT_EQ(window_.Count(VELQ_EV_OPERATION_FAILED), 1u);
    // Every finished operation went back to the pool; only the one in flight is out.
    EXPECT_EQ(session_->operation_pool().free_count() + 1, session_->operation_pool().total_count());
}

TEST_F(Operations, AddDeviceRegistersItAndAnAlreadyKnownIdentifierUpdatesInstead) {
    StartAccepted();
    AppDevice* known = RegisterOne("KNOWN-1");
    AppDevice* added = VelqApp_CreateDevice(session_.get(), "ADDED-1");
    ASSERT_NE(added, nullptr);
    const int32_t channels = 8;
    ASSERT_EQ(VelqDev_SetDevInfo(added, VELQ_DEV_CHANNELS, &channels, 4), 4);
    ASSERT_EQ(VelqDev_SetDevInfo(added, VELQ_DEV_TEXT1, "AB-12@3", 32), 32);
    ASSERT_EQ(VelqOpt_QueryModify(added), 1);
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    EXPECT_EQ(request.header.type, 128u);
    ASSERT_EQ(request.data.size(), 280u);
    EXPECT_EQ(0, std::memcmp(request.data.data(), added->record.bytes, 280));
    EXPECT_EQ(LoadLE32(request.data.data() + 132), 8u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_DONE, 5s));
    AppOperation* operation = LastOperation();
    EXPECT_EQ(VelqOpt_GetType(operation), VELQ_OP_ADD_DEVICE);
    EXPECT_EQ(VelqOpt_GetDevice(operation), added);
    EXPECT_EQ(VelqOpt_GetControlResult(operation, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(added->state.load(), kDeviceAbsent);
    EXPECT_EQ(session_->FindDevice("ADDED-1"), added);
    VelqOpt_Release(session_.get(), operation);

    AppDevice* duplicate = VelqApp_CreateDevice(session_.get(), "KNOWN-1");
    VelqDev_SetDevInfo(duplicate, VELQ_DEV_TEXT2, "New Driver", 32);
    const size_t free_devices = session_->device_pool().free_count();
    ASSERT_EQ(VelqOpt_QueryModify(duplicate), 1);
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    ASSERT_TRUE(WaitUntil([&] { return session_->device_pool().free_count() == free_devices + 1; }));
    EXPECT_EQ(window_.Count(VELQ_EV_OPERATION_DONE), 1u);
    std::lock_guard guard(known->lock);
    EXPECT_EQ(known->record.text2(), "New Driver");
}

TEST_F(Operations, ModifySendsTheRecordAndFailedAddsGiveTheDeviceBack) {
    StartAccepted();
    AppDevice* device = RegisterOne();
    ASSERT_EQ(VelqDev_SetDevInfo(device, VELQ_DEV_TEXT1, "ZZ-99", 32), 32);
    ASSERT_EQ(VelqOpt_QueryModify(device), 1);
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    EXPECT_EQ(request.header.type, 132u);
    EXPECT_STREQ(reinterpret_cast<const char*>(request.data.data() + 68), "ZZ-99");
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_DONE, 5s));
    EXPECT_EQ(VelqOpt_GetType(LastOperation()), VELQ_OP_MODIFY_DEVICE);
    VelqOpt_Release(session_.get(), LastOperation());

    AppDevice* rejected = VelqApp_CreateDevice(session_.get(), "NOPE");
    const size_t free_devices = session_->device_pool().free_count();
    ASSERT_EQ(VelqOpt_QueryModify(rejected), 1);
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, request.header.sequence, 0, {}, kResultRefused)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_OPERATION_REFUSED, 5s));
    EXPECT_EQ(window_.Events().back().value, VELQ_OP_ADD_DEVICE);
    ASSERT_TRUE(WaitUntil([&] { return session_->device_pool().free_count() == free_devices + 1; }));
    EXPECT_EQ(session_->FindDevice("NOPE"), nullptr);
}

TEST_F(Operations, QueryAllDeviceHandsTheClientItsOwnDevices) {
    StartAccepted();
    ASSERT_EQ(VelqOpt_QueryAllDevice(session_.get()), 1);
    AnswerList({MakeRecord("ALL-1"), MakeRecord("ALL-2", 0)});
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_ALL_DEVICE, 5s, 2));
    std::vector<AppDevice*> devices;
    for (const auto& e : window_.Events()) {
        if (e.code == VELQ_EV_ALL_BEGIN) {
            EXPECT_EQ(e.value, 2);
        }
        if (e.code == VELQ_EV_ALL_DEVICE) devices.push_back(reinterpret_cast<AppDevice*>(e.value));
    }
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->record.id(), "ALL-1");
    EXPECT_EQ(devices[1]->state.load(), kDeviceUnlisted);
    EXPECT_EQ(session_->DeviceCount(), 0u);  // the registry is not touched
    for (AppDevice* d : devices) VelqDev_Release(d);
    EXPECT_EQ(VelqApp_CreateDevice(session_.get(), "REUSED"), devices[1]);  // last released, first reused
}

TEST_F(Operations, RequestsBeyondTheSessionsCapFailUntilOneComesBack) {
    StartAccepted();
    // The server sits on the first request: every later one waits in the queue.
    size_t accepted = 0;
    while (accepted <= AppSession::kMaxOperations && VelqApp_ShowAllDevice(session_.get()) == 1) ++accepted;
    EXPECT_EQ(accepted, AppSession::kMaxOperations);
    EXPECT_EQ(VelqOpt_QueryAllDevice(session_.get()), 0);
    AppDevice* fresh = VelqApp_CreateDevice(session_.get(), "NO-ROOM");
    EXPECT_EQ(VelqOpt_QueryModify(fresh), 0);  // and the device went back to the pool
    EXPECT_EQ(session_->operation_pool().total_count(), AppSession::kMaxOperations);

    // One answered: its record is free again for the next request.
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    ASSERT_TRUE(peer_.Read(&request));  // the next one went out, so the answered one was recycled
    EXPECT_EQ(VelqApp_ShowAllDevice(session_.get()), 1);
    EXPECT_EQ(session_->operation_pool().total_count(), AppSession::kMaxOperations);
}

TEST_F(Operations, LogoutDropsRequestsThatWereNeverSent) {
    StartAccepted(QuietTiming());
    AppDevice* device = RegisterOne();
    peer_.CloseConnection();  // nothing will carry the queued requests
    ASSERT_TRUE(session_->ShowAllDevice());
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 5s));
    ASSERT_TRUE(session_->QueryControl(device, VELQ_CTL_PTZ, 1, 0x0102, 0));
    AppDevice* fresh = VelqApp_CreateDevice(session_.get(), "QUEUED");
    ASSERT_EQ(VelqOpt_QueryModify(fresh), 1);
    session_->Logout();
    EXPECT_EQ(session_->tcp_service().queued_count(), 0u);
    EXPECT_EQ(session_->operation_pool().free_count(), session_->operation_pool().total_count());
}

}  // namespace
}  // namespace corvel::test

// SPDX-License-Identifier: GPL-3.0-or-later
// The TCP service against a scripted server: request bytes, reply handling, and untrusted replies.
#include <fcntl.h>
#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "harness.h"
#include "test_wait.h"

namespace corvel::test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TcpService : public CenterHarness {};

TEST_F(TcpService, FirstRequestIsSequenceOneWithCredentialsAndLaterOnesCountUp) {
    Start();
    Request first;
    ASSERT_TRUE(peer_.Read(&first));
    ASSERT_EQ(first.raw.size(), 120u);
    EXPECT_EQ(std::string(first.raw.begin(), first.raw.begin() + 8), "QXAPV103");
    EXPECT_EQ(LoadLE32(first.raw.data() + 8), 1u);     // sequence
    EXPECT_EQ(LoadLE32(first.raw.data() + 12), 130u);  // idle status request
    EXPECT_EQ(LoadLE32(first.raw.data() + 16), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(first.raw.data() + 20), "orvi");
    EXPECT_STREQ(reinterpret_cast<const char*>(first.raw.data() + 52), "480913");
    const std::string id(reinterpret_cast<const char*>(first.raw.data() + 84));
    EXPECT_EQ(id.size(), 13u);
    EXPECT_EQ(id.substr(0, 5), "orvi-");
    EXPECT_EQ(id, session_->session_id);
    EXPECT_EQ(LoadLE32(first.raw.data() + 116), 0u);  // no data
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(first)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s));

    ASSERT_TRUE(session_->ShowAllDevice());
    Request second;
    ASSERT_TRUE(peer_.Read(&second, 1000));  // queued requests go out without waiting for the interval
    EXPECT_EQ(second.header.sequence, 2u);
    EXPECT_EQ(second.header.type, 131u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(second)));
    EXPECT_TRUE(peer_.Silent(300));
    EXPECT_EQ(window_.Count(VELQ_EV_LOGIN_OK), 1u);  // only the first reply of a connection logs in
}

TEST_F(TcpService, DroppedConnectionReconnectsAndStartsTheSequenceAgain) {
    StartAccepted();
    peer_.CloseConnection();
    // The service learns of the loss with its next exchange; the request in flight is dropped with it.
    ASSERT_TRUE(session_->ShowAllDevice());
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_CONNECT_FAILED, 5s));
    ASSERT_TRUE(peer_.Accept());
    Request first;
    ASSERT_TRUE(peer_.Read(&first));
    EXPECT_EQ(first.header.sequence, 1u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(first)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LIST_BEGIN, 5s, 2));  // posted right after the login event
    const auto codes = window_.Codes();
    const std::vector<uintptr_t> expected = {2, 5, 128, 1, 2, 5, 128};
    EXPECT_EQ(codes, expected);
}

TEST_F(TcpService, IdleStatusRequestGoesOutAtOnceAndThenEveryInterval) {
    CenterTiming timing = QuietTiming();
    timing.status_interval_ms = 300;
    Start(timing);
    const auto accepted = Clock::now();
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    EXPECT_LT(MsSince(accepted), 150);
    for (int i = 0; i < 3; ++i) {
        const auto answered = Clock::now();
        ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
        ASSERT_TRUE(peer_.Read(&request));
        EXPECT_EQ(request.header.type, 130u);
        EXPECT_GE(MsSince(answered), 250);
        EXPECT_LT(MsSince(answered), 600);
    }
}

TEST_F(TcpService, IdleStatusIntervalIsFiveSecondsByDefault) {
    CenterTiming timing;  // the protocol's own pauses
    Start(timing);
    Request request;
    ASSERT_TRUE(peer_.Read(&request, 1000));
    const auto first = Clock::now();
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    ASSERT_TRUE(peer_.Read(&request, 7000));
    EXPECT_GE(MsSince(first), 4900);
    EXPECT_LT(MsSince(first), 5600);
    EXPECT_EQ(request.header.sequence, 2u);
}

TEST_F(TcpService, WrongMagicEndsTheServiceAfterEventThreeWithoutReconnecting) {
    Start();
    Request first;
    ASSERT_TRUE(peer_.Read(&first));
    ASSERT_TRUE(
        peer_.Send(CenterPeer::Reply(kReplyAnswer, 1, 0, {}, 0, kCenterVersion, FourCC('Q', 'X', 'A', 'Q'))));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_BAD_MAGIC, 5s));
    EXPECT_TRUE(peer_.ClosedByClient(2000));
    EXPECT_FALSE(peer_.ConnectionPending(500));
    EXPECT_EQ(window_.Count(VELQ_EV_CONNECT_FAILED), 0u);
    EXPECT_EQ(window_.Count(VELQ_EV_LOGIN_OK), 0u);
    // Still logged in until the client logs out: further requests are queued but nothing sends them.
    EXPECT_EQ(VelqApp_IsActive(session_.get()), 1);
    EXPECT_TRUE(session_->ShowAllDevice());
    session_->Logout();
    EXPECT_EQ(VelqApp_IsActive(session_.get()), 0);
}

TEST_F(TcpService, RejectionPostsEventFourAndStops) {
    Start();
    Request first;
    ASSERT_TRUE(peer_.Read(&first));
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyRejected, 1, 0, {})));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_REJECTED, 5s));
    EXPECT_FALSE(peer_.ConnectionPending(400));
    EXPECT_EQ(window_.Codes(), (std::vector<uintptr_t>{2, 4}));
}

TEST_F(TcpService, OtherServerVersionPostsEventSixWithIt) {
    Start();
    Request first;
    ASSERT_TRUE(peer_.Read(&first));
    const uint32_t v102 = FourCC('V', '1', '0', '2');
    ASSERT_TRUE(peer_.Send(CenterPeer::Reply(kReplyAnswer, 1, 0, {}, 0, v102)));
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_VERSION, 5s));
    const auto events = window_.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1].code, VELQ_EV_LOGIN_VERSION);
    EXPECT_EQ(events[1].value, static_cast<intptr_t>(v102));
    EXPECT_EQ(window_.Count(VELQ_EV_LOGIN_OK), 0u);
}

TEST_F(TcpService, DeviceListedTwiceIsAppendedOnceAndReportedChanged) {
    StartAccepted();
    Register({MakeRecord("DEV-A"), MakeRecord("DEV-A", 1700000555), MakeRecord("DEV-B")});
    EXPECT_EQ(session_->DeviceCount(), 2u);
    EXPECT_EQ(DeviceEventsOfLastList(), (std::vector<uintptr_t>{130, 129}));
    EXPECT_EQ(session_->FindDevice("DEV-A")->record.last_report(), 1700000555u);
}

TEST_F(TcpService, ListWithoutRecordsMarksEveryRegisteredDeviceAbsent) {
    StartAccepted();
    Register({MakeRecord("DEV-A"), MakeRecord("DEV-B", 0)});
    EXPECT_EQ(DeviceEventsOfLastList(), (std::vector<uintptr_t>{129, 129}));
    EXPECT_EQ(session_->FindDevice("DEV-A")->state.load(), kDevicePresent);
    EXPECT_EQ(session_->FindDevice("DEV-B")->state.load(), kDeviceAbsent);  // never reported
    Register({});
    EXPECT_EQ(DeviceEventsOfLastList(), (std::vector<uintptr_t>{131, 131}));
    EXPECT_EQ(session_->DeviceCount(), 2u);
}

TEST_F(TcpService, StatusRequestOlderThanTheAppliedStampIsNeverSent) {
    StartAccepted();
    Register({MakeRecord("DEV-A")});
    session_->udp_service().QueueStatusRequest(5);
    Request request;
    ASSERT_TRUE(peer_.Read(&request));
    ASSERT_EQ(request.header.type, 192u);
    ASSERT_EQ(request.raw.size(), 120u + 368u);
    EXPECT_EQ(request.header.has_data, 1u);
    EXPECT_EQ(LoadLE32(request.data.data()), 368u);
    EXPECT_EQ(LoadLE32(request.data.data() + 8), 5u);
    EXPECT_EQ(LoadLE32(request.data.data() + 12), 0u);

    StatusRecord status;
    status.stamp = 0x100000000ull + 10;  // high word counts first
    status.device = MakeRecord("DEV-A");
    std::vector<uint8_t> bytes(StatusRecord::kBytes);
    status.Encode(bytes.data());
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, bytes)));
    const uint32_t sequence = request.header.sequence;

    session_->udp_service().QueueStatusRequest(0xFFFFFFFFull);  // older: low word larger, high word smaller
    session_->udp_service().QueueStatusRequest(0x100000000ull + 10);
    ASSERT_TRUE(peer_.Read(&request));
    EXPECT_EQ(request.header.type, 192u);
    EXPECT_EQ(StatusRecord::StampOf(request.data.data()), 0x100000000ull + 10);  // an equal stamp is sent
    EXPECT_EQ(request.header.sequence, sequence + 1);  // the skipped one took no number
    EXPECT_EQ(session_->tcp_service().newest_stamp(), 0x100000000ull + 10);
}

TEST_F(TcpService, StatusRecordsApplyWordsAndPostAlarmsOnlyForNewerStamps) {
    StartAccepted();
    Register({MakeRecord("DEV-A")});
    AppDevice* device = session_->FindDevice("DEV-A");
    uint64_t asked = 1;
    const auto send_status = [&](uint64_t stamp, uint32_t word, uint32_t value, const char* vehicle) {
        session_->udp_service().QueueStatusRequest(asked);
        asked = std::max(asked, stamp);
        Request request;
        ASSERT_TRUE(peer_.Read(&request));
        StatusRecord status;
        status.stamp = stamp;
        status.device = MakeRecord("DEV-A", 1700000000, 4, vehicle);
        status.words[word] = value;
        std::vector<uint8_t> bytes(StatusRecord::kBytes);
        status.Encode(bytes.data());
        ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, bytes)));
    };
    send_status(2, 13, 1, "FIRST");  // first non-zero value: stored silently
    send_status(3, 13, 2, "SECOND");
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_STATUS_FIRST + 13, 5s));
    send_status(3, 13, 3, "STALE");  // not newer than the applied stamp: skipped
    send_status(4, 13, 0, "ZERO");   // a zero word never overwrites
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard guard(device->lock);
        return device->record.text1() == "ZERO";
    }));
    std::lock_guard guard(device->lock);
    EXPECT_EQ(device->status_words[13], 2u);
    EXPECT_EQ(device->record.text1(), "ZERO");
    EXPECT_EQ(window_.Count(VELQ_EV_STATUS_FIRST + 13), 1u);
}

// A window that holds the first poster of one event code until released, as a stuck client could.
class HoldingWindow : public TestWindow {
  public:
    explicit HoldingWindow(uintptr_t code) : code_(code) {}
    void PostMessage(uint32_t message, uintptr_t code, intptr_t value) override {
        if (code == code_) {
            std::unique_lock lock(mutex_);
            if (!held_) {
                held_ = true;
                cv_.notify_all();
                cv_.wait(lock, [&] { return released_; });
            }
        }
        TestWindow::PostMessage(message, code, value);
    }
    bool WaitHeld() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, 5s, [&] { return held_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }

  private:
    const uintptr_t code_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool held_ = false, released_ = false;
};

// The descriptor of this process's TCP socket connected to `port` on the loopback, or -1.
int ClientSocketTo(uint16_t port) {
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in peer{};
        socklen_t length = sizeof(peer);
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == port)
            return fd;
    }
    return -1;
}

TEST(TcpServiceAbandoned, AWorkerPastItsStopTimeOutKeepsItsSocketAndTheSessionsSettings) {
    HoldingWindow window(VELQ_EV_LOGIN_OK);
    CenterPeer peer;
    {
        AppSession session(&window, VELQ_MESSAGE);
        session.set_center_timing(QuietTiming());
        ASSERT_TRUE(session.SetCenterServer("127.0.0.1", peer.port(), peer.udp_port()));
        ASSERT_TRUE(session.Login("orvi", "480913"));
        ASSERT_TRUE(peer.Accept());
        Request first;
        ASSERT_TRUE(peer.Read(&first));
        ASSERT_TRUE(peer.Send(CenterPeer::Answer(first)));
        ASSERT_TRUE(window.WaitHeld());  // the TCP worker is inside the reply's handling
        const int fd = ClientSocketTo(peer.port());
        ASSERT_GE(fd, 0);

        session.tcp_service().Stop(50);
        ASSERT_FALSE(session.tcp_service().WorkerExited());
        session.Logout();  // the rest of the logout goes on without the worker
        // Its socket is still its own: closed now, the number could be handed out again under it.
        EXPECT_NE(fcntl(fd, F_GETFD), -1);
        // And it still reads the server and the credentials: they stay as they are until it has left.
        EXPECT_FALSE(session.SetCenterServer("192.0.2.1", 1, 1));
        EXPECT_FALSE(session.Login("other", "secret"));
        EXPECT_STREQ(session.server_host, "127.0.0.1");
        EXPECT_STREQ(session.user_name, "orvi");

        window.Release();
        ASSERT_TRUE(test::WaitUntil([&] { return session.tcp_service().WorkerExited(); }));
        EXPECT_TRUE(peer.ClosedByClient(5000));  // the worker closed its socket on the way out
        EXPECT_TRUE(session.SetCenterServer("127.0.0.1", peer.port(), peer.udp_port()));
    }
}

}  // namespace
}  // namespace corvel::test

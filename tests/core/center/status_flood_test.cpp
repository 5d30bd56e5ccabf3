// SPDX-License-Identifier: GPL-3.0-or-later
// The status poll's requests against a server that floods poll answers or is slow to answer: one request
// held at a time, what the single follow-up asks for, and the restart rules with a follow-up pending.
#include <netinet/in.h>

#include <cstdio>
#include <fstream>

#include "flooding_center.h"
#include "harness.h"

namespace corvel::test {
namespace {

// Bytes waiting in the receive queue of the local UDP port `port` (from /proc/net/udp); 0 when none.
size_t UdpReceiveQueueBytes(uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // the column names
    while (std::getline(table, line)) {
        unsigned local_port = 0;
        unsigned long tx = 0, rx = 0;
        if (std::sscanf(line.c_str(), " %*d: %*8x:%4x %*8x:%*4x %*2x %8lx:%8lx", &local_port, &tx, &rx) ==
                3 &&
            local_port == port) {
            return rx;
        }
    }
    return 0;
}

class StatusFlood : public CenterHarness {
  protected:
    // The client's poll address, from its first poll.
    sockaddr_in ReceivePoll() {
        uint8_t poll[128];
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        EXPECT_TRUE(WaitReadable(peer_.udp_socket(), 3000));
        EXPECT_EQ(
            recvfrom(peer_.udp_socket(), poll, sizeof(poll), 0, reinterpret_cast<sockaddr*>(&from), &length),
            56);
        return from;
    }
    // Blasts `count` answers with growing stamps and waits until the client has read them all.
    void Flood(const sockaddr_in& client, size_t count) {
        BlastPollAnswers(peer_.udp_socket(), client, &stamp_, count);
        const uint16_t port = session_->udp_service().local_port();
        ASSERT_TRUE(WaitUntil([&] { return UdpReceiveQueueBytes(port) == 0; }));
        std::this_thread::sleep_for(50ms);  // the last datagram read is handled
    }
    Request NextTcpRequest() {
        Request request;
        EXPECT_TRUE(peer_.Read(&request, 3000));
        return request;
    }
    static uint64_t StampAsked(const Request& request) { return StatusRecord::StampOf(request.data.data()); }
    // Answers a type-192 request with one record of DEV-A stamped `stamp`.
    void AnswerStatus(const Request& request, uint64_t stamp) {
        StatusRecord status;
        status.stamp = stamp;
        status.device = MakeRecord("DEV-A");
        std::vector<uint8_t> bytes(StatusRecord::kBytes);
        status.Encode(bytes.data());
        ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, bytes)));
    }

    uint64_t stamp_ = 1;
};

TEST_F(StatusFlood, AFloodOfNewStampsHoldsOneRequestAndSendsOneFollowUp) {
    StartAccepted();
    const sockaddr_in client = ReceivePoll();
    Flood(client, 1);
    Request request = NextTcpRequest();
    ASSERT_EQ(request.header.type, 130u);  // the first change asks for the full list
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));

    // The server goes on announcing changes but does not answer the status request they bring.
    ASSERT_NO_FATAL_FAILURE(Flood(client, 20000));
    const Request held = NextTcpRequest();
    ASSERT_EQ(held.header.type, 192u);
    ASSERT_NO_FATAL_FAILURE(Flood(client, 20000));
    EXPECT_TRUE(peer_.Silent(200));
    EXPECT_EQ(session_->tcp_service().queued_count(), 0u);
    EXPECT_EQ(session_->operation_pool().total_count(), 1u);  // the held request's, nothing more

    // Once it answers, everything announced meanwhile is asked for by a single request.
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(held)));
    request = NextTcpRequest();
    EXPECT_EQ(request.header.type, 192u);
    EXPECT_GT(StampAsked(request), StampAsked(held));
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    EXPECT_TRUE(peer_.Silent(300));
    EXPECT_EQ(session_->operation_pool().total_count(), 1u);
}

TEST_F(StatusFlood, FollowUpAsksFromTheAppliedStampWhenItsFirstStampIsOlder) {
    StartAccepted();
    Register({MakeRecord("DEV-A")});
    CAppTcpService& tcp = session_->tcp_service();
    tcp.QueueStatusRequest(5);
    Request held = NextTcpRequest();
    ASSERT_EQ(StampAsked(held), 5u);
    for (uint64_t stamp : {10u, 20u, 40u}) tcp.QueueStatusRequest(stamp);
    AnswerStatus(held, 30);
    // 10 and 20 are older than the applied 30; asking from 30 fetches all that the one for 40 would.
    Request request = NextTcpRequest();
    ASSERT_EQ(request.header.type, 192u);
    EXPECT_EQ(StampAsked(request), 30u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));

    // A follow-up whose stamps are all older than the applied one is not sent.
    tcp.QueueStatusRequest(30);
    held = NextTcpRequest();
    ASSERT_EQ(StampAsked(held), 30u);
    tcp.QueueStatusRequest(31);
    tcp.QueueStatusRequest(32);
    AnswerStatus(held, 50);
    EXPECT_TRUE(peer_.Silent(300));
    EXPECT_EQ(tcp.newest_stamp(), 50u);
}

TEST_F(StatusFlood, AfterARestartThePendingFollowUpIsTheFullList) {
    StartAccepted();
    CAppTcpService& tcp = session_->tcp_service();
    // In flight when the server restarts: the stamps folded in belong to the old server.
    tcp.QueueStatusRequest(5);
    const Request in_flight = NextTcpRequest();
    tcp.QueueStatusRequest(7);
    tcp.ForgetStamps();
    tcp.QueueStatusRequest(0);
    tcp.QueueStatusRequest(2);  // the new server's, behind the full list
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(in_flight)));
    Request request = NextTcpRequest();
    EXPECT_EQ(request.header.type, 130u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    EXPECT_TRUE(peer_.Silent(300));
    EXPECT_EQ(tcp.newest_stamp(), 0u);  // the old server's reply moved nothing

    // Still queued behind a slow request, with a full list folded in (a new poll socket): the held type-192
    // request becomes that full list.
    ASSERT_TRUE(session_->ShowAllDevice());
    const Request slow = NextTcpRequest();
    tcp.QueueStatusRequest(9);
    tcp.QueueStatusRequest(0);
    tcp.QueueStatusRequest(11);
    tcp.ForgetStamps();
    EXPECT_EQ(tcp.queued_count(), 1u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(slow)));
    request = NextTcpRequest();
    EXPECT_EQ(request.header.type, 130u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    EXPECT_TRUE(peer_.Silent(300));
}

}  // namespace
}  // namespace corvel::test

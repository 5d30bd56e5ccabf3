// SPDX-License-Identifier: GPL-3.0-or-later
// The UDP status poll against a scripted server: the datagram's bytes and which status requests the
// answers make the TCP service send.
#include <netinet/in.h>

#include "harness.h"

namespace corvel::test {
namespace {

class UdpService : public CenterHarness {
  protected:
    void SetUp() override {
        CenterTiming timing = QuietTiming();
        timing.poll_interval_ms = 200;
        StartAccepted(timing);
    }
    // Receives the next poll and answers it with `stamp` (answer bytes may be overridden by `edit`).
    std::vector<uint8_t> AnswerPoll(uint64_t stamp, size_t answer_bytes = 56,
                                    uint32_t kind = kReplyPollAnswer) {
        std::vector<uint8_t> poll(2048);
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        EXPECT_TRUE(WaitReadable(peer_.udp_socket(), 3000));
        const ssize_t got = recvfrom(peer_.udp_socket(), poll.data(), poll.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &length);
        poll.resize(got > 0 ? static_cast<size_t>(got) : 0);
        std::vector<uint8_t> answer(std::max<size_t>(answer_bytes, 56), 0);
        PollAnswer::Encode(kCenterVersion, stamp, answer.data());
        StoreLE32(answer.data() + 12, kind);
        answer.resize(answer_bytes);
        sendto(peer_.udp_socket(), answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from),
               length);
        return poll;
    }
    Request NextTcpRequest() {
        Request request;
        EXPECT_TRUE(peer_.Read(&request, 3000));
        return request;
    }
    // Answers the next request as a server that keeps one device's status: a full list names the
    // device, a type-192 request gets the status record only when it is newer than the stamp asked for.
    void AnswerAsServer(uint32_t expected_type, uint64_t expected_stamp = 0) {
        const Request request = NextTcpRequest();
        ASSERT_EQ(request.header.type, expected_type);
        if (request.header.type == 130u) {
            ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, Records({MakeRecord("DEV-A")}))));
            return;
        }
        ASSERT_EQ(StatusRecord::StampOf(request.data.data()), expected_stamp);
        if (status_.stamp <= expected_stamp) {
            ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
            return;
        }
        std::vector<uint8_t> bytes(StatusRecord::kBytes);
        status_.Encode(bytes.data());
        ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request, 1, bytes)));
    }
    void SetWords(uint64_t stamp, uint32_t value) {
        status_.stamp = stamp;
        status_.device = MakeRecord("DEV-A");
        for (uint32_t& word : status_.words) word = value;
    }
    // A server whose poll answers 5 while its one status record is stamped 1000: after the full list
    // and the request for 5, the applied stamp (1000) stays above every poll stamp.
    void ReachPollStampBelowTheApplied() {
        Register({MakeRecord("DEV-A")});
        SetWords(1000, 1);
        AnswerPoll(5);
        ASSERT_NO_FATAL_FAILURE(AnswerAsServer(130));
        AnswerPoll(5);
        ASSERT_NO_FATAL_FAILURE(AnswerAsServer(192, 5));
        ASSERT_TRUE(WaitUntil([&] { return session_->tcp_service().newest_stamp() == 1000; }));
    }

    StatusRecord status_;
};

TEST_F(UdpService, PollDatagramIs56BytesWithTheSessionIdentifier) {
    const auto poll = AnswerPoll(0);
    ASSERT_EQ(poll.size(), 56u);
    EXPECT_EQ(std::string(poll.begin(), poll.begin() + 8), "QXAPV103");
    EXPECT_EQ(LoadLE32(poll.data() + 8), 0u);
    EXPECT_EQ(LoadLE32(poll.data() + 12), 2u);
    std::vector<uint8_t> id(32, 0);
    std::memcpy(id.data(), session_->session_id, std::strlen(session_->session_id));
    EXPECT_EQ(std::vector<uint8_t>(poll.begin() + 16, poll.begin() + 48), id);
    EXPECT_EQ(std::vector<uint8_t>(poll.begin() + 48, poll.end()), std::vector<uint8_t>(8, 0));
}

TEST_F(UdpService, StampChangesAskForAFullListFirstAndThenOnlyWhatIsNewer) {
    const uint64_t s = 0x0000000700000001ull, t = 0x0000000700000002ull;
    AnswerPoll(s);
    Request request = NextTcpRequest();
    EXPECT_EQ(request.header.type, 130u);  // nothing seen before: the full status list
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    AnswerPoll(t);
    request = NextTcpRequest();
    ASSERT_EQ(request.header.type, 192u);
    EXPECT_EQ(StatusRecord::StampOf(request.data.data()), s);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));  // no records: s is now applied
    ASSERT_TRUE(WaitUntil([&] { return session_->tcp_service().newest_stamp() == s; }));
    AnswerPoll(t);
    request = NextTcpRequest();
    ASSERT_EQ(request.header.type, 192u);
    EXPECT_EQ(StatusRecord::StampOf(request.data.data()), t);
}

TEST_F(UdpService, UnchangedStampAsksOnceAfterTheSocketIsMade) {
    AnswerPoll(0);  // equal to the applied stamp, first send
    Request request = NextTcpRequest();
    EXPECT_EQ(request.header.type, 130u);
    ASSERT_TRUE(peer_.Send(CenterPeer::Answer(request)));
    for (int i = 0; i < 3; ++i) AnswerPoll(0);
    EXPECT_TRUE(peer_.Silent(300));
}

TEST_F(UdpService, PollStampBelowTheAppliedOneIsNoRestart) {
    ASSERT_NO_FATAL_FAILURE(ReachPollStampBelowTheApplied());
    // The request for 5 would be older than what was applied: it is not sent, and neither is a full list.
    for (int i = 0; i < 4; ++i) AnswerPoll(5);
    EXPECT_TRUE(peer_.Silent(400));
    EXPECT_EQ(session_->tcp_service().newest_stamp(), 1000u);
}

TEST_F(UdpService, AfterTheCenterRestartsOnTheSamePortsChangedWordsPostEvents) {
    ASSERT_NO_FATAL_FAILURE(ReachPollStampBelowTheApplied());
    // The restarted center dropped the connection, which the client notices on its next request; the
    // new center's stamps go on above the last poll stamp seen but far below what was applied.
    peer_.CloseConnection();
    ASSERT_TRUE(session_->ShowAllDevice());
    ASSERT_TRUE(peer_.Accept());
    ASSERT_NO_FATAL_FAILURE(AnswerAsServer(130));  // the new login's opening status request
    ASSERT_TRUE(window_.WaitFor(VELQ_EV_LOGIN_OK, 5s, 2));
    SetWords(6, 2);
    AnswerPoll(7);
    ASSERT_NO_FATAL_FAILURE(AnswerAsServer(192, 5));  // the applied 1000 was forgotten with the login
    for (uintptr_t code = VELQ_EV_STATUS_FIRST; code <= VELQ_EV_STATUS_LAST; ++code)
        ASSERT_TRUE(window_.WaitFor(code, 5s)) << code;
    EXPECT_EQ(session_->tcp_service().newest_stamp(), 6u);
}

TEST_F(UdpService, ShortOrForeignAnswersAreIgnored) {
    AnswerPoll(5, 55);
    AnswerPoll(5, 56, kReplyAnswer);
    EXPECT_TRUE(peer_.Silent(300));
    AnswerPoll(5, 1024);  // long answers are fine
    EXPECT_EQ(NextTcpRequest().header.type, 130u);
}

TEST_F(UdpService, UnansweredPollsAreSentAgain) {
    std::vector<uint8_t> poll(128);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WaitReadable(peer_.udp_socket(), 1000));
        EXPECT_EQ(recv(peer_.udp_socket(), poll.data(), poll.size(), 0), 56);
    }
}

}  // namespace
}  // namespace corvel::test

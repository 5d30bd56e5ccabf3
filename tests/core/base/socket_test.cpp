// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace corvel {
namespace {

// A listening socket on 127.0.0.1 with a kernel-picked port.
struct Listener {
    int fd = -1;
    sockaddr_in address{};
    explicit Listener(int backlog = 4) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        socklen_t length = sizeof(address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        EXPECT_EQ(listen(fd, backlog), 0);
    }
    ~Listener() { close(fd); }
};

struct Pair {
    int client = -1;
    int server = -1;
    Pair() {
        Listener listener;
        client = socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_TRUE(ConnectWithTimeout(client, listener.address, 2000));
        server = accept(listener.fd, nullptr, nullptr);
    }
    ~Pair() {
        if (client >= 0) close(client);
        if (server >= 0) close(server);
    }
};

TEST(Socket, RecvAllFailsWhenPeerClosesAfterPartOfTheData) {
    Pair pair;
    const char part[5] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(SendAll(pair.server, part, sizeof(part)));
    close(pair.server);
    pair.server = -1;
    char buffer[10];
    EXPECT_FALSE(RecvAll(pair.client, buffer, sizeof(buffer)));
}

TEST(Socket, RecvAllCollectsDataArrivingInPieces) {
    Pair pair;
    std::thread sender([&] {
        for (int i = 0; i < 10; ++i) {
            const uint8_t byte = static_cast<uint8_t>(i);
            SendAll(pair.server, &byte, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    uint8_t buffer[10] = {};
    EXPECT_TRUE(RecvAll(pair.client, buffer, sizeof(buffer)));
    sender.join();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buffer[i], i);
}

TEST(Socket, RecvDiscardDropsExactlyTheCountAcrossChunks) {
    Pair pair;
    std::vector<uint8_t> data(1300 + 4);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(SendAll(pair.server, data.data(), data.size()));
    EXPECT_TRUE(RecvDiscard(pair.client, 1300));
    uint8_t tail[4];
    ASSERT_TRUE(RecvAll(pair.client, tail, 4));
    EXPECT_EQ(tail[0], static_cast<uint8_t>(1300));
    // Nothing is waiting and the socket would block, yet a discard of 0 bytes succeeds without receiving.
    EXPECT_TRUE(RecvDiscard(pair.client, 0));
    EXPECT_TRUE(RecvDiscard(-1, 0));
}

TEST(Socket, SendAllToAClosedPeerFailsWithoutSignal) {
    Pair pair;
    close(pair.server);
    pair.server = -1;
    std::vector<uint8_t> data(1 << 20);
    bool ok = true;
    for (int i = 0; i < 20 && ok; ++i) ok = SendAll(pair.client, data.data(), data.size());
    EXPECT_FALSE(ok);  // and the process is still alive: no SIGPIPE
}

TEST(Socket, RefusedConnectFailsFast) {
    sockaddr_in address{};
    {
        Listener listener;
        address = listener.address;
    }  // closed: nothing listens on that port now
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ConnectWithTimeout(fd, address));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    close(fd);
}

TEST(Socket, ConnectGivesUpAtItsTimeOutWhenNobodyAnswers) {
    // A listener that never accepts, with its backlog filled: further SYNs go unanswered.
    Listener listener(0);
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        ConnectWithTimeout(fd, listener.address, 100);
        fillers.push_back(fd);
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const auto start = std::chrono::steady_clock::now();
    const bool connected = ConnectWithTimeout(fd, listener.address, 300);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    close(fd);
    for (int f : fillers) close(f);
    if (connected) GTEST_SKIP() << "the kernel accepted past the backlog";
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_LT(elapsed, std::chrono::seconds(3));
}

TEST(Socket, CloseSocketOnceClosesExactlyOnceUnderRace) {
    for (int round = 0; round < 200; ++round) {
        std::atomic<SocketHandle> handle{socket(AF_INET, SOCK_STREAM, 0)};
        std::atomic<int> closed{0};
        std::atomic<bool> go{false};
        auto racer = [&] {
            while (!go.load()) {
            }
            if (CloseSocketOnce(handle)) closed.fetch_add(1);
        };
        std::thread a(racer), b(racer);
        go = true;
        a.join();
        b.join();
        EXPECT_EQ(closed.load(), 1);
        EXPECT_EQ(handle.load(), kInvalidSocket);
    }
    std::atomic<SocketHandle> none{kInvalidSocket};
    EXPECT_FALSE(CloseSocketOnce(none));
}

TEST(Socket, WakeSocketReleasesABlockedReceiverWhichThenCloses) {
    Pair pair;
    std::atomic<SocketHandle> handle{pair.client};
    pair.client = -1;
    std::atomic<bool> returned{false};
    std::thread receiver([&] {
        char byte;
        EXPECT_FALSE(RecvAll(handle.load(), &byte, 1));
        returned = true;
        EXPECT_TRUE(CloseSocketOnce(handle));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    WakeSocket(handle);
    receiver.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(handle.load(), kInvalidSocket);
    WakeSocket(handle);  // nothing left to wake: harmless
}

TEST(Socket, TimeoutsMakeASilentPeerFailTheReceive) {
    Pair pair;
    ASSERT_TRUE(SetSocketTimeouts(pair.client, 100));
    char byte;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RecvAll(pair.client, &byte, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
}

TEST(Socket, ResolveAcceptsDottedAndNamesAndRejectsNonsense) {
    sockaddr_in address{};
    ASSERT_TRUE(ResolveIPv4("127.0.0.1", 24680, &address));
    EXPECT_EQ(address.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ntohs(address.sin_port), 24680);
    ASSERT_TRUE(ResolveIPv4("localhost", 1, &address));
    EXPECT_EQ(ntohl(address.sin_addr.s_addr) >> 24, 127u);
    EXPECT_FALSE(ResolveIPv4("no-such-host.invalid", 1, &address));
}

}  // namespace
}  // namespace corvel

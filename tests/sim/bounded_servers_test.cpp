// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's servers against clients that hold on to connections (idle, trickling, hundreds at once)
// and in a process out of descriptors or threads, over real sockets on 127.0.0.1: the servers go on
// serving others, within bounds of time, descriptors and CPU.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/socket.h"
#include "center/wire.h"
#include "center_server.h"
#include "connection_set.h"
#include "http_server.h"
#include "test_wait.h"

namespace velq_sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    corvel::ResolveIPv4("127.0.0.1", port, &address);
    return address;
}

int Connect(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_TRUE(corvel::ConnectWithTimeout(s, Loopback(port), 2000));
    return s;
}

// Reads what the server sends until it closes; true when it closed within `timeout`.
bool ClosedWithin(int s, std::chrono::milliseconds timeout, std::string* received = nullptr) {
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    while (Clock::now() < deadline) {
        pollfd entry{s, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&entry, 1, static_cast<int>(std::max<int64_t>(left.count(), 1))) <= 0) continue;
        const ssize_t n = recv(s, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n <= 0) return true;
        if (received != nullptr) received->append(buffer, static_cast<size_t>(n));
    }
    return false;
}

std::string Get(uint16_t port, const std::string& path) {
    const int s = Connect(port);
    const std::string request = "GET " + path + " HTTP/1.1\r\n\r\n";
    corvel::SendAll(s, request.data(), request.size());
    std::string reply;
    ClosedWithin(s, 3s, &reply);
    close(s);
    return reply;
}

CenterConfig QuietCenter() {
    CenterConfig config;
    config.tcp_port = config.udp_port = 0;
    config.tick_ms = 0;
    config.log = false;
    return config;
}

class WebSide : public ::testing::Test {
  protected:
    void Start(HttpConfig config) {
        http_ = std::make_unique<HttpServer>(std::move(config), center_);
        std::string error;
        ASSERT_TRUE(http_->Start(&error)) << error;
    }
    void TearDown() override {
        for (int s : clients_) close(s);
        if (http_) http_->Stop();
    }
    CenterServer center_{QuietCenter(), Fleet::Default()};
    std::unique_ptr<HttpServer> http_;
    std::vector<int> clients_;
};

TEST_F(WebSide, IdleAndTricklingClientsHoldNeitherTheServerNorTheirConnectionPastTheDeadline) {
    HttpConfig config;
    config.request_deadline_ms = 1000;
    Start(config);
    const uint16_t port = http_->port();
    for (int i = 0; i < 20; ++i) clients_.push_back(Connect(port));
    const int trickler = Connect(port);
    clients_.push_back(trickler);

    const auto asked = Clock::now();
    EXPECT_EQ(Get(port, "/camera.log").rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_LT(Clock::now() - asked, 500ms) << "others waited for the idle connections";

    // A byte every 100 ms would take 4 s for the whole head: the deadline ends it, not the pace.
    const std::string head = "GET /camera.log HTTP/1.1\r\nHost: a-slow-client\r\n\r\n";
    const auto started = Clock::now();
    bool closed = false;
    std::string answer;
    for (size_t i = 0; i < head.size() && !closed; ++i) {
        send(trickler, head.data() + i, 1, MSG_NOSIGNAL);
        closed = ClosedWithin(trickler, 100ms, &answer);
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(Clock::now() - started, 2500ms);
    EXPECT_EQ(answer.rfind("HTTP/1.1 400", 0), 0u) << answer;
    EXPECT_TRUE(ClosedWithin(clients_.front(), 1500ms)) << "an idle connection outlived the deadline";
}

TEST_F(WebSide, ConnectionsBeyondTheBoundAreRefusedAtOnceAndServingGoesOn) {
    HttpConfig config;
    config.max_connections = 4;
    Start(config);
    const uint16_t port = http_->port();
    for (int i = 0; i < 4; ++i) clients_.push_back(Connect(port));
    const int extra = Connect(port);
    std::string refused;
    EXPECT_TRUE(ClosedWithin(extra, 1s, &refused));
    close(extra);
    EXPECT_EQ(refused.rfind("HTTP/1.1 503", 0), 0u) << refused;

    for (int s : clients_) close(s);
    clients_.clear();
    EXPECT_TRUE(corvel::test::WaitUntil([&] { return http_->connection_count() == 0; }));
    EXPECT_EQ(Get(port, "/camera.log").rfind("HTTP/1.1 200", 0), 0u);
}

TEST_F(WebSide, HundredsConnectingAtOnceAreNotLeftInTheListenQueue) {
    Start(HttpConfig{});
    const sockaddr_in address = Loopback(http_->port());
    for (int i = 0; i < 400; ++i) {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(s, 0);
        clients_.push_back(s);
        connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    }
    // A connection the listen queue had no room for is retried by the kernel after a second at the
    // earliest (and after 3, 7, 15 s next): all of them must be through well before that.
    const auto deadline = Clock::now() + 900ms;
    size_t connected = 0;
    for (int s : clients_) {
        pollfd entry{s, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&entry, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0) continue;
        int error = 0;
        socklen_t length = sizeof(error);
        getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == 0) ++connected;
    }
    EXPECT_EQ(connected, clients_.size());
}

// A status request with the default account, as a client logs in.
bool LoginAnswered(int s) {
    corvel::AppPacketHeader header;
    header.type = corvel::kRequestStatusList;
    header.sequence = 1;
    std::strcpy(header.user, "orvi");
    std::strcpy(header.password, "480913");
    uint8_t bytes[corvel::AppPacketHeader::kBytes];
    header.Encode(bytes);
    corvel::SetSocketTimeouts(s, 3000);
    uint8_t reply[corvel::AppReplyHeader::kBytes];
    return corvel::SendAll(s, bytes, sizeof(bytes)) && corvel::RecvAll(s, reply, sizeof(reply)) &&
           corvel::AppReplyHeader::Decode(reply).magic == corvel::kCenterMagic;
}

class CenterPort : public ::testing::Test {
  protected:
    void Start(CenterConfig config) {
        server_ = std::make_unique<CenterServer>(std::move(config), Fleet::Default());
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
    }
    void TearDown() override {
        for (int s : clients_) close(s);
        if (server_) server_->Stop();
    }
    std::unique_ptr<CenterServer> server_;
    std::vector<int> clients_;
};

TEST_F(CenterPort, IdleConnectionsTimeOutAndOnlyTheBoundIsKeptOpen) {
    CenterConfig config = QuietCenter();
    config.idle_timeout_ms = 700;
    config.max_connections = 3;
    Start(config);
    const uint16_t port = server_->tcp_port();
    for (int i = 0; i < 3; ++i) clients_.push_back(Connect(port));
    const int extra = Connect(port);
    EXPECT_TRUE(ClosedWithin(extra, 500ms)) << "a connection beyond the bound was kept";
    close(extra);
    EXPECT_FALSE(ClosedWithin(clients_[0], 200ms));  // the first ones are served...
    EXPECT_TRUE(LoginAnswered(clients_[1]));         // ...and a request restarts the idle time
    EXPECT_TRUE(ClosedWithin(clients_[0], 1500ms)) << "an idle connection was kept";
    EXPECT_TRUE(ClosedWithin(clients_[1], 1500ms));
    EXPECT_TRUE(corvel::test::WaitUntil([&] { return server_->connection_threads() == 0; }));
    const int later = Connect(port);
    clients_.push_back(later);
    EXPECT_TRUE(LoginAnswered(later));
}

// Lowers the process's descriptor limit to the lowest free descriptor, so that no new one can be opened,
// until destroyed.
class NoFreeDescriptors {
  public:
    NoFreeDescriptors() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowest_free = fcntl(0, F_DUPFD, 0);
        close(lowest_free);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowest_free);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~NoFreeDescriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }

  private:
    rlimit saved_{};
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(CenterPort, AcceptFailuresBackOffAndTheQueuedClientIsServedOnceDescriptorsAreBack) {
    Start(QuietCenter());
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    clients_.push_back(client);
    double busy_seconds = 0;
    {
        NoFreeDescriptors limit;
        const sockaddr_in address = Loopback(server_->tcp_port());
        ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        const double before = CpuSeconds();
        std::this_thread::sleep_for(1s);  // the connection waits in the queue; accept fails all along
        busy_seconds = CpuSeconds() - before;
    }
    EXPECT_LT(busy_seconds, 0.25) << "accept failures were retried without a pause";
    EXPECT_TRUE(LoginAnswered(client));
}

TEST(ConnectionSet, AConnectionWithoutAThreadStaysTheCallersAndTheNextIsServed) {
    int spawned = 0;
    ConnectionSet set(4, [&](std::function<void()> body) {
        if (spawned++ == 0)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    });
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    std::atomic<int> served{0};
    const auto serve = [&](corvel::SocketHandle) { served.fetch_add(1); };
    EXPECT_EQ(set.Launch(pair[0], serve), ConnectionSet::Launched::kNoThread);
    EXPECT_EQ(fcntl(pair[0], F_GETFD), 0) << "the refused socket must stay open for its caller";
    EXPECT_EQ(set.Launch(pair[0], serve), ConnectionSet::Launched::kStarted);
    set.StopAll();
    EXPECT_EQ(served.load(), 1);
    EXPECT_EQ(fcntl(pair[0], F_GETFD), -1) << "a served socket is closed by its thread";
    close(pair[1]);
}

}  // namespace
}  // namespace velq_sim

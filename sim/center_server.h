// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated center server: the TCP request/reply protocol and the UDP status poll, answered from a
// Fleet. Start binds both ports (0 = the kernel picks) and runs an accept thread, one thread per
// connection, the UDP thread and the fleet's clock; Stop ends them all. Any thread may call the setters
// while it runs. Connections are bounded: beyond max_connections a new one is closed at once, and one
// that sends no request for idle_timeout_ms is closed, so idle clients cannot use up the descriptors.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/socket.h"
#include "center/wire.h"
#include "connection_set.h"
#include "fleet.h"

namespace velq_sim {

// Faults to inject, counted per connection in replies sent (0 = off).
struct CenterFaults {
    uint32_t drop_after_replies = 0;    // close the connection after this many replies
    uint32_t wrong_magic_at_reply = 0;  // this reply carries a wrong magic
    uint32_t stall_after_replies = 0;   // read requests but answer nothing after this many replies
    bool refuse_connections = false;    // accept and close at once
    bool refuse_requests = false;       // answer every request but the keep-alive with result 1
    bool fail_requests = false;         // answer every request but the keep-alive with the failure kind
};

struct CenterConfig {
    std::string bind_address = "127.0.0.1";
    uint16_t tcp_port = 24680;
    uint16_t udp_port = 24681;
    uint32_t version = corvel::kCenterVersion;  // the version the replies carry
    std::map<std::string, std::string> accounts{{"orvi", "480913"}};
    uint32_t tick_ms = 1000;  // fleet clock step, 0 = the fleet stands still
    // Chance per reporting vehicle and step that an alarm word changes (--alarm-percent); unset, the
    // fleet's believable rate (Fleet::Tick).
    std::optional<double> alarm_chance;
    uint32_t seed = 1;
    std::string save_path;             // added and modified devices are written back here when set
    bool log = true;                   // one line per event on standard error
    uint32_t idle_timeout_ms = 60000;  // a connection without a request for this long is closed
    uint32_t max_connections = 256;    // open at once; more are closed as they come
    CenterFaults faults;
};

class CenterServer {
  public:
    // Answers a media route request (control codes 1, 3, 5, 7) into `reply`; false sends the failure kind.
    using RouteHandler =
        std::function<bool(const corvel::ControlRecord& request, corvel::ControlRecord* reply)>;

    CenterServer(CenterConfig config, Fleet fleet);
    ~CenterServer();
    CenterServer(const CenterServer&) = delete;
    CenterServer& operator=(const CenterServer&) = delete;

    bool Start(std::string* error);
    void Stop();

    uint16_t tcp_port() const { return tcp_port_; }
    uint16_t udp_port() const { return udp_port_; }
    Fleet& fleet() { return fleet_; }
    void set_faults(const CenterFaults& faults);
    void set_route_handler(RouteHandler handler);
    // Camera (pan-tilt-zoom) commands received, one line each.
    std::vector<std::string> camera_log();
    // Requests answered so far, by request type (for tests).
    uint32_t requests_of_type(uint32_t type);
    uint32_t connections_accepted() const { return connections_.load(); }
    // Connection threads not joined yet, finished or not (for tests).
    size_t connection_threads() { return connections_open_.size(); }

    void Log(const std::string& line);

  private:
    struct Connection;
    void AcceptLoop();
    void UdpLoop();
    void ClockLoop();
    void Serve(Connection& connection);
    // Handles one request; false ends the connection.
    bool Answer(Connection& connection, const corvel::AppPacketHeader& request,
                const std::vector<uint8_t>& data);
    bool SendReply(Connection& connection, const corvel::AppPacketHeader& request, uint32_t kind,
                   uint32_t result, uint32_t count, const std::vector<uint8_t>& data);
    void SaveFleet();
    CenterFaults faults();

    CenterConfig config_;
    Fleet fleet_;
    std::atomic<bool> running_{false};
    std::atomic<corvel::SocketHandle> listen_socket_{corvel::kInvalidSocket};
    std::atomic<corvel::SocketHandle> udp_socket_{corvel::kInvalidSocket};
    uint16_t tcp_port_ = 0;
    uint16_t udp_port_ = 0;
    std::thread accept_thread_, udp_thread_, clock_thread_;
    std::atomic<uint32_t> connections_{0};

    std::mutex mutex_;  // guards everything below
    CenterFaults faults_;
    RouteHandler route_handler_;
    std::vector<std::string> camera_log_;
    std::map<uint32_t, uint32_t> request_counts_;
    std::mutex log_mutex_;
    ConnectionSet connections_open_;
};

}  // namespace velq_sim

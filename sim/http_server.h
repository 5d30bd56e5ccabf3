// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The center server's web side: the playback page at the configured path and, for tests and the demo, the
// camera commands received so far as plain text at /camera.log. One request per connection (HTTP/1.1,
// "Connection: close"), each connection on a thread of its own, at most max_connections at once; one more
// gets "503 Service Unavailable" at once. A request is bounded in size (8 KiB of head) and in time (the
// whole exchange within request_deadline_ms), so slow or idle clients hold a thread briefly, never the
// server. Start binds (port 0 = the kernel picks); Stop ends every thread. Any thread may call port()
// once Start has returned.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <thread>

#include "base/socket.h"
#include "center_server.h"
#include "connection_set.h"
#include "playback_page.h"

namespace velq_sim {

struct HttpConfig {
    std::string bind_address = "127.0.0.1";
    uint16_t port = 0;
    std::string playback_path = "/playback.aspx";
    uint32_t request_deadline_ms = 5000;  // from accept to the last byte of the answer
    uint32_t max_connections = 32;        // served at once
};

class HttpServer {
  public:
    // `center` must outlive the server; its fleet and camera log are what the pages show.
    HttpServer(HttpConfig config, CenterServer& center);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool Start(std::string* error);
    void Stop();
    uint16_t port() const { return port_; }
    // Connections being served or finished and not joined yet (for tests).
    size_t connection_count() { return connections_.size(); }

    // The answer to one request line's method and target; used by the connection loop and by tests.
    HttpResponse Respond(const std::string& method, const std::string& target);

  private:
    void AcceptLoop();
    void Serve(corvel::SocketHandle socket, std::chrono::steady_clock::time_point deadline);

    HttpConfig config_;
    CenterServer& center_;
    time_t origin_ = 0;  // when the fleet began to drive: the track is reckoned from here
    std::atomic<bool> running_{false};
    std::atomic<corvel::SocketHandle> listen_socket_{corvel::kInvalidSocket};
    uint16_t port_ = 0;
    std::thread accept_thread_;
    ConnectionSet connections_;
};

}  // namespace velq_sim

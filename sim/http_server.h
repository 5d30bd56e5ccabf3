// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The center server's web side: the playback page at the configured path and, for tests and the demo, the
// camera commands received so far as plain text at /camera.log. One accept thread answers one request per
// connection (HTTP/1.1, "Connection: close"); requests are bounded (8 KiB of head, a few seconds to send
// it), so a slow or hostile client delays others briefly and costs no memory. Start binds (port 0 = the
// kernel picks); Stop ends the thread. Any thread may call port() once Start has returned.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <thread>

#include "base/socket.h"
#include "center_server.h"
#include "playback_page.h"

namespace velq_sim {

struct HttpConfig {
    std::string bind_address = "127.0.0.1";
    uint16_t port = 0;
    std::string playback_path = "/playback.aspx";
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

    // The answer to one request line's method and target; used by the connection loop and by tests.
    HttpResponse Respond(const std::string& method, const std::string& target);

  private:
    void AcceptLoop();
    void Serve(corvel::SocketHandle socket);

    HttpConfig config_;
    CenterServer& center_;
    time_t origin_ = 0;  // when the fleet began to drive: the track is reckoned from here
    std::atomic<bool> running_{false};
    std::atomic<corvel::SocketHandle> listen_socket_{corvel::kInvalidSocket};
    uint16_t port_ = 0;
    std::thread accept_thread_;
};

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
#include "http_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velq_sim {

namespace {

constexpr int kPollStepMs = 100;
constexpr size_t kMaxHeadBytes = 8192;
constexpr uint32_t kRequestTimeoutMs = 3000;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        default:
            return "Error";
    }
}

// Reads up to the blank line that ends the head; false when the peer is slow, closes or sends too much.
bool ReadHead(corvel::SocketHandle socket, std::string* head) {
    char buffer[1024];
    while (head->find("\r\n\r\n") == std::string::npos && head->find("\n\n") == std::string::npos) {
        if (head->size() >= kMaxHeadBytes) return false;
        const ssize_t n = recv(socket, buffer, std::min(sizeof(buffer), kMaxHeadBytes - head->size()), 0);
        if (n <= 0) return false;
        head->append(buffer, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

HttpServer::HttpServer(HttpConfig config, CenterServer& center)
    : config_(std::move(config)), center_(center) {}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Start(std::string* error) {
    if (running_.load()) return true;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(config_.port);
    if (inet_pton(AF_INET, config_.bind_address.c_str(), &where.sin_addr) != 1) {
        *error = "not an IPv4 address: " + config_.bind_address;
        return false;
    }
    const corvel::SocketHandle s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        *error = "cannot create a socket";
        return false;
    }
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    socklen_t length = sizeof(where);
    if (bind(s, reinterpret_cast<const sockaddr*>(&where), sizeof(where)) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        *error = "cannot listen on " + config_.bind_address + ":" + std::to_string(config_.port) +
                 " (http): " + std::strerror(errno);
        close(s);
        return false;
    }
    port_ = ntohs(where.sin_port);
    origin_ = std::time(nullptr);
    listen_socket_.store(s);
    running_.store(true);
    accept_thread_ = std::thread([this] { AcceptLoop(); });
    center_.Log("http on " + config_.bind_address + ":" + std::to_string(port_) + ", playback page " +
                config_.playback_path);
    return true;
}

void HttpServer::Stop() {
    if (!running_.exchange(false)) return;
    accept_thread_.join();
    corvel::CloseSocketOnce(listen_socket_);
}

void HttpServer::AcceptLoop() {
    while (running_.load()) {
        pollfd entry{listen_socket_.load(), POLLIN, 0};
        if (poll(&entry, 1, kPollStepMs) <= 0) continue;
        const corvel::SocketHandle client = accept(listen_socket_.load(), nullptr, nullptr);
        if (client < 0) continue;
        std::atomic<corvel::SocketHandle> handle{client};
        corvel::SetSocketTimeouts(client, kRequestTimeoutMs);
        Serve(client);
        corvel::CloseSocketOnce(handle);
    }
}

void HttpServer::Serve(corvel::SocketHandle socket) {
    std::string head;
    HttpResponse response;
    std::string method;
    if (!ReadHead(socket, &head)) {
        if (head.empty()) return;
        response = {400, "text/plain; charset=utf-8", "request head too long or incomplete\n"};
    } else {
        const std::string line = head.substr(0, head.find_first_of("\r\n"));
        const size_t first = line.find(' ');
        const size_t second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
        if (second == std::string::npos) {
            response = {400, "text/plain; charset=utf-8", "malformed request line\n"};
        } else {
            method = line.substr(0, first);
            response = Respond(method, line.substr(first + 1, second - first - 1));
        }
    }
    std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
                        "\r\nContent-Type: " + response.content_type +
                        "\r\nContent-Length: " + std::to_string(response.body.size()) +
                        "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    if (method != "HEAD") reply += response.body;
    corvel::SendAll(socket, reply.data(), reply.size());
}

HttpResponse HttpServer::Respond(const std::string& method, const std::string& target) {
    if (method != "GET" && method != "HEAD") {
        return {405, "text/plain; charset=utf-8", "only GET and HEAD are served\n"};
    }
    const size_t question = target.find('?');
    const std::string path = target.substr(0, question);
    const std::string query = question == std::string::npos ? std::string() : target.substr(question + 1);
    if (path == "/camera.log") {
        HttpResponse response{200, "text/plain; charset=utf-8", {}};
        for (const std::string& line : center_.camera_log()) response.body += line + "\n";
        return response;
    }
    if (path == config_.playback_path) {
        HttpResponse response = PlaybackPage(ParseQuery(query), center_.fleet(), origin_, std::time(nullptr));
        center_.Log("http " + std::to_string(response.status) + " " + path);
        return response;
    }
    return {404, "text/plain; charset=utf-8", "not found\n"};
}

}  // namespace velq_sim

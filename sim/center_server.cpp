// SPDX-License-Identifier: GPL-3.0-or-later
#include "center_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "base/le.h"
#include "base/text.h"

namespace velq_sim {

using corvel::AppPacketHeader;
using corvel::AppReplyHeader;
using corvel::ControlRecord;
using corvel::DeviceRecord;
using corvel::StatusRecord;

namespace {

// Requests carry at most a status record; anything much longer is not a client of this protocol.
constexpr uint32_t kMaxRequestData = 64 * 1024;
constexpr int kPollStepMs = 100;
constexpr uint32_t kCameraCode = 22;

bool IsRouteCode(uint32_t code) {
    return code == 1 || code == 3 || code == 5 || code == 7;
}

corvel::SocketHandle Bind(const std::string& address, uint16_t port, int type, uint16_t* bound,
                          std::string* error) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        *error = "not an IPv4 address: " + address;
        return corvel::kInvalidSocket;
    }
    const corvel::SocketHandle s = socket(AF_INET, type, 0);
    if (s < 0) {
        *error = "cannot create a socket";
        return corvel::kInvalidSocket;
    }
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    socklen_t length = sizeof(where);
    if (bind(s, reinterpret_cast<const sockaddr*>(&where), sizeof(where)) != 0 ||
        (type == SOCK_STREAM && listen(s, 64) != 0) ||
        getsockname(s, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        *error = std::string("cannot listen on ") + address + ":" + std::to_string(port) + ": " +
                 std::strerror(errno);
        close(s);
        return corvel::kInvalidSocket;
    }
    *bound = ntohs(where.sin_port);
    return s;
}

bool WaitReadable(corvel::SocketHandle s) {
    pollfd entry{s, POLLIN, 0};
    return poll(&entry, 1, kPollStepMs) > 0;
}

std::vector<uint8_t> Encoded(const std::vector<DeviceRecord>& records) {
    std::vector<uint8_t> data(records.size() * DeviceRecord::kBytes);
    for (size_t i = 0; i < records.size(); ++i) {
        std::memcpy(data.data() + i * DeviceRecord::kBytes, records[i].bytes, DeviceRecord::kBytes);
    }
    return data;
}

}  // namespace

struct CenterServer::Connection {
    std::atomic<corvel::SocketHandle> socket{corvel::kInvalidSocket};
    uint32_t replies = 0;
    std::string peer;
    std::thread thread;             // serves the connection; joined once `done` is set
    std::atomic<bool> done{false};  // set by the thread as its last step
};

CenterServer::CenterServer(CenterConfig config, Fleet fleet)
    : config_(std::move(config)), fleet_(std::move(fleet)) {
    faults_ = config_.faults;
}

CenterServer::~CenterServer() {
    Stop();
}

void CenterServer::Log(const std::string& line) {
    if (!config_.log) return;
    std::lock_guard guard(log_mutex_);
    std::cerr << "velq-sim: " << line << '\n';
}

bool CenterServer::Start(std::string* error) {
    if (running_.load()) return true;
    const corvel::SocketHandle tcp =
        Bind(config_.bind_address, config_.tcp_port, SOCK_STREAM, &tcp_port_, error);
    if (tcp == corvel::kInvalidSocket) return false;
    const corvel::SocketHandle udp =
        Bind(config_.bind_address, config_.udp_port, SOCK_DGRAM, &udp_port_, error);
    if (udp == corvel::kInvalidSocket) {
        close(tcp);
        return false;
    }
    listen_socket_.store(tcp);
    udp_socket_.store(udp);
    running_.store(true);
    accept_thread_ = std::thread([this] { AcceptLoop(); });
    udp_thread_ = std::thread([this] { UdpLoop(); });
    clock_thread_ = std::thread([this] { ClockLoop(); });
    Log("center server on " + config_.bind_address + " tcp " + std::to_string(tcp_port_) + " udp " +
        std::to_string(udp_port_) + ", " + std::to_string(fleet_.size()) + " vehicles");
    return true;
}

void CenterServer::Stop() {
    if (!running_.exchange(false)) return;
    // The loops poll in short steps and see the flag; their sockets are closed once they are gone, and each
    // connection's thread closes its own socket after being woken.
    accept_thread_.join();
    udp_thread_.join();
    clock_thread_.join();
    corvel::CloseSocketOnce(listen_socket_);
    corvel::CloseSocketOnce(udp_socket_);
    std::vector<std::shared_ptr<Connection>> open;
    {
        std::lock_guard guard(mutex_);
        for (auto& connection : open_) corvel::WakeSocket(connection->socket);
        open.swap(open_);
    }
    for (auto& connection : open) connection->thread.join();
    Log("center server stopped");
}

void CenterServer::set_faults(const CenterFaults& faults) {
    std::lock_guard guard(mutex_);
    faults_ = faults;
}

CenterFaults CenterServer::faults() {
    std::lock_guard guard(mutex_);
    return faults_;
}

void CenterServer::set_route_handler(RouteHandler handler) {
    std::lock_guard guard(mutex_);
    route_handler_ = std::move(handler);
}

std::vector<std::string> CenterServer::camera_log() {
    std::lock_guard guard(mutex_);
    return camera_log_;
}

size_t CenterServer::connection_threads() {
    std::lock_guard guard(mutex_);
    return open_.size();
}

uint32_t CenterServer::requests_of_type(uint32_t type) {
    std::lock_guard guard(mutex_);
    return request_counts_[type];
}

void CenterServer::AcceptLoop() {
    while (running_.load()) {
        const corvel::SocketHandle listener = listen_socket_.load();
        if (listener == corvel::kInvalidSocket || !WaitReadable(listener)) continue;
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        const corvel::SocketHandle accepted = accept(listener, reinterpret_cast<sockaddr*>(&from), &length);
        if (accepted < 0) continue;
        connections_.fetch_add(1);
        char address[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &from.sin_addr, address, sizeof(address));
        const std::string peer = std::string(address) + ":" + std::to_string(ntohs(from.sin_port));
        if (faults().refuse_connections) {
            Log("refused connection from " + peer);
            close(accepted);
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->socket.store(accepted);
        connection->peer = peer;
        Log("connection from " + peer);
        std::lock_guard guard(mutex_);
        // Finished connections are joined here: a thread kept until Stop holds its stack, and every route
        // request opens a connection.
        std::erase_if(open_, [](const auto& c) {
            if (!c->done.load()) return false;
            c->thread.join();
            return true;
        });
        connection->thread = std::thread([this, connection] { Serve(connection); });
        open_.push_back(connection);
    }
}

void CenterServer::Serve(std::shared_ptr<Connection> connection) {
    const corvel::SocketHandle s = connection->socket.load();
    for (;;) {
        uint8_t bytes[AppPacketHeader::kBytes];
        if (!corvel::RecvAll(s, bytes, sizeof(bytes))) break;
        const AppPacketHeader request = AppPacketHeader::Decode(bytes);
        if (request.magic != corvel::kCenterMagic || request.length > kMaxRequestData) {
            Log("malformed request from " + connection->peer + ", closing");
            break;
        }
        std::vector<uint8_t> data(request.length);
        if (!data.empty() && !corvel::RecvAll(s, data.data(), data.size())) break;
        if (!Answer(*connection, request, data)) break;
    }
    Log("connection from " + connection->peer + " closed");
    corvel::CloseSocketOnce(connection->socket);
    connection->done.store(true);
}

bool CenterServer::SendReply(Connection& connection, const AppPacketHeader& request, uint32_t kind,
                             uint32_t result, uint32_t count, const std::vector<uint8_t>& data) {
    const CenterFaults active = faults();
    ++connection.replies;
    AppReplyHeader reply;
    reply.magic = active.wrong_magic_at_reply == connection.replies ? corvel::FourCC('X', 'X', 'A', 'P')
                                                                    : corvel::kCenterMagic;
    reply.version = config_.version;
    reply.sequence = request.sequence;
    reply.kind = kind;
    reply.length = static_cast<uint32_t>(data.size());
    std::memcpy(reply.user, request.user, sizeof(reply.user));
    std::memcpy(reply.session_id, request.session_id, sizeof(reply.session_id));
    reply.result = result;
    reply.count = count;
    std::vector<uint8_t> packet(AppReplyHeader::kBytes + data.size());
    reply.Encode(packet.data());
    if (!data.empty()) std::memcpy(packet.data() + AppReplyHeader::kBytes, data.data(), data.size());
    if (!corvel::SendAll(connection.socket.load(), packet.data(), packet.size())) return false;
    if (active.drop_after_replies != 0 && connection.replies >= active.drop_after_replies) {
        Log("dropping " + connection.peer + " after " + std::to_string(connection.replies) + " replies");
        return false;
    }
    return true;
}

bool CenterServer::Answer(Connection& connection, const AppPacketHeader& request,
                          const std::vector<uint8_t>& data) {
    const std::string user(corvel::FieldText(request.user, sizeof(request.user)));
    const std::string password(corvel::FieldText(request.password, sizeof(request.password)));
    const auto account = config_.accounts.find(user);
    if (account == config_.accounts.end() || account->second != password) {
        Log("rejected user \"" + user + "\" from " + connection.peer);
        SendReply(connection, request, corvel::kReplyRejected, 0, 0, {});
        return false;
    }
    const CenterFaults active = faults();
    if (active.stall_after_replies != 0 && connection.replies >= active.stall_after_replies) return true;
    {
        std::lock_guard guard(mutex_);
        ++request_counts_[request.type];
    }
    const std::vector<uint8_t> none;
    if (request.type != corvel::kRequestStatusList && (active.refuse_requests || active.fail_requests)) {
        return SendReply(connection, request,
                         active.fail_requests ? corvel::kReplyFailure : corvel::kReplyAnswer,
                         active.refuse_requests ? corvel::kResultRefused : 0, 0, none);
    }
    const auto answer = [&](FleetAnswer outcome, uint32_t count, const std::vector<uint8_t>& reply_data) {
        if (outcome == FleetAnswer::kUnknownDevice)
            return SendReply(connection, request, corvel::kReplyFailure, 0, 0, none);
        if (outcome == FleetAnswer::kRefused) {
            return SendReply(connection, request, corvel::kReplyAnswer, corvel::kResultRefused, 0, none);
        }
        return SendReply(connection, request, corvel::kReplyAnswer, 0, count, reply_data);
    };

    switch (request.type) {
        case corvel::kRequestStatusList:
        case corvel::kRequestDeviceList: {
            const auto records = fleet_.Records(request.type == corvel::kRequestStatusList);
            return answer(FleetAnswer::kOk, static_cast<uint32_t>(records.size()), Encoded(records));
        }
        case corvel::kRequestAddDevice:
        case corvel::kRequestModifyDevice: {
            if (data.size() < DeviceRecord::kBytes) return answer(FleetAnswer::kRefused, 0, none);
            DeviceRecord record;
            std::memcpy(record.bytes, data.data(), DeviceRecord::kBytes);
            bool existed = false;
            const FleetAnswer outcome = request.type == corvel::kRequestAddDevice
                                            ? fleet_.AddDevice(record, &existed)
                                            : fleet_.ModifyDevice(record);
            const char* what = request.type == corvel::kRequestAddDevice ? "add" : "modify";
            Log(std::string(what) + " device " + std::string(record.id()) +
                (outcome == FleetAnswer::kOk ? (existed ? ": already known" : ": done") : ": refused"));
            if (outcome == FleetAnswer::kOk && !existed) SaveFleet();
            return answer(outcome, 0, none);
        }
        case corvel::kRequestControl: {
            if (data.size() < ControlRecord::kBytes) return answer(FleetAnswer::kRefused, 0, none);
            const ControlRecord control = ControlRecord::Decode(data.data());
            ControlRecord reply;
            FleetAnswer outcome;
            if (IsRouteCode(control.code)) {
                RouteHandler handler;
                {
                    std::lock_guard guard(mutex_);
                    handler = route_handler_;
                }
                outcome =
                    handler && handler(control, &reply) ? FleetAnswer::kOk : FleetAnswer::kUnknownDevice;
            } else {
                outcome = fleet_.Control(control, &reply);
            }
            if (control.code == kCameraCode && outcome == FleetAnswer::kOk) {
                char line[160];
                std::snprintf(line, sizeof(line),
                              "camera %s channel %d command %d parameters 0x%06X value2 %d",
                              std::string(control.id()).c_str(), control.channel, control.value & 0xFF,
                              static_cast<unsigned>(control.value) >> 8, control.value2);
                Log(line);
                std::lock_guard guard(mutex_);
                camera_log_.emplace_back(line);
            }
            std::vector<uint8_t> bytes(ControlRecord::kBytes);
            reply.Encode(bytes.data());
            return answer(outcome, 1, bytes);
        }
        case corvel::kRequestStatusSince: {
            if (data.size() < StatusRecord::kBytes) return answer(FleetAnswer::kRefused, 0, none);
            const auto records = fleet_.ChangedSince(StatusRecord::StampOf(data.data()));
            std::vector<uint8_t> bytes(records.size() * StatusRecord::kBytes);
            for (size_t i = 0; i < records.size(); ++i)
                records[i].Encode(bytes.data() + i * StatusRecord::kBytes);
            return answer(FleetAnswer::kOk, static_cast<uint32_t>(records.size()), bytes);
        }
        default:
            Log("unknown request type " + std::to_string(request.type) + " from " + connection.peer);
            return SendReply(connection, request, corvel::kReplyFailure, 0, 0, none);
    }
}

void CenterServer::SaveFleet() {
    if (config_.save_path.empty()) return;
    std::string error;
    if (!fleet_.Save(config_.save_path, &error)) Log(error);
}

void CenterServer::UdpLoop() {
    while (running_.load()) {
        const corvel::SocketHandle s = udp_socket_.load();
        if (s == corvel::kInvalidSocket || !WaitReadable(s)) continue;
        uint8_t datagram[corvel::PollAnswer::kMaxBytes];
        sockaddr_in from{};
        socklen_t length = sizeof(from);
        const ssize_t got =
            recvfrom(s, datagram, sizeof(datagram), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < static_cast<ssize_t>(corvel::PollDatagram::kBytes) ||
            corvel::LoadLE32(datagram + corvel::PollDatagram::kMagicOffset) != corvel::kCenterMagic ||
            corvel::LoadLE32(datagram + corvel::PollDatagram::kKindOffset) !=
                corvel::PollDatagram::kPollKind) {
            continue;
        }
        uint8_t answer[corvel::PollAnswer::kMinBytes];
        corvel::PollAnswer::Encode(config_.version, fleet_.stamp(), answer);
        sendto(s, answer, sizeof(answer), 0, reinterpret_cast<const sockaddr*>(&from), length);
    }
}

void CenterServer::ClockLoop() {
    std::mt19937 random(config_.seed);
    auto next = std::chrono::steady_clock::now();
    while (running_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollStepMs));
        if (config_.tick_ms == 0 || std::chrono::steady_clock::now() < next) continue;
        next += std::chrono::milliseconds(config_.tick_ms);
        fleet_.Tick(static_cast<uint32_t>(std::time(nullptr)), config_.tick_ms / 1000.0, config_.alarm_chance,
                    random);
    }
}

}  // namespace velq_sim

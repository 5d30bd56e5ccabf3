// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One velq session with the center server, on the library's exports only.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "corvel/corvel.h"
#include "event_queue.h"

namespace velq {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CommonOptions {
    std::string server = "127.0.0.1";
    uint16_t tcp_port = 24680;
    uint16_t udp_port = 24681;
    std::string user = "orvi";
    std::string password = "480913";
    uint32_t timeout_ms = 10000;
};

// A failure to report: one line on standard error and exit status 1.
struct Failure {
    std::string message;
};

// Device information read through the exports.
struct DeviceInfo {
    std::string id, vehicle, driver, position;
    int32_t channels = 0, state = 0, last_report = 0;
};
DeviceInfo ReadDevice(AppDevice* device);
// A one-line description of an event, with the device or operation it carries.
std::string Describe(const Event& event);

class Client {
  public:
    explicit Client(const CommonOptions& options);
    ~Client();  // logs out and destroys the session
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Logs in and waits for the server's acceptance; throws Failure on rejection, a bad reply, no
    // connection, or no answer within the time-out.
    void Login();
    AppSession* session() const { return session_; }

    // Waits for events until `handle` returns true for one; throws Failure on time-out or when the
    // connection fails or ends. Every event is seen by `handle` (also those it does not want).
    void WaitFor(const std::function<bool(const Event&)>& handle);
    // The server's whole device list (VelqOpt_QueryAllDevice), the devices already given back.
    std::vector<DeviceInfo> FetchAll();
    // The registered device with this identifier (from VelqApp_ShowAllDevice); throws Failure when the
    // server does not know it.
    AppDevice* FindRegistered(const std::string& id);
    // Gives back what an event hands to the client (operations with 64, devices with 145).
    void Recycle(const Event& event);
    EventQueue& events() { return events_; }

  private:
    CommonOptions options_;
    EventQueue events_{VELQ_MESSAGE};
    AppSession* session_ = nullptr;
};

}  // namespace velq

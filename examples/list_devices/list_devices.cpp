// SPDX-License-Identifier: GPL-3.0-or-later
// list_devices: logs in to a center server with libcorvel and prints the server's devices.
//
//   list_devices [HOST [TCP_PORT [UDP_PORT [USER [PASSWORD]]]]]
//
// Defaults are those of velq-sim: 127.0.0.1, 24680, 24681, orvi, 480913. Exit status 0 when the list
// arrived, 1 otherwise.
//
// The library reports everything asynchronously: it posts events to a VelqWindow from its own threads.
// A desktop program turns them into events of its toolkit; this one queues them and takes them from the
// queue on its main thread, where every library function is called.
#include <corvel/corvel.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace {

struct Event {
    uintptr_t code;
    intptr_t value;
};

// The events of one session. PostMessage runs on library threads and returns at once.
class EventQueue final : public VelqWindow {
  public:
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message != VELQ_MESSAGE) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back({wParam, lParam});
        }
        posted_.notify_one();
    }
    // Never called: this program plays no video.
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }

    // The next event, or none when `deadline` passes first.
    std::optional<Event> Next(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !events_.empty(); })) return std::nullopt;
        Event event = events_.front();
        events_.pop_front();
        return event;
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Event> events_;
};

std::string Text(AppDevice* device, int code) {
    char buffer[128] = {};
    const int length = VelqDev_GetDevInfo(device, code, buffer, sizeof(buffer));
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

int32_t Number(AppDevice* device, int code) {
    int32_t value = 0;
    VelqDev_GetDevInfo(device, code, &value, sizeof(value));
    return value;
}

// Logs in, asks for the whole device list and prints it; false with a reason on standard error.
bool ListDevices(AppSession* session, EventQueue& events, const char* host, uint16_t tcp_port,
                 uint16_t udp_port, const char* user, const char* password) {
    if (!VelqApp_SetCenterServer(session, host, tcp_port, udp_port) ||
        !VelqApp_Login(session, user, password)) {
        std::fprintf(stderr, "list_devices: cannot start the session\n");
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool asked = false;
    long expected = -1, listed = 0;
    while (auto event = events.Next(deadline)) {
        switch (event->code) {
            case VELQ_EV_CONNECT_FAILED:
                std::fprintf(stderr, "list_devices: cannot reach %s:%u\n", host, tcp_port);
                return false;
            case VELQ_EV_BAD_MAGIC:
            case VELQ_EV_REJECTED:
                std::fprintf(stderr, "list_devices: the server rejected the login\n");
                return false;
            case VELQ_EV_LOGIN_OK:
            case VELQ_EV_LOGIN_VERSION:
                if (!asked && !VelqOpt_QueryAllDevice(session)) {
                    std::fprintf(stderr, "list_devices: cannot ask for the device list\n");
                    return false;
                }
                asked = true;
                break;
            case VELQ_EV_ALL_BEGIN:
                expected = static_cast<long>(event->value);
                std::printf("%-20s %-16s %-18s %8s %s\n", "DEVICE", "VEHICLE", "DRIVER", "CHANNELS", "STATE");
                break;
            case VELQ_EV_ALL_DEVICE: {
                // Devices of this list belong to the client: read them, then give them back.
                auto* device = reinterpret_cast<AppDevice*>(event->value);
                std::printf("%-20s %-16s %-18s %8d %s\n", Text(device, VELQ_DEV_ID).c_str(),
                            Text(device, VELQ_DEV_TEXT1).c_str(), Text(device, VELQ_DEV_TEXT2).c_str(),
                            Number(device, VELQ_DEV_CHANNELS),
                            Number(device, VELQ_DEV_LAST_REPORT) != 0 ? "online" : "offline");
                VelqDev_Release(device);
                ++listed;
                break;
            }
            case VELQ_EV_OPERATION_DONE:
                VelqOpt_Release(session, reinterpret_cast<AppOperation*>(event->value));
                break;
            default:
                break;
        }
        if (expected >= 0 && listed >= expected) {
            std::printf("%ld devices\n", listed);
            return true;
        }
    }
    std::fprintf(stderr, "list_devices: no answer from %s in time\n", host);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const char* host = argc > 1 ? argv[1] : "127.0.0.1";
    const auto tcp_port = static_cast<uint16_t>(argc > 2 ? std::atoi(argv[2]) : 24680);
    const auto udp_port = static_cast<uint16_t>(argc > 3 ? std::atoi(argv[3]) : 24681);
    const char* user = argc > 4 ? argv[4] : "orvi";
    const char* password = argc > 5 ? argv[5] : "480913";

    EventQueue events;
    AppSession* session = VelqApp_Construct(&events, VELQ_MESSAGE);
    if (session == nullptr) return 1;
    const bool listed = ListDevices(session, events, host, tcp_port, udp_port, user, password);
    VelqApp_Logout(session);
    // Devices and operations still queued belong to the client; hand them back before the session goes.
    while (auto event = events.Next(std::chrono::steady_clock::now())) {
        if (event->code == VELQ_EV_ALL_DEVICE) VelqDev_Release(reinterpret_cast<AppDevice*>(event->value));
        if (event->code == VELQ_EV_OPERATION_DONE)
            VelqOpt_Release(session, reinterpret_cast<AppOperation*>(event->value));
    }
    VelqApp_Destruct(session);
    return listed ? 0 : 1;
}

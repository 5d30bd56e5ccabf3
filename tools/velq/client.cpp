// SPDX-License-Identifier: GPL-3.0-or-later
#include "client.h"

#include <cstdio>
#include <ctime>

namespace velq {

namespace {

std::string Text(AppDevice* device, int code, int size) {
    std::string buffer(static_cast<size_t>(size), '\0');
    const int length = VelqDev_GetDevInfo(device, code, buffer.data(), size);
    buffer.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return buffer;
}

int32_t Integer(AppDevice* device, int code) {
    int32_t value = 0;
    VelqDev_GetDevInfo(device, code, &value, sizeof(value));
    return value;
}

const char* const kAlarmNames[8] = {"GPIO 0 Alarm", "GPIO 1 Alarm", "GPIO 2 Alarm",     "GPIO 3 Alarm",
                                    "Disk Error",   "Over Speed",   "Reserved Alarm 6", "Reserved Alarm 7"};

std::string FourChars(intptr_t value) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

std::string Device(intptr_t value) {
    const DeviceInfo info = ReadDevice(reinterpret_cast<AppDevice*>(value));
    return info.id + (info.vehicle.empty() ? "" : " (" + info.vehicle + ")");
}

}  // namespace

DeviceInfo ReadDevice(AppDevice* device) {
    DeviceInfo info;
    info.id = Text(device, VELQ_DEV_ID, 64);
    info.vehicle = Text(device, VELQ_DEV_TEXT1, 32);
    info.driver = Text(device, VELQ_DEV_TEXT2, 32);
    info.position = Text(device, VELQ_DEV_POSITION, 128);
    info.channels = Integer(device, VELQ_DEV_CHANNELS);
    info.state = Integer(device, VELQ_DEV_STATE);
    info.last_report = Integer(device, VELQ_DEV_LAST_REPORT);
    return info;
}

std::string Describe(const Event& event) {
    const intptr_t v = event.value;
    switch (event.code) {
        case VELQ_EV_CONNECT_FAILED:
            return "connection failed or lost, retrying";
        case VELQ_EV_CONNECTING:
            return "connecting";
        case VELQ_EV_BAD_MAGIC:
            return "reply without the protocol magic; the service stopped";
        case VELQ_EV_REJECTED:
            return "login rejected; the service stopped";
        case VELQ_EV_LOGIN_OK:
            return "login accepted";
        case VELQ_EV_LOGIN_VERSION:
            return "login accepted, server version " + FourChars(v);
        case VELQ_EV_OPERATION_DONE: {
            auto* operation = reinterpret_cast<AppOperation*>(v);
            std::string text = "operation " + std::to_string(VelqOpt_GetType(operation)) + " done";
            int channel = 0, value = 0, value2 = 0;
            if (VelqOpt_GetControlResult(operation, &channel, &value, &value2)) {
                text += ": channel " + std::to_string(channel) + " value " + std::to_string(value) +
                        " value2 " + std::to_string(value2);
            }
            if (AppDevice* device = VelqOpt_GetDevice(operation)) text += " [" + ReadDevice(device).id + "]";
            return text;
        }
        case VELQ_EV_OPERATION_FAILED:
            return "operation " + std::to_string(v) + " failed";
        case VELQ_EV_OPERATION_REFUSED:
            return "operation " + std::to_string(v) + " refused";
        case VELQ_EV_LIST_BEGIN:
            return "device list of " + std::to_string(v) + " records";
        case VELQ_EV_DEVICE_NEW:
            return "new device " + Device(v);
        case VELQ_EV_DEVICE_CHANGED:
            return "device listed " + Device(v);
        case VELQ_EV_DEVICE_GONE:
            return "device not listed " + Device(v);
        case VELQ_EV_ALL_BEGIN:
            return "full device list of " + std::to_string(v) + " records";
        case VELQ_EV_ALL_DEVICE:
            return "full list device " + Device(v);
        default:
            break;
    }
    if (event.code >= VELQ_EV_STATUS_FIRST && event.code <= VELQ_EV_STATUS_LAST) {
        const int word = static_cast<int>(event.code - VELQ_EV_STATUS_FIRST);
        std::string text = "status word " + std::to_string(word) + " changed on " + Device(v);
        if (word >= 8) text += ": " + std::string(kAlarmNames[word - 8]);
        return text;
    }
    return "event " + std::to_string(event.code) + " value " + std::to_string(v);
}

Client::Client(const CommonOptions& options) : options_(options) {
    session_ = VelqApp_Construct(&events_, VELQ_MESSAGE);
    if (session_ == nullptr) throw Failure{"cannot create a session"};
}

Client::~Client() {
    VelqApp_Logout(session_);
    // Operations and devices posted after the last wait still belong to us; hand them back first.
    while (auto event = events_.Pop(std::chrono::milliseconds(0))) Recycle(*event);
    VelqApp_Destruct(session_);
}

void Client::Recycle(const Event& event) {
    if (event.code == VELQ_EV_OPERATION_DONE)
        VelqOpt_Release(session_, reinterpret_cast<AppOperation*>(event.value));
    if (event.code == VELQ_EV_ALL_DEVICE) VelqDev_Release(reinterpret_cast<AppDevice*>(event.value));
}

void Client::Login() {
    if (!VelqApp_SetCenterServer(session_, options_.server.c_str(), options_.tcp_port, options_.udp_port) ||
        !VelqApp_Login(session_, options_.user.c_str(), options_.password.c_str())) {
        throw Failure{"cannot start the session"};
    }
    WaitFor([](const Event& e) {
        if (e.code == VELQ_EV_LOGIN_VERSION) {
            std::fprintf(stderr, "velq: warning: %s\n", Describe(e).c_str());
        }
        return e.code == VELQ_EV_LOGIN_OK || e.code == VELQ_EV_LOGIN_VERSION;
    });
}

void Client::WaitFor(const std::function<bool(const Event&)>& handle) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.timeout_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw Failure{"no answer from " + options_.server + " in time"};
        const auto event = events_.Pop(left);
        if (!event) continue;
        switch (event->code) {
            case VELQ_EV_CONNECT_FAILED:
                throw Failure{"cannot reach the center server at " + options_.server + ":" +
                              std::to_string(options_.tcp_port)};
            case VELQ_EV_BAD_MAGIC:
            case VELQ_EV_REJECTED:
                throw Failure{Describe(*event)};
            default:
                break;
        }
        const bool done = handle(*event);
        if (!done) Recycle(*event);
        if (done) return;
    }
}

std::vector<DeviceInfo> Client::FetchAll() {
    if (!VelqOpt_QueryAllDevice(session_)) throw Failure{"cannot request the device list"};
    std::vector<DeviceInfo> devices;
    intptr_t expected = -1;
    WaitFor([&](const Event& e) {
        if (e.code == VELQ_EV_ALL_BEGIN) expected = e.value;
        if (e.code == VELQ_EV_ALL_DEVICE)
            devices.push_back(ReadDevice(reinterpret_cast<AppDevice*>(e.value)));
        // The last device of the list is given back by the wait, like every other event not kept.
        if (expected >= 0 && static_cast<intptr_t>(devices.size()) >= expected) {
            Recycle(e);
            return true;
        }
        return false;
    });
    return devices;
}

AppDevice* Client::FindRegistered(const std::string& id) {
    bool known = false;
    for (const DeviceInfo& device : FetchAll()) known = known || device.id == id;
    if (!known) throw Failure{"the server does not know device " + id};
    if (!VelqApp_ShowAllDevice(session_)) throw Failure{"cannot request the device list"};
    AppDevice* found = nullptr;
    WaitFor([&](const Event& e) {
        if (e.code != VELQ_EV_DEVICE_NEW && e.code != VELQ_EV_DEVICE_CHANGED) return false;
        auto* device = reinterpret_cast<AppDevice*>(e.value);
        if (ReadDevice(device).id != id) return false;
        found = device;
        return true;
    });
    return found;
}

}  // namespace velq

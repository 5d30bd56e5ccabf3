// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the center-server reply handlers (as the reply to a request of each type) and to
// VelqApp_GPRMC. The reply arrives over a socket pair whose far end is closed after the input, so every
// read that runs past the input fails as a closed connection would.
//
// Input: byte 0 picks the request (type and operation kind), the next 2 bytes the length of a sentence
// text that follows, and the rest is the reply stream.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "center/wire.h"
#include "corvel/corvel.h"
#include "session/session.h"

namespace {

struct Kind {
    uint32_t type;
    int32_t kind;
};
constexpr Kind kKinds[] = {
    {corvel::kRequestAddDevice, kOpAddDevice},       {corvel::kRequestStatusList, kOpShowAll},
    {corvel::kRequestDeviceList, kOpShowAll},        {corvel::kRequestDeviceList, kOpQueryAll},
    {corvel::kRequestModifyDevice, kOpModifyDevice}, {corvel::kRequestControl, 142},
    {corvel::kRequestStatusSince, kOpShowAll},       {77, kOpShowAll}};

// Events go nowhere; the handlers only need somewhere to post.
class NullWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t wParam, intptr_t lParam) override {
        // What the client owns comes back at once, as a client would give it back.
        if (wParam == VELQ_EV_OPERATION_DONE) pending_operation = reinterpret_cast<AppOperation*>(lParam);
        if (wParam == VELQ_EV_ALL_DEVICE) VelqDev_Release(reinterpret_cast<AppDevice*>(lParam));
    }
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }
    AppOperation* pending_operation = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static NullWindow window;
    static AppSession session(&window, VELQ_MESSAGE);
    if (size < 3 || size > 200000) return 0;
    const Kind pick = kKinds[data[0] % (sizeof(kKinds) / sizeof(kKinds[0]))];
    const size_t text_length = std::min<size_t>(static_cast<size_t>(data[1] | data[2] << 8), size - 3);
    const std::string text(reinterpret_cast<const char*>(data + 3), text_length);
    double latitude = 0, longitude = 0, speed = 0, course = 0;
    VelqApp_GPRMC(text.c_str(), &latitude, &longitude, &speed, &course);
    const uint8_t* reply = data + 3 + text_length;
    const size_t reply_size = size - 3 - text_length;

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    int buffer = 1 << 20;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof(buffer));
    setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof(buffer));
    if (write(pair[1], reply, reply_size) != static_cast<ssize_t>(reply_size)) {
        close(pair[0]);
        close(pair[1]);
        return 0;
    }
    close(pair[1]);

    AppOperation* operation = session.TakeOperation();
    operation->kind = pick.kind;
    operation->request_type = static_cast<int32_t>(pick.type);
    if (pick.type == corvel::kRequestAddDevice || pick.type == corvel::kRequestModifyDevice ||
        pick.type == corvel::kRequestControl) {
        AppDevice* device = session.TakeDevice();
        device->BindNew(&session, "FUZZ-DEVICE");
        operation->device = device;
    }
    if (pick.type == corvel::kRequestStatusSince) corvel::StatusRecord::EncodeRequest(0, operation->data);
    corvel::AppPacketHeader request;
    request.sequence = 1;
    request.type = pick.type;
    session.tcp_service().HandleReplyOffline(pair[0], request, operation);
    close(pair[0]);
    if (window.pending_operation != nullptr) {
        AppDevice* device = VelqOpt_GetDevice(window.pending_operation);
        if (device != nullptr)
            VelqDev_Release(device);  // a device of state 0 goes back, a registered one stays
        VelqOpt_Release(&session, window.pending_operation);
        window.pending_operation = nullptr;
    }
    // Keep the registry from growing across inputs.
    session.Logout();
    return 0;
}

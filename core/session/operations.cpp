// SPDX-License-Identifier: GPL-3.0-or-later
// Requests the client makes of the center server: each becomes an operation queued on the TCP service,
// which posts it back with event 64 (the client then owns it) or recycles it.
#include <cstring>
#include <mutex>

#include "center/wire.h"
#include "session/session.h"

namespace {

// The control code sent for a control type.
constexpr int32_t kControlCodeBase = 120;

}  // namespace

bool AppSession::ShowAllDevice() {
    if (!IsLoggedIn()) return false;
    AppOperation* operation = TakeOperation();
    if (operation == nullptr) return false;
    operation->kind = kOpShowAll;
    operation->request_type = static_cast<int32_t>(corvel::kRequestDeviceList);
    tcp_service_.Queue(operation);
    return true;
}

bool AppSession::QueryStatusWords() {
    if (!IsLoggedIn()) return false;
    AppOperation* operation = TakeOperation();
    if (operation == nullptr) return false;
    operation->request_type = static_cast<int32_t>(corvel::kRequestStatusSince);
    operation->data_length = corvel::StatusRecord::kBytes;
    operation->words_refresh = true;
    corvel::StatusRecord::EncodeRequest(0, operation->data);
    tcp_service_.Queue(operation);
    return true;
}

bool AppSession::QueryAllDevice() {
    if (!IsLoggedIn()) return false;
    AppOperation* operation = TakeOperation();
    if (operation == nullptr) return false;
    operation->kind = kOpQueryAll;
    operation->request_type = static_cast<int32_t>(corvel::kRequestDeviceList);
    tcp_service_.Queue(operation);
    return true;
}

bool AppSession::QueryModify(AppDevice* device) {
    const bool adding = device->state.load() == kDeviceUnlisted;
    AppOperation* operation = IsLoggedIn() ? TakeOperation() : nullptr;
    if (operation == nullptr) {
        // The client gave up its new device with this call; it must not be used again.
        if (adding) ReleaseDevice(device);
        return false;
    }
    operation->kind = adding ? kOpAddDevice : kOpModifyDevice;
    operation->request_type =
        static_cast<int32_t>(adding ? corvel::kRequestAddDevice : corvel::kRequestModifyDevice);
    operation->data_length = corvel::DeviceRecord::kBytes;
    operation->device = device;
    {
        std::lock_guard guard(device->lock);
        std::memcpy(operation->data, device->record.bytes, corvel::DeviceRecord::kBytes);
    }
    tcp_service_.Queue(operation);
    return true;
}

bool AppSession::QueryControl(AppDevice* device, int32_t type, int32_t channel, int32_t value,
                              int32_t value2) {
    if (!IsLoggedIn() || device->state.load() == kDeviceUnlisted || type <= 128) return false;
    {
        std::lock_guard guard(device->lock);
        if (channel > device->record.channel_count()) return false;
    }
    AppOperation* operation = TakeOperation();
    if (operation == nullptr) return false;
    if (type > kOpControlLast) {
        ReleaseOperation(operation);
        return false;
    }
    corvel::ControlRecord record;
    record.code = static_cast<uint32_t>(type - kControlCodeBase);
    {
        std::lock_guard guard(device->lock);
        // The identifier field as held, byte for byte (a listed identifier may fill all 64 bytes).
        std::memcpy(record.device_id, device->record.bytes + corvel::DeviceRecord::kIdOffset,
                    corvel::DeviceRecord::kIdBytes);
    }
    record.channel = channel;
    record.value = value;
    record.value2 = value2;
    operation->kind = type;
    operation->request_type = static_cast<int32_t>(corvel::kRequestControl);
    operation->data_length = corvel::ControlRecord::kBytes;
    operation->device = device;
    record.Encode(operation->data);
    tcp_service_.Queue(operation);
    return true;
}

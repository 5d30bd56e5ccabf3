#include "session/device.h"

#include <cstring>

void AppDevice::BindNew(AppSession* owner, std::string_view id) {
    session = owner;
    user_data.store(0);
    state.store(0);
    std::memset(status_words, 0, sizeof(status_words));
    record.Clear();
    record.set_id(id.substr(0, 63));
    UpdateNameKey();
}

void AppDevice::BindRecord(AppSession* owner, const uint8_t* record_bytes) {
    session = owner;
    user_data.store(0);
    state.store(0);
    std::memset(status_words, 0, sizeof(status_words));
    std::memcpy(record.bytes, record_bytes, corvel::DeviceRecord::kBytes);
    UpdateNameKey();
}

void AppDevice::UpdateNameKey() { name_key = corvel::NameHash(record.id()); }

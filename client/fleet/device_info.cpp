// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/device_info.h"

#include <algorithm>
#include <cstring>

QByteArray DeviceBytes(AppDevice* device, int code, int buffer_bytes) {
    char buffer[256] = {};
    const int size = std::clamp(buffer_bytes, 1, int(sizeof(buffer)));
    if (VelqDev_GetDevInfo(device, code, buffer, size) <= 0) return QByteArray();
    return QByteArray(buffer, int(strnlen(buffer, size_t(size))));
}

int32_t DeviceInt(AppDevice* device, int code) {
    int32_t value = 0;
    if (VelqDev_GetDevInfo(device, code, &value, sizeof(value)) != 4) return 0;
    return value;
}

bool DeviceStatusWords(AppDevice* device, uint32_t* words, uint32_t* serial) {
    uint32_t all[17] = {};
    if (VelqDev_GetDevInfo(device, VELQ_DEV_STATUS_WORDS, all, sizeof(all)) != int(sizeof(all))) return false;
    if (words != nullptr) std::memcpy(words, all, 16 * sizeof(uint32_t));
    if (serial != nullptr) *serial = all[16];
    return true;
}

bool AskStatusWords(AppSession* session) {
    AppDevice* carrier = VelqApp_CreateDevice(session, "");
    if (carrier == nullptr) return false;
    const bool asked = VelqDev_SetDevInfo(carrier, VELQ_DEV_QUERY_STATUS_WORDS, nullptr, 0) == 1;
    VelqDev_Release(carrier);
    return asked;
}

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

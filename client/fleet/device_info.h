// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a device's information from the library (VelqDev_GetDevInfo) into Qt types. Texts are read into
// a buffer of the field's full size and cut at their first NUL, so a text never runs past its field.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "corvel/corvel.h"

// The bytes of text code `code` (0, 1, 2, 7) read into a buffer of `buffer_bytes` (at most 256); empty when
// the library gives nothing.
QByteArray DeviceBytes(AppDevice* device, int code, int buffer_bytes);
// The same as text, from UTF-8.
inline QString DeviceText(AppDevice* device, int code, int buffer_bytes) {
    return QString::fromUtf8(DeviceBytes(device, code, buffer_bytes));
}
// Integer code `code` (3..6); 0 when the library gives nothing.
int32_t DeviceInt(AppDevice* device, int code);

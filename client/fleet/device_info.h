// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a device's information from the library (VelqDev_GetDevInfo) into Qt types. Texts are read into
// a buffer of the field's full size and cut at their first NUL, so a text never runs past its field.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "app/shown_text.h"
#include "corvel/corvel.h"

// The bytes of text code `code` (0, 1, 2, 7) read into a buffer of `buffer_bytes` (at most 256); empty when
// the library gives nothing.
QByteArray DeviceBytes(AppDevice* device, int code, int buffer_bytes);
// The same as text to show, from UTF-8, without direction controls (ShownText). Compare devices by
// DeviceBytes, never by this.
inline QString DeviceText(AppDevice* device, int code, int buffer_bytes) {
    return ShownText(QString::fromUtf8(DeviceBytes(device, code, buffer_bytes)));
}
// Integer code `code` (3..6); 0 when the library gives nothing.
int32_t DeviceInt(AppDevice* device, int code);
// The device's 16 status words as last received and its status serial (either pointer may be null); false
// when the library gives nothing (not logged in).
bool DeviceStatusWords(AppDevice* device, uint32_t* words, uint32_t* serial);
// Asks the center for every vehicle's status words as it holds them now, through a state-0 device made for
// the request and given back at once (the request is the session's, and a login may come before any
// device is listed). False when not logged in or the library has no device or request free.
bool AskStatusWords(AppSession* session);

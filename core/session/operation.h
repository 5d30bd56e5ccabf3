// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

struct AppDevice;

// One request to the center server with room for its reply. Zero-filled whenever it is taken from the pool.
struct AppOperation {
    static constexpr uint32_t kDataBytes = 368;
    int32_t kind = 0;          // what the client asked for (0, 64, 66, 67, 68, 129..142)
    int32_t request_type = 0;  // request type of the center-server protocol
    uint32_t data_length = 0;  // bytes of `data` sent with the request, or received for kind 67
    AppDevice* device = nullptr;
    // A type-192 request from stamp 0 asked with VELQ_DEV_QUERY_STATUS_WORDS: its older records refresh only
    // the devices' received words.
    bool words_refresh = false;
    uint8_t data[kDataBytes] = {};

    void Clear() { *this = AppOperation{}; }
};

// Operation kinds.
inline constexpr int32_t kOpShowAll = 0;
inline constexpr int32_t kOpAddDevice = 64;
inline constexpr int32_t kOpModifyDevice = 66;
inline constexpr int32_t kOpPosition = 67;
inline constexpr int32_t kOpQueryAll = 68;
inline constexpr int32_t kOpControlFirst = 129;
inline constexpr int32_t kOpControlLast = 142;

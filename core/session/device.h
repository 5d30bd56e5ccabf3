// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/locks.h"
#include "center/device_record.h"
#include "transfer/source_transf.h"

struct AppSession;
struct AppChannel;

// One recorder of the fleet. Pooled by the session and re-bound on reuse; never freed before the session.
// `lock` guards record, status and received words, name key and state; `channels_lock` the channel list. Lock
// order: the session's device-list lock, then `lock`.
struct AppDevice {
    corvel::spin_lock lock;
    AppSession* session = nullptr;
    corvel::DeviceRecord record;
    uint32_t status_words[16] = {};  // the event bookkeeping: zeros never overwrite (see ApplyStatus)
    // The words exactly as the latest status record carried them, zeros included, and how many records
    // changed them; what VELQ_DEV_STATUS_WORDS reads.
    uint32_t received_words[16] = {};
    uint32_t received_serial = 0;
    uint32_t name_key = 0;
    uint32_t index_key = 0;  // IdentifierHash of the identifier: the registry index's key
    // 0 client-created or client-owned list entry; 1..3 registered (see the registry in session.h).
    // Atomic because the client thread reads it while the center thread moves devices in and out.
    std::atomic<int32_t> state{0};
    std::atomic<int32_t> user_data{0};
    std::atomic<uint64_t> audio_byte_total{0};
    std::atomic<uint32_t> audio_frames_queued{0};
    std::atomic<uint32_t> audio_bytes_queued{0};
    // The device's own position stream: constructed, bound and stopped with the device; nothing starts it.
    corvel::CSourceTransf position_transfer{corvel::kTransferPosition, nullptr};
    corvel::spin_lock channels_lock;
    std::vector<AppChannel*> channels;
    std::atomic<int32_t> recording_count{0};
    // VELQ_DEV_PRE_RECORD_SECONDS: written by the client thread, read by the device's video transfer
    // threads at every frame (each keeps its own buffer).
    std::atomic<int32_t> pre_record_seconds{0};

    // Binds a device the client creates: record cleared, identifier set (at most 63 bytes), state 0.
    void BindNew(AppSession* owner, std::string_view id);
    // Binds a device read from a list record: the 280 bytes are taken as they are, state 0.
    void BindRecord(AppSession* owner, const uint8_t* record_bytes);
    // The info codes of the device functions. SetInfo returns `length` or 0 (unknown code, a code that
    // needs state 0 on a registered device, a null value). GetInfo returns the text length or 4 for the
    // integer codes, 0 for an unknown code or a buffer too small for the value (and a text's NUL): nothing
    // is ever written past buffer_size. Client thread; both take `lock`.
    int SetInfo(int code, const void* value, int length);
    int GetInfo(int code, void* buffer, int buffer_size);
    // Both word sets back to zero, the serial to 0 (binding for reuse).
    void ClearWords();
    // Recomputes the name and index keys from the identifier; call under `lock` once the device is shared.
    void UpdateNameKey();
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/device.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "corvel/corvel.h"

void AppDevice::BindNew(AppSession* owner, std::string_view id) {
    session = owner;
    position_transfer.Bind(owner, this, nullptr);
    user_data.store(0);
    state.store(0);
    ClearWords();
    record.Clear();
    record.set_id(id.substr(0, 63));
    UpdateNameKey();
}

void AppDevice::BindRecord(AppSession* owner, const uint8_t* record_bytes) {
    session = owner;
    position_transfer.Bind(owner, this, nullptr);
    user_data.store(0);
    state.store(0);
    ClearWords();
    std::memcpy(record.bytes, record_bytes, corvel::DeviceRecord::kBytes);
    UpdateNameKey();
}

void AppDevice::ClearWords() {
    std::memset(status_words, 0, sizeof(status_words));
    std::memset(received_words, 0, sizeof(received_words));
    received_serial = 0;
}

void AppDevice::UpdateNameKey() {
    name_key = corvel::NameHash(record.id());
    index_key = corvel::IdentifierHash(record.id());
}

namespace {

int CopyText(std::string_view text, void* buffer, int buffer_size) {
    // The whole text and its NUL must fit; a smaller buffer gets nothing rather than a cut text.
    if (buffer == nullptr || buffer_size <= 0 || text.size() + 1 > static_cast<size_t>(buffer_size)) return 0;
    if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
    static_cast<char*>(buffer)[text.size()] = '\0';
    return static_cast<int>(text.size());
}

int CopyInt(int32_t value, void* buffer, int buffer_size) {
    if (buffer == nullptr || buffer_size < 4) return 0;
    std::memcpy(buffer, &value, 4);
    return 4;
}

std::string_view CallerText(const void* value, int length, size_t limit) {
    // The caller's text ends at its NUL, at `length` bytes or at the field's limit, whichever is first.
    const size_t bound = length < 0 ? 0 : std::min(static_cast<size_t>(length), limit);
    return corvel::FieldText(value, bound);
}

}  // namespace

int AppDevice::SetInfo(int code, const void* value, int length) {
    if (value == nullptr || length < 0) return 0;
    std::lock_guard guard(lock);
    switch (code) {
        case VELQ_DEV_ID:
            if (state.load() != 0) return 0;
            record.set_id(CallerText(value, length, 63));
            UpdateNameKey();
            return length;
        case VELQ_DEV_TEXT1:
            record.set_text1(CallerText(value, length, 31));
            return length;
        case VELQ_DEV_TEXT2:
            record.set_text2(CallerText(value, length, 31));
            return length;
        case VELQ_DEV_CHANNELS: {
            if (state.load() != 0 || length < 4) return 0;
            int32_t count;
            std::memcpy(&count, value, 4);
            record.set_channel_count(count);
            return length;
        }
        default:
            return 0;
    }
}

int AppDevice::GetInfo(int code, void* buffer, int buffer_size) {
    std::lock_guard guard(lock);
    switch (code) {
        case VELQ_DEV_ID:
            return CopyText(record.id(), buffer, buffer_size);
        case VELQ_DEV_TEXT1:
            return CopyText(record.text1(), buffer, buffer_size);
        case VELQ_DEV_TEXT2:
            return CopyText(record.text2(), buffer, buffer_size);
        case VELQ_DEV_CHANNELS:
            return CopyInt(record.channel_count(), buffer, buffer_size);
        case VELQ_DEV_STATE:
            return CopyInt(state.load(), buffer, buffer_size);
        case VELQ_DEV_LAST_REPORT:
            return CopyInt(static_cast<int32_t>(record.last_report()), buffer, buffer_size);
        case VELQ_DEV_GPS_RUNNING:
            return CopyInt(0, buffer, buffer_size);  // no operation starts the position stream
        case VELQ_DEV_POSITION:
            return CopyText(record.has_position() ? record.position() : std::string_view(), buffer,
                            buffer_size);
        default:
            return 0;
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/le.h"
#include "base/text.h"
#include "base/tick.h"
#include "center/wire.h"
#include "corvel/corvel.h"
#include "session/channel.h"

using corvel::DeviceRecord;

AppSession::AppSession(VelqWindow* target, uint32_t message_number)
    : window(target), message(message_number) {}

AppSession::~AppSession() {
    Logout();
}

void AppSession::PostEvent(uint32_t code, intptr_t value) const {
    if (window != nullptr) window->PostMessage(message, code, value);
}

bool AppSession::IsLoggedIn() const {
    return tcp_service_.HasThread();
}

void AppSession::set_center_timing(const corvel::CenterTiming& timing) {
    center_timing_ = timing;
    tcp_service_.set_timing(timing);
    udp_service_.set_timing(timing);
}

bool AppSession::ServicesIdle() const {
    return !IsLoggedIn() && tcp_service_.WorkerExited() && udp_service_.WorkerExited();
}

bool AppSession::SetCenterServer(const char* host, uint16_t tcp, uint16_t udp) {
    if (!ServicesIdle()) return false;
    corvel::StoreFieldText(server_host, sizeof(server_host),
                           std::string_view(host ? host : "", corvel::BoundedLength(host, 259)));
    tcp_port = tcp;
    udp_port = udp;
    return true;
}

void AppSession::StoreCredentials(const char* user, const char* pass, uint32_t tick) {
    corvel::StoreFieldText(user_name, sizeof(user_name),
                           std::string_view(user ? user : "", corvel::BoundedLength(user, 31)));
    corvel::StoreFieldText(password, sizeof(password),
                           std::string_view(pass ? pass : "", corvel::BoundedLength(pass, 31)));
    // A 31-byte name and the 9 characters after it do not fit the 32-byte field: the identifier is cut at
    // the field's end (still NUL-terminated), as a server that reads 32 bytes sees it anyway.
    const int wanted = std::snprintf(session_id, sizeof(session_id), "%s-%08X", user_name, tick);
    if (wanted >= static_cast<int>(sizeof(session_id))) session_id[sizeof(session_id) - 1] = '\0';
}

bool AppSession::Login(const char* user, const char* pass) {
    if (!ServicesIdle()) return false;
    StoreCredentials(user, pass, corvel::TickCount32());
    if (!tcp_service_.Start()) return false;
    if (!udp_service_.Start()) {
        // Half a login would leave the session logged in after reporting failure.
        tcp_service_.Stop(corvel::kStopTimeoutMs);
        return false;
    }
    return true;
}

void AppSession::Logout() {
    udp_service_.Stop(corvel::kStopTimeoutMs);
    tcp_service_.Stop(corvel::kStopTimeoutMs);
    for (;;) {
        AppDevice* last = nullptr;
        {
            std::lock_guard guard(devices_lock_);
            if (devices_.empty()) break;
            last = devices_.back();
        }
        ReleaseRegisteredDevice(last);
    }
    std::lock_guard guard(devices_lock_);
    unlisted_words_.clear();
}

void AppSession::ReleaseRegisteredDevice(AppDevice* device) {
    for (;;) {
        AppChannel* channel = nullptr;
        {
            std::lock_guard guard(device->channels_lock);
            if (device->channels.empty()) break;
            channel = device->channels.back();
            device->channels.pop_back();
        }
        channel->StopAll();
        channel->WaitForAudioWriters();
        channel_pool_.Release(channel);
    }
    device->position_transfer.Stop(corvel::kStopTimeoutMs);
    bool was_registered = false;
    {
        std::lock_guard guard(devices_lock_);
        was_registered = RemoveFromRegistryLocked(device);
    }
    if (was_registered) device_pool_.Release(device);
}

AppChannel* AppSession::TakeChannel() {
    return channel_pool_.Take();
}

void AppSession::ReleaseChannel(AppChannel* channel) {
    channel_pool_.Release(channel);
}

AppOperation* AppSession::TakeOperation() {
    AppOperation* operation = operation_pool_.Take();
    if (operation != nullptr) operation->Clear();
    return operation;
}

AppDevice* AppSession::FindLocked(uint32_t key, std::string_view id) const {
    return by_key_.Find(key, [id](const AppDevice* device) { return device->record.id() == id; });
}

bool AppSession::RemoveFromRegistryLocked(AppDevice* device) {
    // Searched from the back: logout releases the last device each time, so emptying the registry stays O(n).
    const auto it = std::find(devices_.rbegin(), devices_.rend(), device);
    if (it == devices_.rend()) return false;
    devices_.erase(std::next(it).base());
    by_key_.Erase(device->index_key, device);
    return true;
}

void AppSession::BeginList(uint32_t count) {
    PostEvent(VELQ_EV_LIST_BEGIN, static_cast<intptr_t>(count));
    std::lock_guard guard(devices_lock_);
    for (AppDevice* device : devices_) device->state.store(kDeviceAbsent);
    // Growing once up front keeps a large first list from rehashing as it arrives; the count is the
    // server's word, so it only sizes the table within reason.
    by_key_.Reserve(std::min<size_t>(count, 1u << 20) + devices_.size());
}

bool AppSession::MergeDevice(AppDevice* candidate) {
    std::lock_guard guard(devices_lock_);
    AppDevice* existing = FindLocked(candidate->index_key, candidate->record.id());
    if (existing == nullptr) {
        candidate->state.store(kDeviceAdding);
        const auto kept = unlisted_words_.find(std::string(candidate->record.id()));
        if (kept != unlisted_words_.end()) {
            // Not shared yet: the device's lock is not needed.
            std::memcpy(candidate->received_words, kept->second.data(), sizeof(candidate->received_words));
            candidate->received_serial = 1;
            unlisted_words_.erase(kept);
        }
        devices_.push_back(candidate);
        by_key_.Insert(candidate->index_key, candidate);
        return true;
    }
    std::lock_guard device_guard(existing->lock);
    existing->record.CopyMutableFrom(candidate->record.bytes);
    existing->state.store(kDevicePresent);
    return false;
}

void AppSession::EndList() {
    std::lock_guard guard(devices_lock_);
    for (AppDevice* device : devices_) {
        const int32_t state = device->state.load();
        if (state == kDeviceAbsent) {
            PostEvent(VELQ_EV_DEVICE_GONE, reinterpret_cast<intptr_t>(device));
        } else if (state == kDeviceAdding) {
            device->state.store(device->record.last_report() != 0 ? kDevicePresent : kDeviceAbsent);
            PostEvent(VELQ_EV_DEVICE_NEW, reinterpret_cast<intptr_t>(device));
        } else if (state == kDevicePresent) {
            PostEvent(VELQ_EV_DEVICE_CHANGED, reinterpret_cast<intptr_t>(device));
        }
    }
}

namespace {

// The parts of a status record ApplyStatus and RefreshReceivedWords need.
struct StatusParts {
    const uint8_t* device_record = nullptr;
    std::string_view id;
    uint32_t key = 0;
    bool words_valid = false;
    uint32_t words[corvel::StatusRecord::kWordCount] = {};
};

bool ParseStatus(const uint8_t* record, size_t bytes, StatusParts* parts) {
    using corvel::StatusRecord;
    if (bytes < StatusRecord::kDeviceOffset + DeviceRecord::kBytes) return false;
    parts->device_record = record + StatusRecord::kDeviceOffset;
    parts->id = corvel::FieldText(parts->device_record + DeviceRecord::kIdOffset, DeviceRecord::kIdBytes);
    parts->key = corvel::IdentifierHash(parts->id);
    // The status words follow the device record at its own declared size; a size that would put them
    // outside what was received leaves the words alone.
    const size_t words_at = StatusRecord::StatusWordsOffset(corvel::LoadLE32(parts->device_record));
    parts->words_valid = words_at + 4 * StatusRecord::kWordCount <= bytes;
    for (size_t i = 0; parts->words_valid && i < StatusRecord::kWordCount; ++i)
        parts->words[i] = corvel::LoadLE32(record + words_at + 4 * i);
    return true;
}

// Under the device's lock. The first record counts even when all its words are 0: serial 0 means "no
// record yet".
void StoreReceived(AppDevice* device, const uint32_t (&words)[16]) {
    if (device->received_serial != 0 && std::memcmp(words, device->received_words, sizeof(words)) == 0)
        return;
    std::memcpy(device->received_words, words, sizeof(words));
    ++device->received_serial;
}

}  // namespace

// Under devices_lock_: the words of a record naming no registered device (typically the reply to
// QueryStatusWords coming before the list that registers it) wait for the device.
void AppSession::KeepUnlistedLocked(std::string_view id, const uint32_t (&words)[16]) {
    auto kept = unlisted_words_.find(std::string(id));
    if (kept == unlisted_words_.end() && unlisted_words_.size() < kMaxUnlistedWords)
        kept = unlisted_words_.emplace(std::string(id), std::array<uint32_t, 16>{}).first;
    if (kept != unlisted_words_.end()) std::memcpy(kept->second.data(), words, sizeof(words));
}

void AppSession::ApplyStatus(const uint8_t* record, size_t bytes) {
    StatusParts parts;
    if (!ParseStatus(record, bytes, &parts)) return;
    std::lock_guard guard(devices_lock_);
    AppDevice* device = FindLocked(parts.key, parts.id);
    if (device == nullptr) {
        if (parts.words_valid) KeepUnlistedLocked(parts.id, parts.words);
        return;
    }
    std::lock_guard device_guard(device->lock);
    device->record.CopyMutableFrom(parts.device_record);
    if (!parts.words_valid) return;
    StoreReceived(device, parts.words);
    // The events keep their own rule: a zero word never overwrites, the first non-zero value is silent.
    for (int i = 0; i < 16; ++i) {
        const uint32_t word = parts.words[i];
        if (word == 0 || word == device->status_words[i]) continue;
        if (device->status_words[i] != 0)
            PostEvent(VELQ_EV_STATUS_FIRST + i, reinterpret_cast<intptr_t>(device));
        device->status_words[i] = word;
    }
}

void AppSession::RefreshReceivedWords(const uint8_t* record, size_t bytes) {
    StatusParts parts;
    if (!ParseStatus(record, bytes, &parts) || !parts.words_valid) return;
    std::lock_guard guard(devices_lock_);
    AppDevice* device = FindLocked(parts.key, parts.id);
    if (device == nullptr) {
        KeepUnlistedLocked(parts.id, parts.words);
        return;
    }
    std::lock_guard device_guard(device->lock);
    StoreReceived(device, parts.words);
}

size_t AppSession::LongestIndexProbe() {
    std::lock_guard guard(devices_lock_);
    return by_key_.LongestProbe();
}

AppDevice* AppSession::FindDevice(std::string_view id) {
    std::lock_guard guard(devices_lock_);
    return FindLocked(corvel::IdentifierHash(id), id);
}

size_t AppSession::DeviceCount() {
    std::lock_guard guard(devices_lock_);
    return devices_.size();
}

std::vector<AppDevice*> AppSession::Devices() {
    std::lock_guard guard(devices_lock_);
    return devices_;
}

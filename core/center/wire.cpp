// SPDX-License-Identifier: GPL-3.0-or-later
#include "center/wire.h"

#include <cstring>

#include "base/le.h"
#include "base/text.h"

namespace corvel {

namespace {

// The three 32-byte texts shared by the request and the reply header.
void EncodeTexts(uint8_t* out, const char* user, const char* password, const char* session_id) {
    std::memcpy(out + AppPacketHeader::kUserOffset, user, AppPacketHeader::kTextBytes);
    std::memcpy(out + AppPacketHeader::kPasswordOffset, password, AppPacketHeader::kTextBytes);
    std::memcpy(out + AppPacketHeader::kSessionOffset, session_id, AppPacketHeader::kTextBytes);
}

void DecodeTexts(const uint8_t* in, char* user, char* password, char* session_id) {
    std::memcpy(user, in + AppPacketHeader::kUserOffset, AppPacketHeader::kTextBytes);
    std::memcpy(password, in + AppPacketHeader::kPasswordOffset, AppPacketHeader::kTextBytes);
    std::memcpy(session_id, in + AppPacketHeader::kSessionOffset, AppPacketHeader::kTextBytes);
}

}  // namespace

void AppPacketHeader::Encode(uint8_t* out) const {
    StoreLE32(out + kMagicOffset, magic);
    StoreLE32(out + kVersionOffset, version);
    StoreLE32(out + kSequenceOffset, sequence);
    StoreLE32(out + kTypeOffset, type);
    StoreLE32(out + kLengthOffset, length);
    EncodeTexts(out, user, password, session_id);
    StoreLE32(out + kHasDataOffset, has_data);
}

AppPacketHeader AppPacketHeader::Decode(const uint8_t* in) {
    AppPacketHeader h;
    h.magic = LoadLE32(in + kMagicOffset);
    h.version = LoadLE32(in + kVersionOffset);
    h.sequence = LoadLE32(in + kSequenceOffset);
    h.type = LoadLE32(in + kTypeOffset);
    h.length = LoadLE32(in + kLengthOffset);
    DecodeTexts(in, h.user, h.password, h.session_id);
    h.has_data = LoadLE32(in + kHasDataOffset);
    return h;
}

void AppReplyHeader::Encode(uint8_t* out) const {
    StoreLE32(out + AppPacketHeader::kMagicOffset, magic);
    StoreLE32(out + AppPacketHeader::kVersionOffset, version);
    StoreLE32(out + AppPacketHeader::kSequenceOffset, sequence);
    StoreLE32(out + AppPacketHeader::kTypeOffset, kind);
    StoreLE32(out + AppPacketHeader::kLengthOffset, length);
    EncodeTexts(out, user, password, session_id);
    StoreLE32(out + kResultOffset, result);
    StoreLE32(out + kCountOffset, count);
}

AppReplyHeader AppReplyHeader::Decode(const uint8_t* in) {
    AppReplyHeader h;
    h.magic = LoadLE32(in + AppPacketHeader::kMagicOffset);
    h.version = LoadLE32(in + AppPacketHeader::kVersionOffset);
    h.sequence = LoadLE32(in + AppPacketHeader::kSequenceOffset);
    h.kind = LoadLE32(in + AppPacketHeader::kTypeOffset);
    h.length = LoadLE32(in + AppPacketHeader::kLengthOffset);
    DecodeTexts(in, h.user, h.password, h.session_id);
    h.result = LoadLE32(in + kResultOffset);
    h.count = LoadLE32(in + kCountOffset);
    return h;
}

void StatusRecord::EncodeRequest(uint64_t stamp, uint8_t* out) {
    std::memset(out, 0, kBytes);
    StoreLE32(out + kSizeOffset, static_cast<uint32_t>(kBytes));
    StoreLE32(out + kStampLowOffset, static_cast<uint32_t>(stamp));
    StoreLE32(out + kStampHighOffset, static_cast<uint32_t>(stamp >> 32));
}

void StatusRecord::Encode(uint8_t* out) const {
    EncodeRequest(stamp, out);
    std::memcpy(out + kDeviceOffset, device.bytes, DeviceRecord::kBytes);
    const size_t at = StatusWordsOffset(device.record_size());
    // A device record declaring an odd size would push the words out of the record; such a record is sent
    // without words rather than overrunning.
    if (at + kWordCount * 4 > kBytes) return;
    for (size_t i = 0; i < kWordCount; ++i) StoreLE32(out + at + 4 * i, words[i]);
}

std::string_view ControlRecord::id() const {
    return FieldText(device_id, kIdBytes);
}

void ControlRecord::set_id(std::string_view text) {
    StoreFieldText(device_id, kIdBytes, text);
}

void ControlRecord::Encode(uint8_t* out) const {
    StoreLE32(out + kSizeOffset, size);
    StoreLE32(out + kCodeOffset, code);
    std::memcpy(out + kIdOffset, device_id, kIdBytes);
    StoreLE32(out + kChannelOffset, static_cast<uint32_t>(channel));
    StoreLE32(out + kValueOffset, static_cast<uint32_t>(value));
    StoreLE32(out + kValue2Offset, static_cast<uint32_t>(value2));
}

ControlRecord ControlRecord::Decode(const uint8_t* in) {
    ControlRecord r;
    r.size = LoadLE32(in + kSizeOffset);
    r.code = LoadLE32(in + kCodeOffset);
    std::memcpy(r.device_id, in + kIdOffset, kIdBytes);
    r.channel = static_cast<int32_t>(LoadLE32(in + kChannelOffset));
    r.value = static_cast<int32_t>(LoadLE32(in + kValueOffset));
    r.value2 = static_cast<int32_t>(LoadLE32(in + kValue2Offset));
    return r;
}

void PollDatagram::Encode(std::string_view session_id, uint8_t* out) {
    std::memset(out, 0, kBytes);
    StoreLE32(out + kMagicOffset, kCenterMagic);
    StoreLE32(out + kVersionOffset, kCenterVersion);
    StoreLE32(out + kKindOffset, kPollKind);
    StoreFieldText(out + kSessionOffset, kSessionBytes, session_id);
}

bool PollAnswer::Decode(const uint8_t* in, size_t bytes, uint64_t* stamp) {
    if (bytes < kMinBytes || LoadLE32(in + kMagicOffset) != kCenterMagic ||
        LoadLE32(in + kKindOffset) != kReplyPollAnswer) {
        return false;
    }
    *stamp = static_cast<uint64_t>(LoadLE32(in + kStampHighOffset)) << 32 | LoadLE32(in + kStampLowOffset);
    return true;
}

void PollAnswer::Encode(uint32_t version, uint64_t stamp, uint8_t* out) {
    std::memset(out, 0, kMinBytes);
    StoreLE32(out + kMagicOffset, kCenterMagic);
    StoreLE32(out + kVersionOffset, version);
    StoreLE32(out + kKindOffset, kReplyPollAnswer);
    StoreLE32(out + kStampLowOffset, static_cast<uint32_t>(stamp));
    StoreLE32(out + kStampHighOffset, static_cast<uint32_t>(stamp >> 32));
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/transfer_wire.h"

#include <cstring>

#include "base/le.h"
#include "base/text.h"

namespace corvel {

void TransferHeader::Encode(uint8_t* out) const {
    StoreLE32(out + kMagicOffset, magic);
    StoreLE32(out + kVersionOffset, version);
    StoreLE32(out + kSequenceOffset, sequence);
    StoreLE32(out + kTimeOffset, time);
    StoreLE32(out + kLengthOffset, length);
    out[kSentByUsOffset] = sent_by_us;
    out[kKindOffset] = kind;
    out[kChannelOffset] = channel;
    std::memcpy(out + kMediaOffset, media, sizeof(media));
}

TransferHeader TransferHeader::Decode(const uint8_t* in) {
    TransferHeader h;
    h.magic = LoadLE32(in + kMagicOffset);
    h.version = LoadLE32(in + kVersionOffset);
    h.sequence = LoadLE32(in + kSequenceOffset);
    h.time = LoadLE32(in + kTimeOffset);
    h.length = LoadLE32(in + kLengthOffset);
    h.sent_by_us = in[kSentByUsOffset];
    h.kind = in[kKindOffset];
    h.channel = in[kChannelOffset];
    std::memcpy(h.media, in + kMediaOffset, sizeof(h.media));
    return h;
}

void StreamRequest::Encode(uint8_t* out) const {
    std::memset(out, 0, kBytes);
    StoreLE32(out + 0, kStreamMagic);
    StoreLE32(out + 4, kTransferVersion);
    StoreLE32(out + 8, kRequest);
    StoreLE32(out + 12, kFollowingBytes);
    StoreFieldText(out + kUserOffset, kTextBytes, user);
    StoreFieldText(out + kPasswordOffset, kTextBytes, password);
    StoreFieldText(out + kSessionOffset, kTextBytes, session_id);
    StoreFieldText(out + kDeviceOffset, kDeviceBytes, device_id);
    out[kDirectionOffset] = kind == kTransferTalk ? 1 : 2;
    out[kKindOffset] = kind;
    out[kChannelOffset] = channel;
}

StreamReply StreamReply::Decode(const uint8_t* in) {
    StreamReply r;
    r.magic = LoadLE32(in + 0);
    r.answer = LoadLE32(in + 8);
    r.further = LoadLE32(in + 12);
    return r;
}

void StreamReply::Encode(uint8_t* out) const {
    std::memset(out, 0, kBytes);
    StoreLE32(out + 0, magic);
    StoreLE32(out + 8, answer);
    StoreLE32(out + 12, further);
}

}  // namespace corvel

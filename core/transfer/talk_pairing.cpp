// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/talk_pairing.h"

#include <cstring>

#include "base/le.h"

namespace corvel {

bool CTalkPairing::SendFrame(uint8_t* frame, TalkPacketSender& sender) {
    uint8_t* const previous_payload = previous_ + kAudioHeaderBytes;
    ++counter_;
    if (counter_ >= 2 && have_previous_) {
        // The previous frame becomes the bridge: its block 2 moves into block 1, this frame's block 1
        // goes into its block 2.
        std::memmove(previous_payload + kAudioBlockOffset[0], previous_payload + kAudioBlockOffset[1],
                     kAudioBlockBytes);
        std::memcpy(previous_payload + kAudioBlockOffset[1], frame + kAudioHeaderBytes + kAudioBlockOffset[0],
                    kAudioBlockBytes);
        StoreLE32(previous_ + 8, counter_);
        if (!sender.SendPacket(previous_, kAudioPacketBytes)) return false;
        ++counter_;
    }
    StoreLE32(frame + 8, counter_);
    std::memcpy(previous_, frame, kAudioPacketBytes);
    have_previous_ = true;
    return sender.SendPacket(frame, kAudioPacketBytes);
}

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

#include "transfer/audio_payload.h"

namespace corvel {

// Sends one packet of the talk stream; false when the send failed.
class TalkPacketSender {
  public:
    virtual bool SendPacket(const uint8_t* packet, int32_t bytes) = 0;

  protected:
    ~TalkPacketSender() = default;
};

// The overlapping send scheme of the talk uplink (transfer kind 33): from the second frame on, every frame
// is preceded by a bridge packet that carries block 2 of the previous frame and block 1 of this one, so
// that every block after the first goes out twice and one lost packet costs no audio. Sequence numbers
// stay consecutive over all packets. Owned by one talk transfer thread; one instance per connection.
class CTalkPairing {
  public:
    // For a new connection: numbering restarts at 1, no previous frame.
    void Reset() {
        counter_ = 0;
        have_previous_ = false;
    }

    // `frame`: one 1032-byte frame (header filled, payload as the capture wrote it) taken from the talk
    // buffer. Gives it the next sequence number (header offset 8) and sends it, after its bridge packet
    // when there is a previous frame. The previous frame is kept as a copy here, since the talk buffer
    // hands its bytes back to the capture at the next Pop. Returns false as soon as a send fails.
    bool SendFrame(uint8_t* frame, TalkPacketSender& sender);

    // Sequence number of the last packet sent on this connection.
    uint32_t counter() const { return counter_; }

  private:
    uint32_t counter_ = 0;
    bool have_previous_ = false;
    uint8_t previous_[kAudioPacketBytes] = {};
};

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

#include "media/audio_codec.h"
#include "media/frame_buffer.h"
#include "transfer/audio_payload.h"

namespace corvel {

// The recorder side of the audio hand-over, implemented over the device by the audio transfer.
// Both calls come from the audio transfer thread.
class AudioRecordTarget {
  public:
    // Whether the device's recording count is not 0; nothing is decoded for recording otherwise.
    virtual bool AudioRecordingWanted() = 0;
    // PCM decoded from one received frame, in one or more pieces in order. The implementation passes it,
    // under the device's channel-list lock, to the recorder of every channel of the device with a file
    // open, so every recording channel records the audio received on any channel of the device.
    virtual void RecordAudio(const uint8_t* pcm, int32_t bytes) = 0;

  protected:
    ~AudioRecordTarget() = default;
};

// Hands a finished audio frame (960 or 1920 bytes) to the device's recorders, decoded, and then to the
// channel's audio buffer. Owned and called by one audio transfer thread.
class CAudioHandOver {
  public:
    static constexpr int32_t kWorkBytes = 7680;

    // `buffer` receives the frames; `recorders` may be null (nothing is recorded).
    CAudioHandOver(CBuffer* buffer, AudioRecordTarget* recorders) : buffer_(buffer), recorders_(recorders) {}

    // rec: data, size, type, time (and sequence) of the frame, written at the producer's write position.
    // The whole frame is decoded for the recorders, in pieces of at most kWorkBytes of PCM, each frame
    // from its first word. Then it is pushed: returns whether the buffer stored it; rec->data is the next
    // write position if so and unchanged otherwise.
    bool HandOver(FrameRecord* rec);

    // Codec state of the recording decode; starts at 32 kbit/s, follows the rate of the frames.
    AudioCodecState codec;

  private:
    CBuffer* buffer_;
    AudioRecordTarget* recorders_;
    uint8_t work_[kWorkBytes];
};

// Receiver of protected audio (transfer kind 19): rebuilds up to two lost packets of every protected
// group (A, B, sum, difference) and delivers the audio as 960- or 1920-byte frames through the hand-over.
// Owned and called by one audio transfer thread, packet by packet.
//
// The state lives in the transfer's write cursor between packets, so the cursor that GetWritePos gives
// after every (re)connection starts the receiver afresh: sequence = last header sequence, time = last
// header time, type = frame type of the last codec code, aux = recovery state (kRecovery*). The bytes of
// a held packet and of the last delivered A are kept here, not in the region: the buffer may refuse a
// frame, and the next payload is then received over it.
class CAudioReceiver {
  public:
    static constexpr uint32_t kRecoveryNone = 0;
    static constexpr uint32_t kRecoveryBHeld = 1;  // a format-2 packet waits for its partner
    static constexpr uint32_t kRecoverySHeld = 2;  // a sum packet waits for the difference packet
    static constexpr uint32_t kRecoveryLastA = 3;  // the last plain packet delivered can rebuild its B

    explicit CAudioReceiver(CAudioHandOver* hand_over) : hand_over_(hand_over) {}

    // `header`: the packet's 36-byte stream header; the payload (header length field) has been received
    // at cursor->data, which has the buffer's reserve of one largest frame (at least 1924 bytes) behind
    // it. A delivered frame is written from cursor->data + 4 on; if the buffer stores it cursor->data
    // advances past it. Packets of an unknown codec and payloads too short to carry both blocks are
    // dropped after the sequence is noted, leaving the recovery state as it was.
    // Returns the bytes handed over (0, 960 or 1920), whether or not the buffer kept them.
    int32_t OnPacket(FrameRecord* cursor, const uint8_t* header);

  private:
    // One or two packets' audio, from raw payloads (`second` may be null).
    int32_t Deliver(FrameRecord* cursor, const uint8_t* first, const uint8_t* second);
    // The audio already rebuilt at cursor->data + 4.
    int32_t HandOver(FrameRecord* cursor, int32_t bytes);

    CAudioHandOver* hand_over_;
    uint8_t packet_[kAudioPayloadBytes] = {};
    uint8_t held_[kAudioPayloadBytes] = {};
    uint8_t last_a_[kAudioPayloadBytes] = {};
};

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <netinet/in.h>
#include <atomic>
#include <cstdint>
#include <memory>

#include "base/socket.h"
#include "base/thread.h"
#include "media/frame_buffer.h"
#include "media/pre_record.h"
#include "transfer/audio_protection.h"
#include "transfer/talk_pairing.h"
#include "transfer/transfer_wire.h"

struct AppSession;
struct AppDevice;
struct AppChannel;
struct AppOperation;

namespace corvel {

// The worker that carries one media stream between the library and a transfer server: it asks the center
// server for a route, connects to the transfer server, sends the stream request and then receives packets
// into its buffer (video, audio, the device's position stream) or sends the talk buffer's frames.
// Every failure posts its event, pauses 5 s (ended by Stop) and starts again from the route.
//
// Threads: Bind/Start/Stop from the client's thread; Run on the worker. The worker reads the session's
// address and credentials and the device identifier (under the device's lock); the buffer is shared with
// its consumer or producer under the buffer's own lock; counters are atomic.
class CSourceTransf : public CMyThread, private AudioRecordTarget, private TalkPacketSender {
  public:
    // kind: 1 video, 19 audio, 33 talk, 4 the device's position stream. `buffer` is null for the device kind.
    CSourceTransf(uint8_t kind, CBuffer* buffer);
    ~CSourceTransf() override;

    // Points the transfer at its channel (null for the device kind), device and session. Not while running.
    // A receiving video transfer hands every kept frame to the channel's recorder while it records; the
    // audio transfer hands decoded audio to every recording channel of the device.
    void Bind(AppSession* session, AppDevice* device, AppChannel* channel);
    void Stop(uint32_t timeout_ms) override;
    int Run() override;
    const char* ThreadName() const override;

    // Bytes received or sent since the last call (payload + 36 per packet), for the statistics period.
    uint64_t TakeByteCount() { return byte_count_.exchange(0, std::memory_order_acq_rel); }
    // Counts one packet of `payload_bytes` (and its header) into the statistics.
    void CountPacket(uint32_t payload_bytes) {
        byte_count_.fetch_add(uint64_t{payload_bytes} + TransferHeader::kBytes, std::memory_order_relaxed);
    }
    uint8_t kind() const { return kind_; }
    // Wait after a failure; by default the session's retry pause (5000 ms unless a test shortens it).
    void set_retry_pause_ms(uint32_t pause_ms) { retry_pause_ms_ = pause_ms; }

  private:
    bool RequestRoute();
    bool ConnectStream();
    // Receives packets until a failure (false) or a stop (true).
    bool ReceiveLoop();
    bool SendTalkLoop();
    void HandleVideoFrame(const TransferHeader& header);
    void HandleAudioPacket(const uint8_t* header_bytes, const TransferHeader& header);
    bool HandlePositionPacket(const TransferHeader& header);
    void Post(uint32_t code) const;
    // The audio hand-over's view of the device's recorders.
    bool AudioRecordingWanted() override;
    void RecordAudio(const uint8_t* pcm, int32_t bytes) override;
    // The talk pairing's way out.
    bool SendPacket(const uint8_t* packet, int32_t bytes) override;
    bool OpenSocket(const sockaddr_in& address);

    const uint8_t kind_;
    CBuffer* const buffer_;
    AppSession* session_ = nullptr;
    AppDevice* device_ = nullptr;
    AppChannel* channel_ = nullptr;
    // Audio kind: made at the first route request, kept with the object (the decoder state and the work
    // buffer of the recording hand-over, and the recovery of lost packets).
    std::unique_ptr<CAudioHandOver> hand_over_;
    std::unique_ptr<CAudioReceiver> receiver_;
    CTalkPairing pairing_;

    std::atomic<uint64_t> byte_count_{0};  // 64 bits: periods may go uncollected for hours
    std::atomic<SocketHandle> socket_{kInvalidSocket};
    sockaddr_in server_{};  // the transfer server of the last route
    FrameRecord cursor_;
    // Video kind: the channel's last seconds of video while its device asks for them
    // (AppDevice::pre_record_seconds). Only this transfer's thread touches it.
    PreRecordBuffer pre_record_;
    AppOperation* pending_ = nullptr;  // device kind: the operation receiving the next payload
    uint32_t retry_pause_ms_ = 0;      // 0: the session's
};

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/source_transf.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "center/wire.h"
#include "corvel/corvel.h"
#include "session/channel.h"
#include "session/device.h"
#include "session/session.h"

namespace corvel {

namespace {

// Payloads of the device's position stream are at most this long.
constexpr uint32_t kPositionPayloadBytes = 256;
// A stream reply that announces more than this many further bytes is not a transfer server's.
constexpr uint32_t kStreamReplyFurtherLimit = 65536;

uint32_t RouteCode(uint8_t kind) {
    switch (kind) {
        case kTransferVideo:
            return kRouteVideo;
        case kTransferAudio:
            return kRouteAudio;
        case kTransferTalk:
            return kRouteTalk;
        default:
            return kRoutePosition;
    }
}

}  // namespace

CSourceTransf::CSourceTransf(uint8_t kind, CBuffer* buffer) : kind_(kind), buffer_(buffer) {}

CSourceTransf::~CSourceTransf() {
    Stop(kStopTimeoutMs);
    WaitForExit();
    CloseSocketOnce(socket_);
}

void CSourceTransf::Bind(AppSession* session, AppDevice* device, AppChannel* channel) {
    session_ = session;
    device_ = device;
    channel_ = channel;
}

void CSourceTransf::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    WakeSocket(socket_);
    CMyThread::Stop(timeout_ms);
    if (WorkerExited()) CloseSocketOnce(socket_);
}

void CSourceTransf::Post(uint32_t code) const {
    session_->PostEvent(code, reinterpret_cast<intptr_t>(channel_));
}

bool CSourceTransf::OpenSocket(const sockaddr_in& address) {
    CloseSocketOnce(socket_);
    const SocketHandle fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    socket_.store(fd, std::memory_order_release);
    // A Stop that came while the socket was being made finds it in socket_ and wakes it; check again so
    // that a stop before the store is not missed.
    if (!running()) return false;
    const CenterTiming& timing = session_->center_timing();
    return SetSocketTimeouts(fd, timing.socket_timeout_ms) &&
           ConnectWithTimeout(fd, address, timing.connect_timeout_ms);
}

bool CSourceTransf::RequestRoute() {
    Post(VELQ_EV_MEDIA_ROUTE);
    sockaddr_in center{};
    if (!ResolveIPv4(session_->server_host, session_->tcp_port, &center) || !OpenSocket(center)) return false;

    uint8_t request[AppPacketHeader::kBytes + ControlRecord::kBytes];
    AppPacketHeader header;
    header.sequence = 1;
    header.type = kRequestControl;
    header.length = ControlRecord::kBytes;
    header.has_data = 1;
    StoreFieldText(header.user, sizeof(header.user),
                   FieldText(session_->user_name, sizeof(session_->user_name)));
    StoreFieldText(header.password, sizeof(header.password),
                   FieldText(session_->password, sizeof(session_->password)));
    StoreFieldText(header.session_id, sizeof(header.session_id),
                   FieldText(session_->session_id, sizeof(session_->session_id)));
    header.Encode(request);
    if (kind_ == kTransferAudio && !hand_over_) {
        hand_over_ = std::make_unique<CAudioHandOver>(buffer_, static_cast<AudioRecordTarget*>(this));
        receiver_ = std::make_unique<CAudioReceiver>(hand_over_.get());
    }
    ControlRecord control;
    control.code = RouteCode(kind_);
    {
        std::lock_guard guard(device_->lock);
        control.set_id(device_->record.id());
    }
    control.channel = channel_ != nullptr ? channel_->channel_number : 0;
    control.Encode(request + AppPacketHeader::kBytes);
    const SocketHandle fd = socket_.load(std::memory_order_acquire);
    if (!SendAll(fd, request, sizeof(request))) return false;

    uint8_t reply_bytes[AppReplyHeader::kBytes];
    if (!RecvAll(fd, reply_bytes, sizeof(reply_bytes))) return false;
    const AppReplyHeader reply = AppReplyHeader::Decode(reply_bytes);
    if (reply.magic != kCenterMagic || reply.kind != kReplyAnswer || reply.count == 0) return false;
    uint8_t record[ControlRecord::kBytes] = {};
    const uint32_t take = reply.length < ControlRecord::kBytes ? reply.length : ControlRecord::kBytes;
    if (!RecvAll(fd, record, take)) return false;
    CloseSocketOnce(socket_);

    const ControlRecord route = ControlRecord::Decode(record);
    std::memset(&server_, 0, sizeof(server_));
    server_.sin_family = AF_INET;
    server_.sin_addr.s_addr = static_cast<uint32_t>(route.value);  // already in network order
    server_.sin_port = htons(static_cast<uint16_t>(route.value2));
    return server_.sin_addr.s_addr != 0;
}

bool CSourceTransf::ConnectStream() {
    if (!OpenSocket(server_)) return false;
    const SocketHandle fd = socket_.load(std::memory_order_acquire);
    uint8_t request[StreamRequest::kBytes];
    std::string device_id;
    {
        std::lock_guard guard(device_->lock);
        device_id = std::string(device_->record.id());
    }
    StreamRequest stream;
    stream.user = FieldText(session_->user_name, sizeof(session_->user_name));
    stream.password = FieldText(session_->password, sizeof(session_->password));
    stream.session_id = FieldText(session_->session_id, sizeof(session_->session_id));
    stream.device_id = device_id;
    stream.kind = kind_;
    stream.channel = channel_ != nullptr ? static_cast<uint8_t>(channel_->channel_number) : 0;
    stream.Encode(request);
    if (!SendAll(fd, request, sizeof(request))) return false;
    uint8_t reply_bytes[StreamReply::kBytes];
    if (!RecvAll(fd, reply_bytes, sizeof(reply_bytes))) return false;
    const StreamReply reply = StreamReply::Decode(reply_bytes);
    if (reply.magic != kStreamMagic) return false;
    if (reply.answer != StreamReply::kAccepted) {
        Post(VELQ_EV_MEDIA_REFUSED);
        return false;
    }
    return reply.further <= kStreamReplyFurtherLimit && RecvDiscard(fd, reply.further);
}

const char* CSourceTransf::ThreadName() const {
    switch (kind_) {
        case kTransferVideo:
            return "corvel-rx-video";
        case kTransferAudio:
            return "corvel-rx-audio";
        case kTransferTalk:
            return "corvel-tx-talk";
        default:
            return "corvel-rx-pos";
    }
}

int CSourceTransf::Run() {
    cursor_ = FrameRecord{};
    const uint32_t pause_ms =
        retry_pause_ms_ != 0 ? retry_pause_ms_ : session_->center_timing().retry_pause_ms;
    while (running()) {
        if (!RequestRoute() || !ConnectStream()) {
            if (!running()) break;
            CloseSocketOnce(socket_);
            Post(VELQ_EV_MEDIA_FAILED);
            SleepWhileRunning(pause_ms);
            cursor_.sequence = 0;
            continue;
        }
        if (buffer_ != nullptr) buffer_->GetWritePos(&cursor_);
        const bool stopped = kind_ == kTransferTalk ? SendTalkLoop() : ReceiveLoop();
        if (stopped || !running()) break;
        // The stream broke: close, report, pause, and start again from the route.
        CloseSocketOnce(socket_);
        Post(VELQ_EV_MEDIA_FAILED);
        SleepWhileRunning(pause_ms);
        cursor_.sequence = 0;
    }
    if (pending_ != nullptr) {
        session_->ReleaseOperation(pending_);
        pending_ = nullptr;
    }
    CloseSocketOnce(socket_);
    return 0;
}

bool CSourceTransf::ReceiveLoop() {
    const SocketHandle fd = socket_.load(std::memory_order_acquire);
    uint8_t header_bytes[TransferHeader::kBytes];
    while (running()) {
        if (kind_ == kTransferPosition && pending_ == nullptr) {
            pending_ = session_->TakeOperation();
            if (pending_ == nullptr) return true;  // no memory: the thread ends
            pending_->kind = kOpPosition;
            pending_->device = device_;
        }
        if (!RecvAll(fd, header_bytes, sizeof(header_bytes))) {
            if (running()) Post(VELQ_EV_MEDIA_RECV_FAILED);
            return !running();
        }
        const TransferHeader header = TransferHeader::Decode(header_bytes);
        if (header.magic != kTransferMagic) {
            // Out of step with the stream: nothing after this can be trusted.
            Post(VELQ_EV_MEDIA_RECV_FAILED);
            return false;
        }
        const bool too_large = buffer_ != nullptr ? header.length > buffer_->LargestFrame()
                                                  : header.length > kPositionPayloadBytes;
        if (header.kind != kind_ || too_large) {
            if (!RecvDiscard(fd, header.length)) {
                if (running()) Post(VELQ_EV_MEDIA_RECV_FAILED);
                return !running();
            }
            CountPacket(header.length);
            continue;
        }
        uint8_t* target = buffer_ != nullptr ? cursor_.data : pending_->data;
        if (!RecvAll(fd, target, header.length)) {
            if (running()) Post(VELQ_EV_MEDIA_RECV_FAILED);
            return !running();
        }
        CountPacket(header.length);
        if (kind_ == kTransferVideo) {
            HandleVideoFrame(header);
        } else if (kind_ == kTransferAudio) {
            HandleAudioPacket(header_bytes, header);
        } else {
            HandlePositionPacket(header);
        }
    }
    return true;
}

void CSourceTransf::HandleVideoFrame(const TransferHeader& header) {
    cursor_.size = header.length;
    cursor_.time = header.time;
    cursor_.type = header.media_byte(TransferHeader::kFrameKindOffset) == 3 ? PVOP : IVOP;
    if (cursor_.sequence == 0) Post(VELQ_EV_MEDIA_FIRST_FRAME);
    ++cursor_.sequence;
    if (cursor_.sequence != header.sequence) {
        if (cursor_.type == IVOP) {
            cursor_.sequence = header.sequence;
        } else {
            // After a gap every predicted frame is dropped until a key frame brings the count back in step.
            cursor_.type = 0;
            return;
        }
    }
    cursor_.aux = header.media_byte(TransferHeader::kFrameRateOffset);
    const int64_t receive_unix_ms = UnixNowMs();
    const uint8_t picture_format = header.media_byte(TransferHeader::kFormatOffset);
    const uint8_t frames_per_second = header.media_byte(TransferHeader::kFrameRateOffset);
    if (channel_ != nullptr && channel_->recording.load()) {
        RecordFrameHeader record_header;
        record_header.time = header.time;
        record_header.picture_format = picture_format;
        record_header.frames_per_second = frames_per_second;
        record_header.receive_unix_ms = receive_unix_ms;
        channel_->recorder.RecordVideoFrame(cursor_, record_header, &pre_record_);
    }
    // After the recorder: a recording that begins with this frame takes the buffer's frames before it.
    pre_record_.SetSeconds(device_->pre_record_seconds.load(std::memory_order_relaxed));
    pre_record_.Push(cursor_, picture_format, frames_per_second, receive_unix_ms);
    buffer_->Push(&cursor_);
}

void CSourceTransf::HandleAudioPacket(const uint8_t* header_bytes, const TransferHeader& header) {
    device_->audio_byte_total.fetch_add(header.length + static_cast<uint32_t>(TransferHeader::kBytes),
                                        std::memory_order_relaxed);
    device_->audio_frames_queued.store(static_cast<uint32_t>(buffer_->FrameCount()),
                                       std::memory_order_relaxed);
    device_->audio_bytes_queued.store(static_cast<uint32_t>(buffer_->Used()), std::memory_order_relaxed);
    receiver_->OnPacket(&cursor_, header_bytes);
}

bool CSourceTransf::AudioRecordingWanted() {
    return device_->recording_count.load(std::memory_order_acquire) != 0;
}

void CSourceTransf::RecordAudio(const uint8_t* pcm, int32_t bytes) {
    if (bytes > 0) RecordDeviceAudio(device_, pcm, static_cast<uint32_t>(bytes));
}

bool CSourceTransf::SendPacket(const uint8_t* packet, int32_t bytes) {
    return bytes >= 0 && SendAll(socket_.load(std::memory_order_acquire), packet, static_cast<size_t>(bytes));
}

// Sends the talk buffer's frames until a send fails (false) or the transfer stops (true).
bool CSourceTransf::SendTalkLoop() {
    pairing_.Reset();
    uint32_t sequence = 0;
    while (running()) {
        FrameRecord frame;
        if (!buffer_->Pop(&frame)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (frame.size != static_cast<uint32_t>(kAudioPacketBytes)) continue;  // not a capture frame
        TransferHeader header;
        header.sequence = ++sequence;
        header.time = frame.time;
        header.length = kAudioPayloadBytes;
        header.sent_by_us = 1;
        header.kind = kind_;
        header.channel = static_cast<uint8_t>(channel_->channel_number);
        header.set_media_byte(TransferHeader::kTalkMarkOffset, 'A');
        header.set_media_byte(TransferHeader::kCodecOffset, 3);
        header.Encode(frame.data);
        if (!pairing_.SendFrame(frame.data, *this)) return !running();
        byte_count_.fetch_add(frame.size, std::memory_order_relaxed);
        device_->audio_byte_total.fetch_add(frame.size, std::memory_order_relaxed);
    }
    return true;
}

bool CSourceTransf::HandlePositionPacket(const TransferHeader& header) {
    pending_->data_length = header.length;
    AppOperation* done = pending_;
    pending_ = nullptr;
    session_->PostEvent(VELQ_EV_OPERATION_DONE, reinterpret_cast<intptr_t>(done));
    return true;
}

}  // namespace corvel

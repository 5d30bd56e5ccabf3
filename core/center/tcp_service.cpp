// SPDX-License-Identifier: GPL-3.0-or-later
#include "center/tcp_service.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/tick.h"
#include "corvel/corvel.h"
#include "session/session.h"

namespace corvel {

namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;

intptr_t Handle(const void* object) {
    return reinterpret_cast<intptr_t>(object);
}

// The poll's status request for `stamp`: records newer than it, or the full status list for 0.
void FillStatusRequest(AppOperation* operation, uint64_t stamp) {
    operation->Clear();
    if (stamp != 0) {
        operation->request_type = static_cast<int32_t>(kRequestStatusSince);
        operation->data_length = StatusRecord::kBytes;
        StatusRecord::EncodeRequest(stamp, operation->data);
    } else {
        operation->request_type = static_cast<int32_t>(kRequestStatusList);
    }
}

}  // namespace

CAppTcpService::CAppTcpService(AppSession* session) : session_(session), read_buffer_(kReadChunkBytes) {}

CAppTcpService::~CAppTcpService() {
    Stop(kStopTimeoutMs);
    WaitForExit();
    DropQueued();
}

void CAppTcpService::Queue(AppOperation* operation) {
    bool was_empty;
    {
        std::lock_guard guard(queue_lock_);
        was_empty = queue_.empty();
        queue_.push_front(operation);
    }
    if (was_empty) work_event_.Set();
}

void CAppTcpService::QueueStatusRequest(uint64_t stamp) {
    bool was_empty;
    {
        std::lock_guard guard(queue_lock_);
        if (status_held_ != nullptr) {
            FoldLocked(stamp);
            return;
        }
        // Taken under the queue lock (the pool's lock nests inside it), so that no follow-up can become
        // the held request in between.
        AppOperation* operation = session_->TakeOperation();
        if (operation == nullptr) return;
        FillStatusRequest(operation, stamp);
        status_held_ = operation;
        held_last_stamp_ = stamp;
        was_empty = queue_.empty();
        queue_.push_front(operation);
    }
    if (was_empty) work_event_.Set();
}

void CAppTcpService::FoldLocked(uint64_t stamp) {
    if (stamp == 0) {
        follow_up_ = FollowUp::kFullList;
    } else if (follow_up_ == FollowUp::kNone) {
        follow_up_ = FollowUp::kSince;
        follow_up_first_ = follow_up_last_ = stamp;
    } else if (follow_up_ == FollowUp::kSince) {
        // The poll asks for stamps in the order it saw them, which only grow between restarts (and a
        // restart forgets them); min and max keep the range right whatever the order.
        follow_up_first_ = std::min(follow_up_first_, stamp);
        follow_up_last_ = std::max(follow_up_last_, stamp);
    }
}

bool CAppTcpService::RequeueFollowUpLocked(AppOperation* operation) {
    if (operation != status_held_) return false;
    const FollowUp follow_up = std::exchange(follow_up_, FollowUp::kNone);
    // A stopping service sends nothing more; the next login polls afresh.
    if (follow_up == FollowUp::kNone || !running()) {
        status_held_ = nullptr;
        return false;
    }
    const bool full_list = follow_up == FollowUp::kFullList;
    FillStatusRequest(operation, full_list ? 0 : follow_up_first_);
    held_last_stamp_ = full_list ? 0 : follow_up_last_;
    const bool was_empty = queue_.empty();
    queue_.push_front(operation);
    if (was_empty) work_event_.Set();
    return true;
}

// Each folded request would have been sent unless older than the applied stamp, and asked for the records
// newer than its own stamp. When the first is stale but a later one is not, the applied stamp is the
// oldest stamp still worth asking from: it fetches all that the first due request would, and no record
// that was applied already.
void CAppTcpService::RaiseFollowUpStampLocked(AppOperation* operation) {
    if (operation->request_type != static_cast<int32_t>(kRequestStatusSince)) return;
    const uint64_t applied = newest_stamp();
    if (StatusRecord::StampOf(operation->data) < applied && held_last_stamp_ >= applied)
        StatusRecord::EncodeRequest(applied, operation->data);
}

AppOperation* CAppTcpService::TakeQueued() {
    std::lock_guard guard(queue_lock_);
    taken_epoch_ = stamp_epoch_;
    if (queue_.empty()) return nullptr;
    AppOperation* operation = queue_.back();
    queue_.pop_back();
    if (operation == status_held_) RaiseFollowUpStampLocked(operation);
    return operation;
}

size_t CAppTcpService::queued_count() {
    std::lock_guard guard(queue_lock_);
    return queue_.size();
}

void CAppTcpService::DropQueued() {
    std::deque<AppOperation*> dropped;
    {
        std::lock_guard guard(queue_lock_);
        dropped.swap(queue_);
        follow_up_ = FollowUp::kNone;
        // A held request that is not queued is the current one of a worker that recycles it itself.
        if (std::find(dropped.begin(), dropped.end(), status_held_) != dropped.end()) status_held_ = nullptr;
    }
    for (AppOperation* operation : dropped) {
        if (operation->device != nullptr && operation->device->state.load() == kDeviceUnlisted) {
            session_->ReleaseDevice(operation->device);
        }
        session_->ReleaseOperation(operation);
    }
}

void CAppTcpService::ForgetStamps() {
    std::vector<AppOperation*> stale;
    {
        std::lock_guard guard(queue_lock_);
        ++stamp_epoch_;
        newest_stamp_.store(0, std::memory_order_release);
        if (follow_up_ == FollowUp::kSince) follow_up_ = FollowUp::kNone;
        // A held type-192 request still queued goes with the others below, unless a full list was folded
        // in behind it: that goes out in its place.
        if (status_held_ != nullptr &&
            status_held_->request_type == static_cast<int32_t>(kRequestStatusSince) &&
            std::find(queue_.begin(), queue_.end(), status_held_) != queue_.end()) {
            if (follow_up_ == FollowUp::kFullList) {
                FillStatusRequest(status_held_, 0);
                held_last_stamp_ = 0;
                follow_up_ = FollowUp::kNone;
            } else {
                status_held_ = nullptr;
            }
        }
        std::erase_if(queue_, [&](AppOperation* operation) {
            if (operation->request_type != static_cast<int32_t>(kRequestStatusSince)) return false;
            stale.push_back(operation);
            return true;
        });
    }
    for (AppOperation* operation : stale) session_->ReleaseOperation(operation);
}

void CAppTcpService::Stop(uint32_t timeout_ms) {
    running_.store(0, std::memory_order_release);
    // The worker closes its own socket on the way out; waking it is enough.
    WakeSocket(socket_);
    work_event_.Set();
    CMyThread::Stop(timeout_ms);
    // A worker that never got to close its socket; one abandoned after the time-out is still using it
    // and closes it itself on the way out.
    if (WorkerExited()) CloseSocketOnce(socket_);
    newest_stamp_.store(0, std::memory_order_release);
    // Requests still queued name devices that the logout after this stop hands back to the pool; sent on a
    // later login they would act on recycled objects.
    DropQueued();
}

bool CAppTcpService::Connect() {
    session_->PostEvent(VELQ_EV_CONNECTING, 0);
    sockaddr_in address{};
    if (!ResolveIPv4(session_->server_host, session_->tcp_port, &address)) return false;
    CloseSocketOnce(socket_);
    const SocketHandle fresh = socket(AF_INET, SOCK_STREAM, 0);
    if (fresh < 0) return false;
    socket_.store(fresh, std::memory_order_release);
    return SetSocketTimeouts(fresh, timing_.socket_timeout_ms) &&
           ConnectWithTimeout(fresh, address, timing_.connect_timeout_ms);
}

int CAppTcpService::Run() {
    newest_stamp_.store(0, std::memory_order_release);
    sequence_ = 0;
    bool connected_before = false;
    while (running()) {
        if (socket_.load(std::memory_order_acquire) == kInvalidSocket && Connect() && running()) {
            // A restarted center drops its connections: what was applied from the old one's stamps says
            // nothing about the new one's, so the applied stamp starts over with this login.
            if (connected_before) ForgetStamps();
            connected_before = true;
            // A fresh connection opens with a status request unless a request is already queued.
            last_status_tick_ = TickCount32() - timing_.status_interval_ms;
            Step step = Step::kNext;
            while (step == Step::kNext && running()) {
                step = SendNext();
                if (step == Step::kNext) step = ReceiveReply();
            }
            if (step == Step::kLeave) break;
        }
        if (!running()) break;
        CloseSocketOnce(socket_);
        session_->PostEvent(VELQ_EV_CONNECT_FAILED, 0);
        SleepWhileRunning(timing_.retry_pause_ms);
        sequence_ = 0;
    }
    RecycleCurrent();
    CloseSocketOnce(socket_);
    return 0;
}

bool CAppTcpService::HandleReplyOffline(SocketHandle socket, const AppPacketHeader& request,
                                        AppOperation* operation) {
    socket_.store(socket, std::memory_order_release);
    request_ = request;
    current_ = operation;
    if (request.type == kRequestStatusSince && operation != nullptr) {
        request_stamp_ = StatusRecord::StampOf(operation->data);
        std::lock_guard guard(queue_lock_);
        request_epoch_ = stamp_epoch_;
    }
    const Step step = ReceiveReply();
    RecycleCurrent();
    socket_.store(kInvalidSocket, std::memory_order_release);
    return step == Step::kNext;
}

void CAppTcpService::RecycleCurrent() {
    if (current_ == nullptr) return;
    AppOperation* operation = std::exchange(current_, nullptr);
    {
        std::lock_guard guard(queue_lock_);
        if (RequeueFollowUpLocked(operation)) return;
    }
    if (operation->device != nullptr && operation->device->state.load() == kDeviceUnlisted) {
        session_->ReleaseDevice(operation->device);
    }
    session_->ReleaseOperation(operation);
}

CAppTcpService::Step CAppTcpService::SendNext() {
    for (;;) {
        RecycleCurrent();
        AppOperation* operation = TakeQueued();
        // Wait for work until the status interval has passed since the last status request. A wake-up that
        // finds the queue empty (a set event left over from a request taken without waiting) waits on for
        // the rest of the interval, so the idle keep-alive keeps its period.
        while (operation == nullptr && running()) {
            const uint32_t elapsed =
                std::min<uint32_t>(TickCount32() - last_status_tick_, timing_.status_interval_ms);
            if (elapsed >= timing_.status_interval_ms) break;
            const bool signalled = work_event_.Wait(timing_.status_interval_ms - elapsed);
            operation = TakeQueued();
            if (!signalled) break;
        }
        if (!running()) {
            current_ = operation;  // recycled when the loop is left
            return Step::kLeave;
        }

        AppPacketHeader header;
        std::memcpy(header.user, session_->user_name, sizeof(header.user));
        std::memcpy(header.password, session_->password, sizeof(header.password));
        std::memcpy(header.session_id, session_->session_id, sizeof(header.session_id));
        const uint8_t* data = nullptr;
        if (operation != nullptr) {
            current_ = operation;
            header.type = static_cast<uint32_t>(operation->request_type);
            header.length = std::min<uint32_t>(operation->data_length, AppOperation::kDataBytes);
            header.has_data = header.length != 0 ? 1 : 0;
            data = operation->data;
            if (header.type == kRequestStatusSince) {
                request_stamp_ = StatusRecord::StampOf(operation->data);
                request_epoch_ = taken_epoch_;
                // A stamp older than what was applied already would only fetch records seen before; the
                // words refresh asks for exactly those.
                if (request_stamp_ < newest_stamp() && !operation->words_refresh) continue;
            }
        } else {
            header.type = kRequestStatusList;
            last_status_tick_ = TickCount32();
        }
        header.sequence = ++sequence_;

        uint8_t packet[AppPacketHeader::kBytes + AppOperation::kDataBytes];
        header.Encode(packet);
        if (header.length != 0) std::memcpy(packet + AppPacketHeader::kBytes, data, header.length);
        request_ = header;
        const SocketHandle socket = socket_.load(std::memory_order_acquire);
        if (!SendAll(socket, packet, AppPacketHeader::kBytes + header.length)) return Step::kReconnect;
        return Step::kNext;
    }
}

void CAppTcpService::PostFailure(uint32_t code) {
    if (current_ != nullptr && current_->kind != 0) session_->PostEvent(code, current_->kind);
}

CAppTcpService::Step CAppTcpService::ReceiveReply() {
    const SocketHandle socket = socket_.load(std::memory_order_acquire);
    uint8_t bytes[AppReplyHeader::kBytes];
    if (!RecvAll(socket, bytes, sizeof(bytes))) return Step::kReconnect;
    reply_ = AppReplyHeader::Decode(bytes);
    if (reply_.magic != kCenterMagic) {
        session_->PostEvent(VELQ_EV_BAD_MAGIC, 0);
        return Step::kLeave;
    }
    if (reply_.kind == kReplyRejected) {
        session_->PostEvent(VELQ_EV_REJECTED, 0);
        return Step::kLeave;
    }
    ReplyReader reader(socket, reply_.length, read_buffer_.data(), read_buffer_.size());
    if (reply_.kind == kReplyFailure) {
        PostFailure(VELQ_EV_OPERATION_FAILED);
        return Drain(reader);
    }
    if (reply_.kind != kReplyAnswer) return Drain(reader);
    if (reply_.result == kResultRefused) {
        PostFailure(VELQ_EV_OPERATION_REFUSED);
        return Drain(reader);
    }
    if (request_.sequence == 1) {
        if (reply_.version == kCenterVersion) {
            session_->PostEvent(VELQ_EV_LOGIN_OK, 0);
        } else {
            session_->PostEvent(VELQ_EV_LOGIN_VERSION,
                                static_cast<intptr_t>(static_cast<int32_t>(reply_.version)));
        }
    }
    return HandleAnswer(reader);
}

CAppTcpService::Step CAppTcpService::HandleAnswer(ReplyReader& reader) {
    switch (request_.type) {
        case kRequestAddDevice:
            return HandleAddDevice(reader);
        case kRequestStatusList:
        case kRequestDeviceList:
            return HandleList(reader);
        case kRequestModifyDevice:
            if (current_ != nullptr) {
                session_->PostEvent(VELQ_EV_OPERATION_DONE, Handle(current_));
                current_ = nullptr;
            }
            return Drain(reader);
        case kRequestControl:
            return HandleControl(reader);
        case kRequestStatusSince:
            return HandleStatus(reader);
        default:
            return Drain(reader);
    }
}

CAppTcpService::Step CAppTcpService::HandleAddDevice(ReplyReader& reader) {
    if (current_ != nullptr && current_->device != nullptr && session_->MergeDevice(current_->device)) {
        // The client's device joined the registry; an identifier already registered updated that device
        // instead, and the client's object goes back to the pool with the operation.
        current_->device->state.store(kDeviceAbsent);
        session_->PostEvent(VELQ_EV_OPERATION_DONE, Handle(current_));
        current_ = nullptr;
    }
    return Drain(reader);
}

CAppTcpService::Step CAppTcpService::HandleControl(ReplyReader& reader) {
    if (current_ == nullptr) return Drain(reader);
    std::memset(current_->data, 0, ControlRecord::kBytes);
    const size_t keep = static_cast<size_t>(std::min<uint64_t>(reader.remaining(), ControlRecord::kBytes));
    if (!reader.Read(current_->data, keep) || !reader.SkipRest()) return Step::kReconnect;
    session_->PostEvent(VELQ_EV_OPERATION_DONE, Handle(current_));
    current_ = nullptr;
    return Step::kNext;
}

// Records are length / count bytes each. A count larger than the length makes every record empty: such
// a reply carries no record at all and is treated like an empty one, rather than looping over billions of
// empty records. Bytes left over when the length does not divide by the count are drained with the rest,
// so the next reply header is read where it starts.
CAppTcpService::Step CAppTcpService::HandleList(ReplyReader& reader) {
    const bool client_list = current_ != nullptr && current_->kind == kOpQueryAll;
    const uint32_t count = reply_.count;
    const uint32_t size = count != 0 ? reply_.length / count : 0;
    if (client_list) {
        session_->PostEvent(VELQ_EV_ALL_BEGIN, static_cast<intptr_t>(count));
    } else {
        session_->BeginList(count);
    }
    Step step = Step::kNext;
    AppDevice* spare = nullptr;
    const size_t keep = std::min<size_t>(size, DeviceRecord::kBytes);
    for (uint32_t i = 0; size != 0 && i < count; ++i) {
        AppDevice* device = spare != nullptr ? spare : session_->TakeDevice();
        spare = nullptr;
        if (device == nullptr) break;  // out of memory: the rest is drained below
        uint8_t record[DeviceRecord::kBytes] = {};
        if (!reader.Read(record, keep) || !reader.Skip(size - keep)) {
            spare = device;
            step = Step::kReconnect;
            break;
        }
        device->BindRecord(session_, record);
        if (client_list) {
            session_->PostEvent(VELQ_EV_ALL_DEVICE, Handle(device));
        } else if (!session_->MergeDevice(device)) {
            spare = device;
        }
    }
    if (step == Step::kNext) step = Drain(reader);
    if (!client_list) session_->EndList();
    if (spare != nullptr) session_->ReleaseDevice(spare);
    return step;
}

// A request taken before the server restarted carries the old server's stamp: its records are applied,
// but neither they nor an empty reply move the applied stamp, which now follows the new server. The
// epoch and the stamp are read and moved together under the queue lock, so ForgetStamps cannot fall
// between them.
bool CAppTcpService::AdvanceStamp(uint64_t stamp, bool only_newer) {
    std::lock_guard guard(queue_lock_);
    if (request_epoch_ != stamp_epoch_) return true;
    if (only_newer && stamp <= newest_stamp()) return false;
    newest_stamp_.store(stamp, std::memory_order_release);
    return true;
}

CAppTcpService::Step CAppTcpService::HandleStatus(ReplyReader& reader) {
    const uint32_t count = reply_.count;
    const uint32_t size = count != 0 ? reply_.length / count : 0;
    const bool refresh = current_ != nullptr && current_->words_refresh;
    if (size == 0) {
        // The refresh's stamp 0 says nothing about what was applied.
        if (!refresh) AdvanceStamp(request_stamp_, false);
        return Drain(reader);
    }
    const size_t keep = std::min<size_t>(size, StatusRecord::kBytes);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t record[StatusRecord::kBytes] = {};
        if (!reader.Read(record, keep) || !reader.Skip(size - keep)) return Step::kReconnect;
        if (AdvanceStamp(StatusRecord::StampOf(record), true))
            session_->ApplyStatus(record, keep);
        else if (refresh)
            session_->RefreshReceivedWords(record, keep);
    }
    return Drain(reader);
}

}  // namespace corvel

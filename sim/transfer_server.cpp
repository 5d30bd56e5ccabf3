// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <random>

#include "audio_protection_sender.h"
#include "audio_source.h"
#include "base/le.h"
#include "base/text.h"
#include "media/audio_codec.h"
#include "media/frame_buffer.h"
#include "platform/sound_wav_file.h"
#include "transfer/audio_payload.h"
#include "transfer/transfer_wire.h"

namespace velq_sim {

namespace {

// Samples of one talk block (480 bytes of G.726 at 32 kbit/s, 120 ms).
constexpr size_t kTalkBlockSamples = corvel::kAudioBlockBytes * 2;
// At most this much silence (3 s) stands in for the packets of one sequence gap.
constexpr uint32_t kMaxFilledTalkBlocks = 25;

}  // namespace

using corvel::kInvalidSocket;
using corvel::SocketHandle;
using corvel::TransferHeader;

struct TransferServer::Stream {
    std::atomic<SocketHandle> fd{kInvalidSocket};
    std::thread thread;
    std::atomic<bool> done{false};
    uint32_t packets = 0;  // sent (or received) on this stream
};

TransferServer::TransferServer(TransferConfig config, Lookup lookup)
    : config_(std::move(config)), lookup_(std::move(lookup)), faults_(config_.faults) {}

TransferServer::~TransferServer() {
    Stop();
}

void TransferServer::Log(const std::string& line) {
    if (!config_.log) return;
    std::lock_guard lock(mutex_);
    std::cerr << "velq-sim: transfer: " << line << std::endl;
}

TransferFaults TransferServer::faults() {
    std::lock_guard lock(mutex_);
    return faults_;
}

void TransferServer::set_faults(const TransferFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

std::vector<int16_t> TransferServer::talk_pcm() {
    std::lock_guard lock(mutex_);
    return talk_pcm_;
}

bool TransferServer::Start(std::string* error) {
    const SocketHandle fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    if (!corvel::ResolveIPv4(config_.bind_address.c_str(), config_.port, &address) ||
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 64) != 0) {
        *error =
            "transfer server cannot listen on " + config_.bind_address + ":" + std::to_string(config_.port);
        close(fd);
        return false;
    }
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen_fd_ = fd;
    accept_thread_ = std::thread([this] { AcceptLoop(); });
    Log("listening on " + config_.bind_address + ":" + std::to_string(port_));
    return true;
}

void TransferServer::Stop() {
    if (stopping_.exchange(true)) return;
    corvel::WakeSocket(listen_fd_);
    if (accept_thread_.joinable()) accept_thread_.join();
    corvel::CloseSocketOnce(listen_fd_);
    std::vector<std::shared_ptr<Stream>> streams;
    {
        std::lock_guard lock(mutex_);
        streams.swap(streams_);
    }
    for (auto& stream : streams) corvel::WakeSocket(stream->fd);
    for (auto& stream : streams) {
        if (stream->thread.joinable()) stream->thread.join();
        corvel::CloseSocketOnce(stream->fd);
    }
}

void TransferServer::AcceptLoop() {
    while (!stopping_) {
        const SocketHandle fd = accept(listen_fd_.load(), nullptr, nullptr);
        if (fd < 0) {
            if (stopping_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        corvel::SetSocketTimeouts(fd, 30000);
        auto stream = std::make_shared<Stream>();
        stream->fd = fd;
        std::lock_guard lock(mutex_);
        // Finished streams are joined here so that a long run does not pile up threads.
        for (auto it = streams_.begin(); it != streams_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = streams_.erase(it);
            } else {
                ++it;
            }
        }
        stream->thread = std::thread([this, stream] { Serve(stream); });
        streams_.push_back(stream);
    }
}

void TransferServer::Serve(std::shared_ptr<Stream> stream) {
    const SocketHandle fd = stream->fd.load();
    uint8_t request[corvel::StreamRequest::kBytes];
    if (corvel::RecvAll(fd, request, sizeof(request)) && corvel::LoadLE32(request) == corvel::kStreamMagic) {
        const std::string device_id(corvel::FieldText(request + corvel::StreamRequest::kDeviceOffset,
                                                      corvel::StreamRequest::kDeviceBytes));
        const uint8_t kind = request[corvel::StreamRequest::kKindOffset];
        const int channel = request[corvel::StreamRequest::kChannelOffset];
        std::optional<StreamSettings> settings = lookup_(device_id, channel);
        const bool known_kind =
            kind == corvel::kTransferVideo || kind == corvel::kTransferAudio || kind == corvel::kTransferTalk;
        corvel::StreamReply reply;
        reply.magic = corvel::kStreamMagic;
        reply.answer =
            settings && known_kind && !faults().refuse_streams ? corvel::StreamReply::kAccepted : 1;
        uint8_t reply_bytes[corvel::StreamReply::kBytes];
        reply.Encode(reply_bytes);
        const std::string what =
            device_id + " channel " + std::to_string(channel) + " kind " + std::to_string(kind);
        // Counted before the answer goes out, so that a peer that has read it sees the count.
        const bool accepted = reply.answer == corvel::StreamReply::kAccepted;
        ++(accepted ? accepted_ : refused_);
        if (corvel::SendAll(fd, reply_bytes, sizeof(reply_bytes))) {
            if (!accepted) {
                Log("refused " + what);
            } else {
                Log("streaming " + what);
                bool ended_by_us = false;
                if (kind == corvel::kTransferVideo) {
                    ended_by_us = StreamVideo(*stream, device_id, channel, *settings);
                } else if (kind == corvel::kTransferAudio) {
                    ended_by_us = StreamAudio(*stream, channel, *settings);
                } else {
                    ended_by_us = ReceiveTalk(*stream, device_id, channel);
                }
                Log(std::string(ended_by_us ? "dropped " : "ended ") + what + " after " +
                    std::to_string(stream->packets) + " packets");
            }
        }
    }
    corvel::CloseSocketOnce(stream->fd);
    stream->done = true;
}

namespace {

// Sends one packet, header and payload in one call so that they leave in the same segment as a recorder
// sends them (two sends would wake the client twice per packet, and Nagle would hold the payload back for
// the header's acknowledgement); false when the client went away.
bool SendPacket(SocketHandle fd, const TransferHeader& header, const uint8_t* payload) {
    uint8_t bytes[TransferHeader::kBytes];
    header.Encode(bytes);
    iovec parts[2] = {{bytes, sizeof(bytes)}, {const_cast<uint8_t*>(payload), header.length}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = header.length > 0 ? 2 : 1;
    while (message.msg_iovlen > 0) {
        const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        size_t left = static_cast<size_t>(sent);
        while (message.msg_iovlen > 0 && left >= message.msg_iov[0].iov_len) {
            left -= message.msg_iov[0].iov_len;
            ++message.msg_iov;
            --message.msg_iovlen;
        }
        if (message.msg_iovlen > 0) {
            message.msg_iov[0].iov_base = static_cast<uint8_t*>(message.msg_iov[0].iov_base) + left;
            message.msg_iov[0].iov_len -= left;
        }
    }
    return true;
}

// Paces a stream against the wall clock: Wait() returns once the next period has come.
class Pacer {
  public:
    explicit Pacer(double period_ms) : period_(period_ms), next_(std::chrono::steady_clock::now()) {}
    void set_period(double period_ms) { period_ = period_ms; }
    void Wait() {
        next_ += std::chrono::microseconds(static_cast<int64_t>(period_ * 1000.0));
        std::this_thread::sleep_until(next_);
    }

  private:
    double period_;
    std::chrono::steady_clock::time_point next_;
};

}  // namespace

// Returns true when the stream ended by a fault of ours, false when the client went away or we stop.
bool TransferServer::StreamVideo(Stream& stream, const std::string& device_id, int channel,
                                 StreamSettings settings) {
    const SocketHandle fd = stream.fd.load();
    const PictureFormat* format = PictureFormatByCode(settings.picture_code);
    if (format == nullptr) format = PictureFormatByName("CIF");
    auto loop = loops_.Loop(*format, settings.frame_rate, device_id, channel);
    if (!loop) return true;
    Pacer pacer(1000.0 / std::max(1, settings.frame_rate));
    uint32_t sequence = 0;
    size_t index = 0;
    while (!stopping_) {
        const EncodedFrame& frame = (*loop)[index];
        if (frame.key) {
            // A changed resolution or frame rate takes effect at a key frame.
            if (auto now = lookup_(device_id, channel); now && (now->picture_code != settings.picture_code ||
                                                                now->frame_rate != settings.frame_rate)) {
                settings = *now;
                const PictureFormat* next = PictureFormatByCode(settings.picture_code);
                if (next != nullptr) format = next;
                if (auto next_loop = loops_.Loop(*format, settings.frame_rate, device_id, channel)) {
                    loop = std::move(next_loop);
                    index = 0;
                    pacer.set_period(1000.0 / std::max(1, settings.frame_rate));
                    continue;
                }
            }
        }
        const TransferFaults f = faults();
        if (f.drop_after_packets != 0 && stream.packets >= f.drop_after_packets) return true;
        if (f.stall_after_packets != 0 && stream.packets >= f.stall_after_packets) {
            pacer.Wait();
            char byte;
            if (recv(fd, &byte, 1, MSG_DONTWAIT) == 0) return false;  // the client went away
            continue;
        }
        ++sequence;
        const bool skip = f.skip_sequence_every != 0 && sequence % f.skip_sequence_every == 0;
        if (!skip) {
            TransferHeader header;
            header.sequence = sequence;
            header.time = static_cast<uint32_t>(time(nullptr));
            header.length = static_cast<uint32_t>(frame.bytes.size());
            header.kind = corvel::kTransferVideo;
            header.channel = static_cast<uint8_t>(channel);
            header.set_media_byte(TransferHeader::kFormatOffset, format->code);
            header.set_media_byte(TransferHeader::kFrameRateOffset,
                                  static_cast<uint8_t>(settings.frame_rate));
            header.set_media_byte(TransferHeader::kFrameKindOffset, frame.key ? 0 : 3);
            if (!SendPacket(fd, header, frame.bytes.data())) return false;
            ++stream.packets;
        }
        index = (index + 1) % loop->size();
        pacer.Wait();
    }
    return false;
}

// Audio in the vehicle's codec, 960 bytes per packet, as protected groups (A, B, sum, difference: every
// packet has its own sequence number) or as plain packets; each packet may be lost on the way.
bool TransferServer::StreamAudio(Stream& stream, int channel, const StreamSettings& settings) {
    const SocketHandle fd = stream.fd.load();
    AudioSource source(settings.audio_code, config_.seed + static_cast<uint32_t>(channel));
    std::mt19937 random(config_.seed * 31u + static_cast<uint32_t>(channel));
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    const int packets_per_group = config_.protect_audio ? 4 : 1;
    const int audio_per_group = config_.protect_audio ? 2 : 1;
    Pacer pacer(source.packet_ms() * audio_per_group);
    uint32_t sequence = 0;
    uint8_t audio[2][AudioSource::kPacketAudioBytes];
    uint8_t payloads[4][corvel::kAudioPayloadBytes];
    while (!stopping_) {
        for (int i = 0; i < audio_per_group; ++i) source.NextPacket(audio[i]);
        if (config_.protect_audio) {
            corvel::sim::BuildProtectedGroup(audio[0], audio[1], payloads);
        } else {
            corvel::sim::BuildAudioPayload(corvel::kAudioFormatPlain, audio[0], payloads[0]);
        }
        for (int i = 0; i < packets_per_group; ++i) {
            const TransferFaults f = faults();
            if (f.drop_after_packets != 0 && stream.packets >= f.drop_after_packets) return true;
            ++sequence;
            if (config_.audio_loss > 0 && chance(random) < config_.audio_loss) {
                ++audio_lost_;
                continue;
            }
            TransferHeader header;
            header.sequence = sequence;
            header.time = static_cast<uint32_t>(time(nullptr));
            header.length = corvel::kAudioPayloadBytes;
            header.kind = corvel::kTransferAudio;
            header.channel = static_cast<uint8_t>(channel);
            header.set_media_byte(TransferHeader::kCodecOffset, settings.audio_code);
            if (!SendPacket(fd, header, payloads[i])) return false;
            ++stream.packets;
            ++audio_sent_;
        }
        pacer.Wait();
    }
    return false;
}

// The talk uplink: G.726 at 32 kbit/s in 1032-byte packets where packet s carries blocks s and s + 1 (every
// frame is preceded by a bridge packet from the second on), so one lost packet loses nothing.
bool TransferServer::ReceiveTalk(Stream& stream, const std::string& device_id, int channel) {
    const SocketHandle fd = stream.fd.load();
    corvel::AudioCodecState codec;
    codec.Reset(corvel::kTalkRateIndex);
    uint64_t heard_samples = 0;
    auto decode_block = [&](const uint8_t* block) {
        int16_t samples[kTalkBlockSamples];
        int32_t room = sizeof(samples);
        codec.bits_left = 0;
        corvel::DecodeAudio(corvel::kFrameG726 + corvel::kTalkRateIndex, corvel::kAudioBlockBytes, &codec,
                            reinterpret_cast<uint8_t*>(samples), &room, block, 0);
        StoreTalk(samples, static_cast<size_t>(room / 2));
        heard_samples += static_cast<size_t>(room / 2);
    };
    uint8_t header_bytes[TransferHeader::kBytes];
    uint8_t payload[corvel::kAudioPayloadBytes];
    // Block 2 of the last packet: the next block, should the packet that starts with it be lost.
    uint8_t pending[corvel::kAudioBlockBytes];
    bool have_pending = false;
    uint32_t last_sequence = 0;
    bool ended_by_us = false;
    while (!stopping_) {
        if (!corvel::RecvAll(fd, header_bytes, sizeof(header_bytes))) break;
        const TransferHeader header = TransferHeader::Decode(header_bytes);
        if (header.magic != corvel::kTransferMagic || header.length > 65536) {
            Log("talk from " + device_id + ": malformed packet, closing");
            ended_by_us = true;
            break;
        }
        if (header.length != corvel::kAudioPayloadBytes || header.kind != corvel::kTransferTalk) {
            if (!corvel::RecvDiscard(fd, header.length)) break;
            continue;
        }
        if (!corvel::RecvAll(fd, payload, sizeof(payload))) break;
        ++stream.packets;
        const uint8_t* block1 = payload + corvel::kAudioBlockOffset[0];
        const uint8_t* block2 = payload + corvel::kAudioBlockOffset[1];
        if (last_sequence != 0 && header.sequence <= last_sequence) continue;  // late or repeated
        if (last_sequence != 0 && header.sequence == last_sequence + 2 && have_pending) {
            decode_block(pending);  // the lost packet's first block came as the previous packet's second
        } else if (last_sequence != 0 && header.sequence > last_sequence + 2) {
            if (have_pending) decode_block(pending);
            // Silence stands in for what was lost, up to a bound: a sequence jump from a broken or hostile
            // sender must not turn one packet into minutes of samples.
            const uint32_t lost_blocks = std::min(header.sequence - last_sequence - 2, kMaxFilledTalkBlocks);
            static const int16_t kSilence[kTalkBlockSamples] = {};
            for (uint32_t i = 0; i < lost_blocks; ++i) StoreTalk(kSilence, kTalkBlockSamples);
            heard_samples += static_cast<uint64_t>(lost_blocks) * kTalkBlockSamples;
        }
        decode_block(block1);
        std::memcpy(pending, block2, sizeof(pending));
        have_pending = true;
        last_sequence = header.sequence;
    }
    if (have_pending) decode_block(pending);
    Log("talk from " + device_id + " channel " + std::to_string(channel) + ": " +
        std::to_string(heard_samples * 1000 / 8000) + " ms");
    return ended_by_us;
}

void TransferServer::StoreTalk(const int16_t* samples, size_t count) {
    std::lock_guard lock(mutex_);
    const size_t kept = std::min(count, kKeptTalkSamples - std::min(kKeptTalkSamples, talk_pcm_.size()));
    talk_pcm_.insert(talk_pcm_.end(), samples, samples + kept);
    if (config_.talk_wav_path.empty() || talk_wav_failed_) return;
    if (!talk_wav_) {
        talk_wav_ = corvel::WavFileWriter::Create(config_.talk_wav_path, corvel::kPlayFormat);
        if (!talk_wav_) {
            talk_wav_failed_ = true;
            if (config_.log)
                std::cerr << "velq-sim: transfer: cannot write " << config_.talk_wav_path << std::endl;
            return;
        }
    }
    talk_wav_->Append(reinterpret_cast<const uint8_t*>(samples), count * sizeof(int16_t));
}

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The audio and talk transfers against scripted center and transfer servers on 127.0.0.1.
#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "audio_protection_sender.h"
#include "base/le.h"
#include "center/wire.h"
#include "corvel/corvel.h"
#include "scripted_peer.h"
#include "session/channel.h"
#include "session/session.h"
#include "test_window.h"
#include "transfer/source_transf.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using test::ScriptedPeer;
using test::TestWindow;

// Answers route requests with a transfer server on `port`.
ScriptedPeer::Script RouteTo(uint16_t port) {
    return [port](int fd, int) {
        uint8_t request[AppPacketHeader::kBytes + ControlRecord::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        AppReplyHeader reply;
        reply.kind = kReplyAnswer;
        reply.count = 1;
        reply.length = ControlRecord::kBytes;
        ControlRecord route = ControlRecord::Decode(request + AppPacketHeader::kBytes);
        route.value = static_cast<int32_t>(htonl(INADDR_LOOPBACK));
        route.value2 = port;
        uint8_t out[AppReplyHeader::kBytes + ControlRecord::kBytes];
        reply.Encode(out);
        route.Encode(out + AppReplyHeader::kBytes);
        SendAll(fd, out, sizeof(out));
    };
}

bool AcceptStream(int fd) {
    uint8_t request[StreamRequest::kBytes];
    if (!RecvAll(fd, request, sizeof(request))) return false;
    StreamReply reply;
    reply.magic = kStreamMagic;
    reply.answer = StreamReply::kAccepted;
    uint8_t out[StreamReply::kBytes];
    reply.Encode(out);
    return SendAll(fd, out, sizeof(out));
}

void SendAudio(int fd, uint32_t sequence, uint8_t codec, const uint8_t* payload) {
    TransferHeader header;
    header.sequence = sequence;
    header.time = 1700000000;
    header.length = kAudioPayloadBytes;
    header.kind = kTransferAudio;
    header.set_media_byte(TransferHeader::kCodecOffset, codec);
    uint8_t out[kAudioPacketBytes];
    header.Encode(out);
    std::memcpy(out + TransferHeader::kBytes, payload, kAudioPayloadBytes);
    SendAll(fd, out, sizeof(out));
}

std::vector<uint8_t> Audio(uint8_t seed) {
    std::vector<uint8_t> audio(kAudioPacketFrameBytes);
    for (size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<uint8_t>(i * 7 + seed * 31);
    return audio;
}

struct Rig {
    Rig() {
        session.StoreCredentials("orvi", "480913", 1);
        device = session.TakeDevice();
        device->BindNew(&session, "bus-3");
        channel = session.TakeChannel();
        channel->Bind(&session, device, 1, &window);
    }
    ~Rig() { channel->StopAll(); }
    void Serve(uint16_t center_port) { session.SetCenterServer("127.0.0.1", center_port, 0); }
    TestWindow window;
    AppSession session{&window, VELQ_MESSAGE};
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;
};

TEST(AudioTransfer, ProtectedGroupsWithLossesArriveWholeAndCountOnTheDevice) {
    const auto a1 = Audio(1), b1 = Audio(2), a2 = Audio(3), b2 = Audio(4);
    ScriptedPeer transfer([&](int fd, int) {
        if (!AcceptStream(fd)) return;
        uint8_t group[4][kAudioPayloadBytes];
        sim::BuildProtectedGroup(a1.data(), b1.data(), group);
        SendAudio(fd, 1, 3, group[0]);  // A, B arrive; S and D are not needed
        SendAudio(fd, 2, 3, group[1]);
        sim::BuildProtectedGroup(a2.data(), b2.data(), group);
        SendAudio(fd, 7, 3, group[2]);  // A and B of the second group lost: S and D rebuild both
        SendAudio(fd, 8, 3, group[3]);
        SendAudio(fd, 9, 0, group[0]);  // an unknown codec: dropped
        std::this_thread::sleep_for(300ms);
    });
    ScriptedPeer center(RouteTo(transfer.port()));
    Rig rig;
    rig.Serve(center.port());
    ASSERT_TRUE(rig.channel->ASourceStart());
    EXPECT_TRUE(rig.channel->ASourceStart());
    std::vector<uint8_t> received;
    std::vector<uint32_t> types;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (received.size() < 4 * a1.size() && std::chrono::steady_clock::now() < deadline) {
        FrameRecord frame;
        if (rig.channel->audio_buffer.Pop(&frame)) {
            received.insert(received.end(), frame.data, frame.data + frame.size);
            types.push_back(frame.type);
        } else {
            std::this_thread::sleep_for(2ms);
        }
    }
    rig.channel->ASourceStop();
    std::vector<uint8_t> expected;
    for (const auto* audio : {&a1, &b1, &a2, &b2})
        expected.insert(expected.end(), audio->begin(), audio->end());
    EXPECT_EQ(received, expected);
    for (uint32_t type : types) EXPECT_EQ(type, kFrameG726 + 2);  // codec code 3: 32 kbit/s
    // Every packet counts on the device, the dropped one too: 5 × (996 + 36).
    EXPECT_EQ(rig.device->audio_byte_total.load(), 5u * kAudioPacketBytes);
    EXPECT_FALSE(rig.channel->IsASourceRunning());
}

TEST(TalkTransfer, FramesGoOutPairedWithConsecutiveSequenceNumbersAndTalkHeaders) {
    std::mutex mutex;
    std::atomic<bool> streaming{false};
    std::vector<TransferHeader> headers;
    std::vector<std::vector<uint8_t>> payloads;
    ScriptedPeer transfer([&](int fd, int) {
        uint8_t request[StreamRequest::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        EXPECT_EQ(request[StreamRequest::kDirectionOffset], 1);
        EXPECT_EQ(request[StreamRequest::kKindOffset], kTransferTalk);
        StreamReply reply;
        reply.magic = kStreamMagic;
        reply.answer = StreamReply::kAccepted;
        uint8_t out[StreamReply::kBytes];
        reply.Encode(out);
        SendAll(fd, out, sizeof(out));
        streaming = true;
        uint8_t packet[kAudioPacketBytes];
        while (RecvAll(fd, packet, sizeof(packet))) {
            std::lock_guard lock(mutex);
            headers.push_back(TransferHeader::Decode(packet));
            payloads.emplace_back(packet + TransferHeader::kBytes, packet + sizeof(packet));
        }
    });
    ScriptedPeer center(RouteTo(transfer.port()));
    Rig rig;
    rig.Serve(center.port());
    CABuffer2& talk = rig.channel->talk_buffer;
    ASSERT_TRUE(talk.Init(kAudioBufferCapacity, kAudioLargestFrame, 2));
    FrameRecord cursor;
    talk.GetWritePos(&cursor);
    ASSERT_TRUE(rig.channel->talk_transfer.Start());
    // Frames captured before the stream is up are dropped when it starts: wait for it.
    while (!streaming) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
    // Three frames as the capture writes them: blocks at 40 and 536 of the 1032 bytes.
    for (uint8_t n = 1; n <= 3; ++n) {
        for (int i = 0; i < 1032; ++i) cursor.data[i] = n;
        cursor.data[536] = static_cast<uint8_t>(n + 100);  // marks block 2
        cursor.size = 1032;
        cursor.time = 1700000000u + n;
        while (!talk.Push(&cursor)) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
    }
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (headers.size() >= 5) break;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(5ms);
    }
    rig.channel->talk_transfer.Stop(kStopTimeoutMs);
    std::lock_guard lock(mutex);
    ASSERT_EQ(headers.size(), 5u);  // frame 1, bridge, frame 2, bridge, frame 3
    for (size_t i = 0; i < headers.size(); ++i) {
        EXPECT_EQ(headers[i].magic, kTransferMagic);
        EXPECT_EQ(headers[i].sequence, i + 1);
        EXPECT_EQ(headers[i].length, static_cast<uint32_t>(kAudioPayloadBytes));
        EXPECT_EQ(headers[i].sent_by_us, 1);
        EXPECT_EQ(headers[i].kind, kTransferTalk);
        EXPECT_EQ(headers[i].channel, 1);
        EXPECT_EQ(headers[i].media_byte(TransferHeader::kTalkMarkOffset), 'A');
        EXPECT_EQ(headers[i].media_byte(TransferHeader::kCodecOffset), 3);
    }
    // Packet s carries blocks s and s + 1: a bridge holds block 2 of the frame before and block 1 of the
    // next.
    EXPECT_EQ(payloads[1][4], 101);
    EXPECT_EQ(payloads[1][500], 2);
    EXPECT_EQ(payloads[2][4], 2);
    EXPECT_EQ(payloads[2][500], 102);
    EXPECT_EQ(headers[2].time, 1700000002u);
    // One frame's bytes count per frame sent, on the transfer and on the device.
    EXPECT_EQ(rig.channel->talk_transfer.TakeByteCount(), 3u * 1032);
    EXPECT_EQ(rig.device->audio_byte_total.load(), 3u * 1032);
}

}  // namespace
}  // namespace corvel

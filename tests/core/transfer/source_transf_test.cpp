// SPDX-License-Identifier: GPL-3.0-or-later
// The media transfer against scripted center and transfer servers on 127.0.0.1.
#include "transfer/source_transf.h"

#include <arpa/inet.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "base/le.h"
#include "center/wire.h"
#include "corvel/corvel.h"
#include "scripted_peer.h"
#include "session/channel.h"
#include "session/session.h"
#include "test_window.h"

namespace corvel {
namespace {

using namespace std::chrono_literals;
using test::ScriptedPeer;
using test::TestWindow;

// Answers every route request with the given transfer server port and records what was asked.
struct RouteServer {
    explicit RouteServer(uint16_t transfer_port)
        : peer([this, transfer_port](int fd, int) {
              uint8_t request[AppPacketHeader::kBytes + ControlRecord::kBytes];
              if (!RecvAll(fd, request, sizeof(request))) return;
              {
                  std::lock_guard lock(mutex);
                  last_header = AppPacketHeader::Decode(request);
                  last_control = ControlRecord::Decode(request + AppPacketHeader::kBytes);
              }
              AppReplyHeader reply;
              reply.kind = kReplyAnswer;
              reply.count = 1;
              reply.length = ControlRecord::kBytes;
              ControlRecord route;
              route.code = last_control.code;
              route.value = static_cast<int32_t>(htonl(INADDR_LOOPBACK));
              route.value2 = transfer_port;
              uint8_t out[AppReplyHeader::kBytes + ControlRecord::kBytes];
              reply.Encode(out);
              route.Encode(out + AppReplyHeader::kBytes);
              SendAll(fd, out, sizeof(out));
          }) {}
    std::mutex mutex;
    AppPacketHeader last_header;
    ControlRecord last_control;
    ScriptedPeer peer;
};

void SendStreamReply(int fd, uint32_t answer, uint32_t further) {
    StreamReply reply;
    reply.magic = kStreamMagic;
    reply.answer = answer;
    reply.further = further;
    uint8_t out[StreamReply::kBytes];
    reply.Encode(out);
    SendAll(fd, out, sizeof(out));
    std::vector<uint8_t> extra(further, 0xEE);
    SendAll(fd, extra.data(), extra.size());
}

void SendVideo(int fd, uint32_t sequence, bool key, uint32_t bytes, uint8_t fill,
               uint8_t kind = kTransferVideo) {
    TransferHeader header;
    header.sequence = sequence;
    header.time = 1700000000 + sequence;
    header.length = bytes;
    header.kind = kind;
    header.set_media_byte(TransferHeader::kFrameRateOffset, 25);
    header.set_media_byte(TransferHeader::kFrameKindOffset, key ? 0 : 3);
    std::vector<uint8_t> packet(TransferHeader::kBytes + bytes, fill);
    header.Encode(packet.data());
    SendAll(fd, packet.data(), packet.size());
}

struct Popped {
    uint32_t type, size, sequence, aux;
    uint8_t first;
};

class VideoTransferTest : public ::testing::Test {
  protected:
    void Start(ScriptedPeer& transfer, RouteServer& route) {
        session.SetCenterServer("127.0.0.1", route.peer.port(), 0);
        session.StoreCredentials("orvi", "480913", 0x1234);
        device = session.TakeDevice();
        device->BindNew(&session, "bus-7");
        channel = session.TakeChannel();
        channel->Bind(&session, device, 2, &window);
        ASSERT_TRUE(buffer.Init(kVideoBufferCapacity, kVideoLargestFrame, 2));
        buffer.gopState = 0;
        transfer_.Bind(&session, device, channel);
        transfer_.set_retry_pause_ms(50);
        (void)transfer;
        ASSERT_TRUE(transfer_.Start());
    }
    std::vector<Popped> PopAll(size_t want, std::chrono::milliseconds timeout = 5s) {
        std::vector<Popped> out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < want && std::chrono::steady_clock::now() < deadline) {
            FrameRecord frame;
            if (buffer.Pop(&frame)) {
                out.push_back({frame.type, frame.size, frame.sequence, frame.aux, frame.data[0]});
            } else {
                std::this_thread::sleep_for(2ms);
            }
        }
        return out;
    }
    void TearDown() override { transfer_.Stop(kStopTimeoutMs); }

    TestWindow window;
    AppSession session{&window, VELQ_MESSAGE};
    AppDevice* device = nullptr;
    AppChannel* channel = nullptr;
    CVBuffer2 buffer;
    CSourceTransf transfer_{kTransferVideo, &buffer};
};

TEST_F(VideoTransferTest, RoutesConnectsAndKeepsKeyFramesAfterAGap) {
    ScriptedPeer transfer([](int fd, int) {
        uint8_t request[StreamRequest::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        SendStreamReply(fd, StreamReply::kAccepted, 20);  // the 20 further bytes must be skipped
        SendVideo(fd, 1, true, 5000, 1);
        SendVideo(fd, 2, false, 3000, 2);
        SendVideo(fd, 4, false, 3000, 4);  // 3 was lost: dropped ...
        SendVideo(fd, 5, false, 3000, 5);  // ... and so is every predicted frame up to the next key frame
        SendVideo(fd, 6, true, 6000, 6);
        SendVideo(fd, 7, false, 3000, 7);
        std::this_thread::sleep_for(300ms);
    });
    RouteServer route(transfer.port());
    Start(transfer, route);
    const auto frames = PopAll(4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].type, IVOP);
    EXPECT_EQ(frames[0].size, 5000u);
    EXPECT_EQ(frames[0].first, 1);
    EXPECT_EQ(frames[0].aux, 25u);
    EXPECT_EQ(frames[1].first, 2);
    EXPECT_EQ(frames[2].type, IVOP);
    EXPECT_EQ(frames[2].first, 6);
    EXPECT_EQ(frames[2].sequence, 6u);
    EXPECT_EQ(frames[3].first, 7);
    EXPECT_EQ(frames[3].type, PVOP);
    transfer_.Stop(kStopTimeoutMs);

    std::lock_guard lock(route.mutex);
    EXPECT_EQ(route.last_header.sequence, 1u);
    EXPECT_EQ(route.last_header.type, kRequestControl);
    EXPECT_EQ(route.last_header.length, ControlRecord::kBytes);
    EXPECT_EQ(route.last_control.code, kRouteVideo);
    EXPECT_EQ(route.last_control.id(), "bus-7");
    EXPECT_EQ(route.last_control.channel, 2);
    EXPECT_EQ(std::string(route.last_header.session_id), "orvi-00001234");
}

TEST_F(VideoTransferTest, FirstFrameOfEveryConnectionPosts194AndLossPosts195Then192) {
    ScriptedPeer transfer([](int fd, int) {
        uint8_t request[StreamRequest::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        SendStreamReply(fd, StreamReply::kAccepted, 0);
        SendVideo(fd, 1, true, 1000, 1);
        SendVideo(fd, 2, false, 1000, 2);
        std::this_thread::sleep_for(50ms);
        // then the connection drops
    });
    RouteServer route(transfer.port());
    Start(transfer, route);
    ASSERT_TRUE(window.WaitFor(VELQ_EV_MEDIA_FIRST_FRAME, 5s, 2));
    transfer_.Stop(kStopTimeoutMs);
    const auto codes = window.Codes();
    // route, first frame, receive failure, failure, route, first frame, ...
    ASSERT_GE(codes.size(), 5u);
    EXPECT_EQ(codes[0], VELQ_EV_MEDIA_ROUTE);
    EXPECT_EQ(codes[1], VELQ_EV_MEDIA_FIRST_FRAME);
    EXPECT_EQ(codes[2], VELQ_EV_MEDIA_RECV_FAILED);
    EXPECT_EQ(codes[3], VELQ_EV_MEDIA_FAILED);
    EXPECT_EQ(codes[4], VELQ_EV_MEDIA_ROUTE);
    for (const auto& event : window.Events()) EXPECT_EQ(event.value, reinterpret_cast<intptr_t>(channel));
}

TEST_F(VideoTransferTest, LargestFrameIsAcceptedOneByteMoreAndOtherKindsAreSkipped) {
    ScriptedPeer transfer([](int fd, int) {
        uint8_t request[StreamRequest::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        SendStreamReply(fd, StreamReply::kAccepted, 0);
        SendVideo(fd, 1, true, kVideoLargestFrame, 1);
        SendVideo(fd, 2, true, kVideoLargestFrame + 1, 2);
        SendVideo(fd, 3, true, 100, 3, kTransferAudio);
        SendVideo(fd, 4, true, 100, 4);
        std::this_thread::sleep_for(300ms);
    });
    RouteServer route(transfer.port());
    Start(transfer, route);
    const auto frames = PopAll(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].size, kVideoLargestFrame);
    EXPECT_EQ(frames[1].first, 4);  // the stream stayed in step past the skipped payloads
    EXPECT_TRUE(PopAll(1, 100ms).empty());
    transfer_.Stop(kStopTimeoutMs);
    // All four packets count, headers included.
    EXPECT_EQ(transfer_.TakeByteCount(), 2 * kVideoLargestFrame + 1 + 200 + 4 * 36);
}

TEST_F(VideoTransferTest, RefusedStreamPosts196Then192AndRetries) {
    ScriptedPeer transfer([](int fd, int) {
        uint8_t request[StreamRequest::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        SendStreamReply(fd, 7, 0);
    });
    RouteServer route(transfer.port());
    Start(transfer, route);
    ASSERT_TRUE(window.WaitFor(VELQ_EV_MEDIA_REFUSED, 5s, 2));
    transfer_.Stop(kStopTimeoutMs);
    const auto codes = window.Codes();
    EXPECT_EQ(codes[0], VELQ_EV_MEDIA_ROUTE);
    EXPECT_EQ(codes[1], VELQ_EV_MEDIA_REFUSED);
    EXPECT_EQ(codes[2], VELQ_EV_MEDIA_FAILED);
    EXPECT_EQ(codes[3], VELQ_EV_MEDIA_ROUTE);
}

TEST_F(VideoTransferTest, StopEndsATransferBlockedInReceiveAtOnce) {
    ScriptedPeer transfer([](int fd, int) {
        uint8_t request[StreamRequest::kBytes];
        if (!RecvAll(fd, request, sizeof(request))) return;
        SendStreamReply(fd, StreamReply::kAccepted, 0);
        char byte;
        recv(fd, &byte, 1, 0);  // silent until the client goes away
    });
    RouteServer route(transfer.port());
    Start(transfer, route);
    ASSERT_TRUE(window.WaitFor(VELQ_EV_MEDIA_ROUTE, 5s));
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    transfer_.Stop(kStopTimeoutMs);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(window.Count(VELQ_EV_MEDIA_RECV_FAILED), 0u);  // a stop is not a failure
}

TEST(TransferWire, StreamRequestLayout) {
    StreamRequest request;
    request.user = "orvi";
    request.password = "480913";
    request.session_id = "orvi-0000ABCD";
    request.device_id = "bus-1@3";
    request.kind = kTransferTalk;
    request.channel = 4;
    uint8_t out[StreamRequest::kBytes];
    request.Encode(out);
    EXPECT_EQ(std::memcmp(out, "QXTXV100", 8), 0);
    EXPECT_EQ(LoadLE32(out + 8), 2u);
    EXPECT_EQ(LoadLE32(out + 12), 164u);
    EXPECT_STREQ(reinterpret_cast<char*>(out + 16), "orvi");
    EXPECT_STREQ(reinterpret_cast<char*>(out + 48), "480913");
    EXPECT_STREQ(reinterpret_cast<char*>(out + 80), "orvi-0000ABCD");
    EXPECT_STREQ(reinterpret_cast<char*>(out + 112), "bus-1@3");
    EXPECT_EQ(out[176], 1);  // talk goes out
    EXPECT_EQ(out[177], kTransferTalk);
    EXPECT_EQ(out[178], 4);
    EXPECT_EQ(out[179], 0);
    request.kind = kTransferVideo;
    request.Encode(out);
    EXPECT_EQ(out[176], 2);
}

}  // namespace
}  // namespace corvel

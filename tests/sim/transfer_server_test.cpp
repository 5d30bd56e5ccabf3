// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated transfer server as the library meets it: routes from the center, stream requests, and the
// packets of a vehicle's video loop.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/le.h"
#include "base/socket.h"
#include "center/wire.h"
#include "platform.h"
#include "platform/sound_wav_file.h"
#include "test_wait.h"
#include "transfer/audio_payload.h"
#include "transfer/transfer_wire.h"

namespace velq_sim {
namespace {

using namespace corvel;

class TransferServerTest : public ::testing::Test {
  protected:
    void SetUp() override { StartPlatform(); }
    // Starts a quiet platform on kernel-picked ports (`wav`: where the talk uplink goes).
    void StartPlatform(const std::string& wav = "") {
        CenterConfig center;
        center.tcp_port = 0;
        center.udp_port = 0;
        center.log = false;
        center.tick_ms = 0;
        TransferConfig transfer;
        transfer.log = false;
        transfer.talk_wav_path = wav;
        platform = std::make_unique<SimPlatform>(center, transfer, Fleet::Default());
        std::string error;
        ASSERT_TRUE(platform->Start(&error)) << error;
    }
    void TearDown() override { platform->Stop(); }

    int Connect(uint16_t port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        ResolveIPv4("127.0.0.1", port, &address);
        EXPECT_TRUE(ConnectWithTimeout(fd, address, 2000));
        SetSocketTimeouts(fd, 5000);
        return fd;
    }
    // A route request as the library sends it; returns the reply record, or a zero address on failure.
    ControlRecord Route(const std::string& device_id, uint32_t code, int channel, uint32_t* reply_kind) {
        const int fd = Connect(platform->center().tcp_port());
        AppPacketHeader header;
        header.sequence = 1;
        header.type = kRequestControl;
        header.length = ControlRecord::kBytes;
        header.has_data = 1;
        std::memcpy(header.user, "orvi", 4);
        std::memcpy(header.password, "480913", 6);
        ControlRecord control;
        control.code = code;
        control.set_id(device_id);
        control.channel = channel;
        uint8_t out[AppPacketHeader::kBytes + ControlRecord::kBytes];
        header.Encode(out);
        control.Encode(out + AppPacketHeader::kBytes);
        EXPECT_TRUE(SendAll(fd, out, sizeof(out)));
        uint8_t reply_bytes[AppReplyHeader::kBytes];
        ControlRecord route;
        route.value = 0;
        if (RecvAll(fd, reply_bytes, sizeof(reply_bytes))) {
            const AppReplyHeader reply = AppReplyHeader::Decode(reply_bytes);
            *reply_kind = reply.kind;
            std::vector<uint8_t> data(reply.length);
            if (RecvAll(fd, data.data(), data.size()) && data.size() >= ControlRecord::kBytes) {
                route = ControlRecord::Decode(data.data());
            }
        }
        close(fd);
        return route;
    }
    // Opens a stream; returns the socket with the reply read, or -1 with the answer in *answer.
    int OpenStream(const ControlRecord& route, const std::string& device_id, uint8_t kind, int channel,
                   uint32_t* answer) {
        const int fd = Connect(static_cast<uint16_t>(route.value2));
        StreamRequest request;
        request.user = "orvi";
        request.password = "480913";
        request.device_id = device_id;
        request.kind = kind;
        request.channel = static_cast<uint8_t>(channel);
        uint8_t out[StreamRequest::kBytes];
        request.Encode(out);
        EXPECT_TRUE(SendAll(fd, out, sizeof(out)));
        uint8_t reply_bytes[StreamReply::kBytes];
        EXPECT_TRUE(RecvAll(fd, reply_bytes, sizeof(reply_bytes)));
        const StreamReply reply = StreamReply::Decode(reply_bytes);
        EXPECT_EQ(reply.magic, kStreamMagic);
        *answer = reply.answer;
        if (reply.answer != StreamReply::kAccepted) {
            close(fd);
            return -1;
        }
        EXPECT_TRUE(RecvDiscard(fd, reply.further));
        return fd;
    }

    std::unique_ptr<SimPlatform> platform;
};

TEST_F(TransferServerTest, RoutesPointAtTheTransferServerAndUnknownDevicesGetNone) {
    uint32_t kind = 0;
    const ControlRecord route = Route("MDVR-10001", kRouteVideo, 1, &kind);
    EXPECT_EQ(kind, kReplyAnswer);
    EXPECT_EQ(static_cast<uint32_t>(route.value), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(route.value2, platform->transfer().port());
    Route("NO-SUCH-DEVICE", kRouteVideo, 1, &kind);
    EXPECT_EQ(kind, kReplyFailure);
}

TEST_F(TransferServerTest, VideoStreamStartsAtAKeyFrameWithConsecutiveSequenceAndHeaderBytes) {
    uint32_t kind = 0;
    const ControlRecord route = Route("MDVR-10001", kRouteVideo, 2, &kind);
    uint32_t answer = 0;
    const int fd = OpenStream(route, "MDVR-10001", kTransferVideo, 2, &answer);
    ASSERT_GE(fd, 0);
    int keys = 0;
    for (uint32_t n = 1; n <= 30; ++n) {
        uint8_t header_bytes[TransferHeader::kBytes];
        ASSERT_TRUE(RecvAll(fd, header_bytes, sizeof(header_bytes)));
        const TransferHeader header = TransferHeader::Decode(header_bytes);
        EXPECT_EQ(header.magic, kTransferMagic);
        EXPECT_EQ(header.sequence, n);
        EXPECT_EQ(header.kind, kTransferVideo);
        EXPECT_EQ(header.channel, 2);
        EXPECT_EQ(header.media_byte(TransferHeader::kFormatOffset), 2);  // CIF
        EXPECT_EQ(header.media_byte(TransferHeader::kFrameRateOffset), 25);
        const bool key = header.media_byte(TransferHeader::kFrameKindOffset) != 3;
        if (n == 1) {
            EXPECT_TRUE(key);
        }
        keys += key;
        std::vector<uint8_t> payload(header.length);
        ASSERT_TRUE(RecvAll(fd, payload.data(), payload.size()));
        // Annex B: every frame starts with a start code.
        ASSERT_GE(payload.size(), 4u);
        EXPECT_EQ(payload[0] | payload[1], 0);
        EXPECT_EQ(header.time / 1000000, static_cast<uint32_t>(time(nullptr)) / 1000000);
    }
    EXPECT_EQ(keys, 2);  // frames 1 and 26 of a 25-frame group
    close(fd);
}

TEST_F(TransferServerTest, OfflineVehiclesMissingChannelsAndUnknownKindsAreRefused) {
    uint32_t kind = 0, answer = 0;
    const ControlRecord route = Route("MDVR-10001", kRouteVideo, 1, &kind);
    EXPECT_EQ(OpenStream(route, "MDVR-10005", kTransferVideo, 1, &answer), -1);  // offline
    EXPECT_NE(answer, StreamReply::kAccepted);
    EXPECT_EQ(OpenStream(route, "MDVR-10001", kTransferVideo, 5, &answer), -1);  // 4 channels
    EXPECT_EQ(OpenStream(route, "MDVR-10001", 9, 1, &answer), -1);
    EXPECT_EQ(platform->transfer().streams_refused(), 3u);
}

TEST_F(TransferServerTest, WrittenResolutionAndFrameRateChooseTheLoop) {
    auto vehicle = platform->center().fleet().Find("MDVR-10001");
    ASSERT_TRUE(vehicle);
    vehicle->settings[{1, 10}] = 4;
    vehicle->settings[{1, 12}] = 10;
    const auto settings = StreamSettingsOf(*vehicle, 1);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->picture_code, 4);
    EXPECT_EQ(settings->frame_rate, 10);
    EXPECT_EQ(StreamSettingsOf(*vehicle, 2)->picture_code, 2);
    EXPECT_EQ(AudioCodeByName("alaw"), 6);
    EXPECT_EQ(AudioCodeByName("mp3"), 0);
}

}  // namespace
}  // namespace velq_sim

namespace velq_sim {
namespace {

using namespace corvel;

TEST_F(TransferServerTest, ShortCenterConnectionsDoNotKeepTheirThreads) {
    uint32_t kind = 0;
    // Every route request is a connection of its own; each thread kept would hold its stack until Stop.
    for (int i = 0; i < 100; ++i) Route("MDVR-10001", kRouteVideo, 1, &kind);
    EXPECT_EQ(platform->center().connections_accepted(), 100u);
    // Finished threads are joined at the next accept; on a loaded machine a few may still be finishing, so
    // further requests give them the chance. Kept threads would only grow with each of them.
    EXPECT_TRUE(corvel::test::WaitUntil([&] {
        Route("MDVR-10001", kRouteVideo, 1, &kind);
        return platform->center().connection_threads() <= 2u;
    })) << platform->center().connection_threads()
        << " connection threads kept";
}

// A talk packet as the library sends one: 996 payload bytes, blocks of silence-coded G.726.
std::vector<uint8_t> TalkPacket(uint32_t sequence) {
    TransferHeader header;
    header.sequence = sequence;
    header.length = kAudioPayloadBytes;
    header.kind = kTransferTalk;
    header.channel = 1;
    std::vector<uint8_t> packet(TransferHeader::kBytes + kAudioPayloadBytes, 0x88);
    header.Encode(packet.data());
    return packet;
}

TEST_F(TransferServerTest, TalkUplinkFillsGapsBoundedlyAndGoesToDiskAsItArrives) {
    platform->Stop();
    const std::string wav = ::testing::TempDir() + "talk_" + std::to_string(getpid()) + ".wav";
    ASSERT_NO_FATAL_FAILURE(StartPlatform(wav));
    std::string error;
    uint32_t kind = 0, answer = 0;
    const ControlRecord route = Route("MDVR-10001", kRouteTalk, 1, &kind);
    const int fd = OpenStream(route, "MDVR-10001", kTransferTalk, 1, &answer);
    ASSERT_GE(fd, 0);
    // A sequence jump of a million packets, as a broken or hostile sender might make.
    for (uint32_t sequence : {1u, 2u, 1000000u, 1000001u}) {
        const auto packet = TalkPacket(sequence);
        ASSERT_TRUE(SendAll(fd, packet.data(), packet.size()));
    }
    // Four first blocks, the block carried for the lost packet, and at most 3 s of silence for the gap.
    constexpr size_t kBlock = 960;
    const size_t expected = (5 + 25) * kBlock;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (platform->transfer().talk_pcm().size() < expected && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(platform->transfer().talk_pcm().size(), expected);
    // The stream is still open, and the file already holds what was heard.
    WavFileData on_disk;
    ASSERT_TRUE(ReadWavFile(wav, &on_disk, &error)) << error;
    EXPECT_EQ(on_disk.samples, platform->transfer().talk_pcm());
    close(fd);
    // The end of the stream adds the last packet's second block, and nothing else.
    const auto ended = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (platform->transfer().talk_pcm().size() <= expected && std::chrono::steady_clock::now() < ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(platform->transfer().talk_pcm().size(), expected + kBlock);
    std::remove(wav.c_str());
}

TEST_F(TransferServerTest, AudioComesInProtectedGroupsInTheVehiclesCodec) {
    uint32_t kind = 0, answer = 0;
    const ControlRecord route = Route("MDVR-10002", kRouteAudio, 1, &kind);  // G.726 at 16 kbit/s
    const int fd = OpenStream(route, "MDVR-10002", kTransferAudio, 1, &answer);
    ASSERT_GE(fd, 0);
    for (uint32_t n = 1; n <= 8; ++n) {
        uint8_t header_bytes[TransferHeader::kBytes];
        ASSERT_TRUE(RecvAll(fd, header_bytes, sizeof(header_bytes)));
        const TransferHeader header = TransferHeader::Decode(header_bytes);
        EXPECT_EQ(header.sequence, n);
        EXPECT_EQ(header.kind, kTransferAudio);
        EXPECT_EQ(header.length, static_cast<uint32_t>(kAudioPayloadBytes));
        EXPECT_EQ(header.media_byte(TransferHeader::kCodecOffset), 1);
        uint8_t payload[kAudioPayloadBytes];
        ASSERT_TRUE(RecvAll(fd, payload, sizeof(payload)));
        EXPECT_EQ(LoadLE32(payload), (n - 1) % 4 + 1);  // A, B, sum, difference
    }
    close(fd);
}

}  // namespace
}  // namespace velq_sim

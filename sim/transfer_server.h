// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated transfer server and the vehicles' media: it accepts stream requests from the library,
// answers them, and streams each vehicle's H.264 loop and audio, or receives its talk uplink.
// Start binds its port (0 = the kernel picks) and runs an accept thread and one thread per stream; Stop
// ends them all. Any thread may call the setters while it runs.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/socket.h"
#include "h264_loop.h"
#include "platform/sound_wav_file.h"

namespace velq_sim {

// What a vehicle streams on one channel, looked up for every stream request (and again at every key
// frame, so that a changed resolution or frame rate switches the loop).
struct StreamSettings {
    uint8_t picture_code = 2;  // picture format code
    int frame_rate = 25;
    uint8_t audio_code = 3;  // audio codec code 1..7
};

// Faults to inject, per stream (0 = off).
struct TransferFaults {
    uint32_t drop_after_packets = 0;   // close the stream after this many packets
    uint32_t stall_after_packets = 0;  // send nothing more after this many packets (the connection stays)
    uint32_t skip_sequence_every = 0;  // every n-th video packet is not sent (a sequence gap)
    bool refuse_streams = false;       // answer stream requests with a refusal
};

struct TransferConfig {
    std::string bind_address = "127.0.0.1";
    uint16_t port = 0;
    bool protect_audio = true;  // send audio as protected pairs (A, B, sum, difference)
    double audio_loss = 0.0;    // chance that an audio packet is not sent
    uint32_t seed = 7;
    std::string talk_wav_path;  // talk uplink decoded and written here when set
    bool log = true;
    bool encoder_log = false;  // libx264's own lines (statistics of every loop encoded) on standard error
    TransferFaults faults;
};

class TransferServer {
  public:
    // Settings of a device's channel; nullopt refuses the stream (unknown device, channel or offline).
    using Lookup = std::function<std::optional<StreamSettings>(const std::string& device_id, int channel)>;

    TransferServer(TransferConfig config, Lookup lookup);
    ~TransferServer();
    TransferServer(const TransferServer&) = delete;
    TransferServer& operator=(const TransferServer&) = delete;

    bool Start(std::string* error);
    void Stop();
    uint16_t port() const { return port_; }
    void set_faults(const TransferFaults& faults);

    // Counters for tests and the log.
    uint32_t streams_accepted() const { return accepted_.load(); }
    uint32_t streams_refused() const { return refused_.load(); }
    // The talk uplink received so far, decoded to 16-bit PCM at 8000 Hz, blocks of all streams in arrival
    // order: the first kKeptTalkSamples of it (the WAV file, when named, gets all of it as it arrives).
    std::vector<int16_t> talk_pcm();
    static constexpr size_t kKeptTalkSamples = 8000 * 300;
    // Audio packets sent and left out (loss) over all streams.
    uint32_t audio_packets_sent() const { return audio_sent_.load(); }
    uint32_t audio_packets_lost() const { return audio_lost_.load(); }

  private:
    struct Stream;
    void AcceptLoop();
    void Serve(std::shared_ptr<Stream> stream);
    bool StreamVideo(Stream& stream, const std::string& device_id, int channel, StreamSettings settings);
    bool StreamAudio(Stream& stream, int channel, const StreamSettings& settings);
    bool ReceiveTalk(Stream& stream, const std::string& device_id, int channel);
    // Appends decoded talk samples to the kept copy and the WAV file. Any stream's thread.
    void StoreTalk(const int16_t* samples, size_t count);
    TransferFaults faults();
    void Log(const std::string& line);

    TransferConfig config_;
    Lookup lookup_;
    H264Library loops_{50, 25, config_.encoder_log};
    std::atomic<corvel::SocketHandle> listen_fd_{corvel::kInvalidSocket};
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread accept_thread_;
    std::mutex mutex_;  // guards streams_, faults_, the talk store, the log
    std::vector<std::shared_ptr<Stream>> streams_;
    TransferFaults faults_;
    std::vector<int16_t> talk_pcm_;
    std::unique_ptr<corvel::WavFileWriter> talk_wav_;  // made with the first talk sample
    bool talk_wav_failed_ = false;
    std::atomic<uint32_t> audio_sent_{0};
    std::atomic<uint32_t> audio_lost_{0};
    std::atomic<uint32_t> accepted_{0};
    std::atomic<uint32_t> refused_{0};
};

}  // namespace velq_sim

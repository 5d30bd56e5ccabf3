// SPDX-License-Identifier: GPL-3.0-or-later
#include "media.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "signals.h"

namespace velq {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSnapshotWaitDefault_s = 10;
constexpr int kSnapshotWriteWait_s = 5;
constexpr uint64_t kPicturesBeforeSnapshot = 5;
constexpr size_t kLongestPathUnits = 259;

// A display window that shows nothing: it takes every picture (the channel's video thread presents into
// it) and counts them. The library posts no events here; they go to the session's queue.
class PictureSink : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
    VelqPresentResult PresentPicture(const VelqPicture&) override {
        presented_.fetch_add(1, std::memory_order_relaxed);
        return VELQ_PRESENT_OK;
    }
    uint64_t presented() const { return presented_.load(std::memory_order_relaxed); }

  private:
    std::atomic<uint64_t> presented_{0};
};

// The library takes paths in UTF-16; the command line gives UTF-8.
std::u16string Utf16Path(const std::string& path) {
    std::u16string out;
    for (size_t i = 0; i < path.size();) {
        const auto lead = static_cast<unsigned char>(path[i]);
        const size_t length = lead < 0x80         ? 1
                              : (lead >> 5) == 6  ? 2
                              : (lead >> 4) == 14 ? 3
                              : (lead >> 3) == 30 ? 4
                                                  : 0;
        if (length == 0 || i + length > path.size()) throw Failure{"the path is not valid UTF-8: " + path};
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(path[i + k]);
            if ((next >> 6) != 2) throw Failure{"the path is not valid UTF-8: " + path};
            code = (code << 6) | (next & 0x3F);
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    if (out.empty() || out.size() > kLongestPathUnits)
        throw Failure{"the path must have 1 to 259 characters"};
    return out;
}

std::string Stamp() {
    const std::time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof(text), "%H:%M:%S", &local);
    return text;
}

struct ChannelState {
    AppChannel* handle = nullptr;
    int number = 0;
    bool first_frame = false;
    int refused = 0, lost = 0, failed = 0;
    // The figures of the last closed one-second period.
    intptr_t frames = 0, kbps = 0, width = 0, height = 0;
    int audio_kbps = 0;
    bool any_traffic = false;
};

// One logged-in session with channels of one device drawing into a PictureSink. The destructor releases
// the channels, then the client logs out.
class MediaSession {
  public:
    explicit MediaSession(const MediaOptions& options) : options_(options), client_(options.common) {
        client_.Login();
        device_ = client_.FindRegistered(options.device);
        const int count = ReadDevice(device_).channels;
        for (int number : options.channels) {
            if (number > count) {
                throw Failure{options.device + " has " + std::to_string(count) + " channels, not " +
                              std::to_string(number)};
            }
            AppChannel* channel = VelqDev_CreateChannel(device_, number, &sink_);
            if (channel == nullptr) {
                throw Failure{"cannot open channel " + std::to_string(number) + " of " + options.device};
            }
            channels_.push_back({channel, number});
        }
    }
    ~MediaSession() {
        for (const ChannelState& channel : channels_) VelqChn_Release(channel.handle);
    }
    MediaSession(const MediaSession&) = delete;
    MediaSession& operator=(const MediaSession&) = delete;

    AppChannel* channel(size_t index) const { return channels_[index].handle; }
    AppDevice* device() const { return device_; }
    const std::vector<ChannelState>& channels() const { return channels_; }
    const PictureSink& sink() const { return sink_; }

    // Takes the events and closes a statistics period every second (then calls `report`) until `seconds`
    // pass (0: no limit), Ctrl-C, or `done` returns true. Returns whether `done` ended it.
    bool Run(int seconds, const std::function<bool()>& done,
             const std::function<void(int elapsed_s)>& report) {
        for (ChannelState& channel : channels_) VelqChn_OnTimer(channel.handle);  // opens the first period
        const auto start = Clock::now();
        auto next_tick = start + std::chrono::seconds(1);
        int elapsed_s = 0;
        while (!StopRequested()) {
            if (done && done()) return true;
            if (seconds > 0 && elapsed_s >= seconds) return false;
            const auto now = Clock::now();
            if (now >= next_tick) {
                next_tick += std::chrono::seconds(1);
                ++elapsed_s;
                CloseStatisticsPeriod();
                if (report) report(elapsed_s);
                continue;
            }
            const auto wait = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(next_tick - now),
                                       std::chrono::milliseconds(50));
            if (const auto event = client_.events().Pop(wait)) Handle(*event);
        }
        return false;
    }

    // Throws unless every channel announced its first video frame.
    void RequireVideo(int seconds) const {
        for (const ChannelState& channel : channels_) {
            if (!channel.first_frame) throw Failure{"no video " + Where(channel, seconds) + Reason(channel)};
        }
    }
    // Throws unless some traffic was counted on every channel.
    void RequireTraffic(const char* what, int seconds) const {
        for (const ChannelState& channel : channels_) {
            if (!channel.any_traffic)
                throw Failure{std::string("no ") + what + " " + Where(channel, seconds) + Reason(channel)};
        }
    }

  private:
    std::string Where(const ChannelState& channel, int seconds) const {
        std::string text = "from " + options_.device + " channel " + std::to_string(channel.number);
        if (seconds > 0) text += " within " + std::to_string(seconds) + " s";
        return text;
    }
    static std::string Reason(const ChannelState& channel) {
        if (channel.refused > 0) return ": the transfer server refused the stream (device offline?)";
        if (channel.lost > 0) return ": the stream was lost and did not come back";
        if (channel.failed > 0) return ": the stream could not be set up (device offline?), still retrying";
        return "";
    }

    ChannelState* Find(intptr_t handle) {
        for (ChannelState& channel : channels_) {
            if (reinterpret_cast<intptr_t>(channel.handle) == handle) return &channel;
        }
        return nullptr;
    }

    void Handle(const Event& event) {
        if (event.code == VELQ_EV_CONNECT_FAILED) {
            std::fprintf(stderr, "velq: %s center connection failed or lost, retrying\n", Stamp().c_str());
        } else if (event.code >= VELQ_EV_MEDIA_FAILED && event.code <= VELQ_EV_MEDIA_REFUSED) {
            if (ChannelState* channel = Find(event.value)) Note(*channel, event.code);
        }
        client_.Recycle(event);
    }

    void Note(ChannelState& channel, uintptr_t code) {
        const char* text = nullptr;
        switch (code) {
            case VELQ_EV_MEDIA_FIRST_FRAME:
                channel.first_frame = true;
                text = "first video frame";
                break;
            case VELQ_EV_MEDIA_FAILED:
                ++channel.failed;
                text = "media set-up failed, retrying in 5 s";
                break;
            case VELQ_EV_MEDIA_RECV_FAILED:
                ++channel.lost;
                text = "receiving failed";
                break;
            case VELQ_EV_MEDIA_REFUSED:
                ++channel.refused;
                text = "the transfer server refused the stream";
                break;
            default:
                return;
        }
        std::fprintf(stderr, "velq: %s %s channel %d: %s\n", Stamp().c_str(), options_.device.c_str(),
                     channel.number, text);
    }

    void CloseStatisticsPeriod() {
        for (ChannelState& channel : channels_) {
            channel.audio_kbps = VelqChn_OnTimer(channel.handle);
            VelqChn_GetChnInfo(channel.handle, VELQ_CHN_FRAMES, &channel.frames);
            VelqChn_GetChnInfo(channel.handle, VELQ_CHN_KBPS, &channel.kbps);
            VelqChn_GetChnInfo(channel.handle, VELQ_CHN_WIDTH, &channel.width);
            VelqChn_GetChnInfo(channel.handle, VELQ_CHN_HEIGHT, &channel.height);
            channel.any_traffic = channel.any_traffic || channel.kbps > 0 || channel.audio_kbps > 0;
        }
    }

    const MediaOptions& options_;
    PictureSink sink_;  // outlives the channels drawing into it
    Client client_;     // logs out after the channels are released
    AppDevice* device_ = nullptr;
    std::vector<ChannelState> channels_;
};

std::string VideoFigures(const ChannelState& channel) {
    return "channel " + std::to_string(channel.number) + ": " + std::to_string(channel.frames) + " frames " +
           std::to_string(channel.kbps) + " kbit/s " + std::to_string(channel.width) + "x" +
           std::to_string(channel.height);
}

// The last change of a regular file in nanoseconds; -1 when there is no such file.
int64_t ChangeTime_ns(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

// Files in the folder of `base` named base + "-" + 19 stamp characters + `extension`, with their change
// times.
std::map<std::string, int64_t> StampedFiles(const std::string& base, const std::string& extension) {
    namespace fs = std::filesystem;
    const fs::path base_path(base);
    const fs::path folder = base_path.has_parent_path() ? base_path.parent_path() : fs::path(".");
    const std::string prefix = base_path.filename().string() + "-";
    std::map<std::string, int64_t> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 19 + extension.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
            continue;
        }
        const int64_t changed_ns = ChangeTime_ns(entry.path());
        if (changed_ns < 0) continue;
        files[base_path.has_parent_path() ? (folder / name).string() : name] = changed_ns;
    }
    return files;
}

// What a recording into `file` may leave: the file itself and the stamped files beside it (split files,
// or the later files of a recording that went on after a failed write), with their change times.
std::map<std::string, int64_t> RecordingFiles(const std::string& file, const std::string& base) {
    auto files = StampedFiles(base, ".avi");
    const int64_t changed_ns = ChangeTime_ns(file);
    if (changed_ns >= 0) files[file] = changed_ns;
    return files;
}

// A bitmap is complete when its size is the one its header gives.
bool BitmapComplete(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[6] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof(header))) return false;
    const uint32_t declared =
        header[2] | header[3] << 8 | header[4] << 16 | static_cast<uint32_t>(header[5]) << 24;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && header[0] == 'B' && header[1] == 'M' && size == declared;
}

std::string WithoutExtension(const std::string& path, const char* extension) {
    const size_t length = std::char_traits<char>::length(extension);
    if (path.size() <= length) return path;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[path.size() - length + i])) != extension[i])
            return path;
    }
    return path.substr(0, path.size() - length);
}

}  // namespace

int Record(const MediaOptions& options) {
    const std::u16string path = Utf16Path(options.file);
    // The library takes backslashes as folder separators too; look for its files where it puts them.
    std::string file = options.file;
    std::replace(file.begin(), file.end(), '\\', '/');
    const std::string base = WithoutExtension(file, ".avi");
    const auto before = RecordingFiles(file, base);
    CatchStopSignals();
    MediaSession media(options);
    AppChannel* channel = media.channel(0);
    if (options.pre_record_s > 0) {
        CatchStartSignal();
        const int32_t seconds = options.pre_record_s;
        if (VelqDev_SetDevInfo(media.device(), VELQ_DEV_PRE_RECORD_SECONDS, &seconds, sizeof seconds) != 4)
            throw Failure{"the library does not keep video before a recording"};
    }
    // Recording needs the sources only; nothing is shown.
    if (!VelqChn_VSourceStart(channel) || !VelqChn_ASourceStart(channel)) {
        throw Failure{"cannot start the channel's video and audio sources"};
    }
    if (options.pre_record_s > 0) {
        std::fprintf(stderr,
                     "velq: %s keeping the last %d s of channel %d; recording starts on SIGUSR1 or in %d s\n",
                     Stamp().c_str(), options.pre_record_s, options.channels[0], options.start_after_s);
        media.Run(
            options.start_after_s, [] { return StartRequested(); }, nullptr);
        if (StopRequested()) throw Failure{"stopped before the recording started"};
    }
    if (!VelqChn_RecordStart(channel, path.c_str(), options.split_s)) throw Failure{"cannot start recording"};
    if (options.pre_record_s > 0) std::fprintf(stderr, "velq: %s recording started\n", Stamp().c_str());
    media.Run(options.duration_s, nullptr, [&](int elapsed_s) {
        const ChannelState& state = media.channels()[0];
        std::fprintf(stderr, "velq: recording %s: %d s, %ld kbit/s (audio %d kbit/s)\n", options.file.c_str(),
                     elapsed_s, static_cast<long>(state.kbps), state.audio_kbps);
    });
    VelqChn_RecordStop(channel);  // closes the file (and deletes one under 1024 bytes) before it returns
    media.RequireVideo(options.duration_s);
    // Only files that were made or changed by this run count.
    std::vector<std::string> written;
    for (const auto& [name, changed] : RecordingFiles(file, base)) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != changed) written.push_back(name);
    }
    const bool named_file_written = std::find(written.begin(), written.end(), file) != written.end();
    if (written.empty() || (options.split_s == 0 && !named_file_written)) {
        throw Failure{"nothing was recorded into " +
                      (options.split_s == 0 ? file : base + "-YYYY-MM-DD-HH-MM-SS.avi") +
                      " (the folder could not be created or written, or the recording stayed under 1024 "
                      "bytes and was deleted)"};
    }
    for (const std::string& name : written) std::printf("recorded %s\n", name.c_str());
    return kExitOk;
}

int Snapshot(const MediaOptions& options) {
    const std::u16string path = Utf16Path(options.file);
    const std::string base = WithoutExtension(options.file, ".bmp");
    const int wait_s = options.duration_s > 0 ? options.duration_s : kSnapshotWaitDefault_s;
    CatchStopSignals();
    MediaSession media(options);
    AppChannel* channel = media.channel(0);
    if (!VelqChn_VideoPlay(channel)) throw Failure{"cannot start the video"};
    const bool shown = media.Run(
        wait_s,
        [&] {
            return media.channels()[0].first_frame && media.sink().presented() >= kPicturesBeforeSnapshot;
        },
        nullptr);
    if (!shown) {
        media.RequireVideo(wait_s);
        throw Failure{"no pictures shown from " + options.device + " within " + std::to_string(wait_s) +
                      " s"};
    }
    const auto before = StampedFiles(base, ".bmp");
    if (!VelqChn_Snapshot(channel, path.c_str())) throw Failure{"the video stopped before the snapshot"};
    std::string written;
    const bool saved = media.Run(
        kSnapshotWriteWait_s,
        [&] {
            for (const auto& [name, changed] : StampedFiles(base, ".bmp")) {
                const auto old = before.find(name);
                if ((old == before.end() || old->second != changed) && BitmapComplete(name)) {
                    written = name;
                    return true;
                }
            }
            return false;
        },
        nullptr);
    if (!saved) throw Failure{"the snapshot was not written (cannot create " + base + "-*.bmp?)"};
    std::printf("%s\n", written.c_str());
    return kExitOk;
}

int Play(const MediaOptions& options) {
    CatchStopSignals();
    MediaSession media(options);
    for (size_t i = 0; i < options.channels.size(); ++i) {
        if (!VelqChn_VideoPlay(media.channel(i))) throw Failure{"cannot start the video"};
    }
    media.Run(options.duration_s, nullptr, [&](int) {
        std::string line = Stamp() + " " + options.device;
        for (const ChannelState& state : media.channels()) line += "  " + VideoFigures(state);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    media.RequireVideo(options.duration_s);
    return kExitOk;
}

int Listen(const MediaOptions& options) {
    CatchStopSignals();
    MediaSession media(options);
    if (!VelqChn_AudioPlay(media.channel(0))) throw Failure{"cannot start the audio"};
    media.Run(options.duration_s, nullptr, [&](int elapsed_s) {
        std::fprintf(stderr, "velq: listening to %s channel %d: %d s, %d kbit/s\n", options.device.c_str(),
                     options.channels[0], elapsed_s, media.channels()[0].audio_kbps);
    });
    media.RequireTraffic("audio", options.duration_s);
    return kExitOk;
}

int Talk(const MediaOptions& options) {
    if (!options.file.empty()) {
        if (!std::ifstream(options.file)) throw Failure{"cannot read " + options.file};
        // The session opens the microphone backend named here when talk starts.
        setenv("CORVEL_SOUND_IN", ("wav:" + options.file).c_str(), 1);
    }
    CatchStopSignals();
    MediaSession media(options);
    if (!VelqChn_TalkStart(media.channel(0))) throw Failure{"cannot start talking"};
    media.Run(options.duration_s, nullptr, [&](int elapsed_s) {
        std::fprintf(stderr, "velq: talking to %s channel %d: %d s, %ld kbit/s\n", options.device.c_str(),
                     options.channels[0], elapsed_s, static_cast<long>(media.channels()[0].kbps));
    });
    media.RequireTraffic("talk stream", options.duration_s);
    return kExitOk;
}

}  // namespace velq

// SPDX-License-Identifier: GPL-3.0-or-later
// velq: the command-line client. Exit status 0 on success, 1 when the command failed, 2 for a usage error,
// 3 from `info` for an AVI without its time file; every failure is one line on standard error.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "client.h"
#include "corvel/corvel.h"
#include "info.h"
#include "media.h"
#include "signals.h"

namespace {

using velq::CommonOptions;
using velq::Failure;

struct Usage {
    std::string message;
};

const char kHelp[] =
    "usage: velq COMMAND [arguments] [options]\n"
    "\n"
    "commands:\n"
    "  devices                          log in, print the server's devices as a table\n"
    "  watch [--seconds N]              print every event until interrupted (or N seconds)\n"
    "  control DEVICE CHANNEL TYPE [VALUE [VALUE2]]\n"
    "                                   send a control request; TYPE is 129..142 or one of get-resolution,\n"
    "                                   set-resolution, get-frame-rate, set-frame-rate, get-quality,\n"
    "                                   set-quality, get-bit-rate, set-bit-rate, ptz\n"
    "  add DEVICE [--vehicle V] [--driver D] [--channels N]\n"
    "                                   add a device to the server\n"
    "  modify DEVICE [--vehicle V] [--driver D]\n"
    "                                   change a device's vehicle id and driver\n"
    "  gprmc SENTENCE                   parse a $GPRMC sentence\n"
    "  record DEVICE CHANNEL FILE [--split S] [--pre-seconds N [--start-after S]]\n"
    "                                   record the channel into an AVI file (with --split, files of at most\n"
    "                                   S seconds named FILE-YYYY-MM-DD-HH-MM-SS.avi); progress on stderr.\n"
    "                                   With --pre-seconds the channel plays first, keeping its last N\n"
    "                                   seconds (1..60), and the recording starts with them on SIGUSR1 or\n"
    "                                   after --start-after S seconds (default N); --duration then counts\n"
    "                                   from the start of the recording\n"
    "  info FILE.avi                    print a recording's start, end (local time), duration, frames and\n"
    "                                   gaps from the AVI and its time file FILE.avi.times; exit status 3\n"
    "                                   when the time file is missing (times unknown)\n"
    "  snapshot DEVICE CHANNEL FILE     play the channel and save one picture as "
    "FILE-YYYY-MM-DD-HH-MM-SS.bmp;\n"
    "                                   prints the name written (--duration: how long to wait, 10)\n"
    "  play DEVICE CHANNEL...           play channels without showing them; statistics once a second\n"
    "  listen DEVICE CHANNEL            play the device's audio; the sound output is the backend named by\n"
    "                                   CORVEL_SOUND_OUT (auto, portaudio, null, wav:FILE)\n"
    "  talk DEVICE CHANNEL [--wav FILE] talk to the device; the microphone is FILE (looped) with --wav, "
    "else\n"
    "                                   the backend named by CORVEL_SOUND_IN (auto, portaudio, null, "
    "wav:FILE)\n"
    "\n"
    "record, play, listen and talk run until Ctrl-C or --duration S seconds; they fail when no video (or\n"
    "audio, or talk traffic) came through by then, e.g. for an offline device.\n"
    "\n"
    "options:\n"
    "  --server HOST       center server (127.0.0.1)\n"
    "  --tcp-port N        its TCP port (24680)\n"
    "  --udp-port N        its UDP port (24681)\n"
    "  --user NAME         account (orvi)\n"
    "  --password TEXT     password (480913)\n"
    "  --timeout-ms N      how long to wait for an answer (10000)\n"
    "  --duration S        media commands: run for S seconds\n"
    "  --help              this text\n";

int64_t Number(const std::string& text, int64_t low, int64_t high, const std::string& what) {
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || value < low ||
        value > high) {
        throw Usage{what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                    ": " + text};
    }
    return value;
}

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> extra;  // command options such as --vehicle
    CommonOptions common;
    bool help = false;
};

Arguments Parse(int argc, char** argv) {
    static const std::vector<std::string> kExtra = {"--vehicle", "--driver",      "--channels",
                                                    "--seconds", "--duration",    "--split",
                                                    "--wav",     "--pre-seconds", "--start-after"};
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            args.help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            if (args.command.empty()) {
                args.command = arg;
            } else {
                args.positional.push_back(arg);
            }
            continue;
        }
        if (i + 1 >= argc) throw Usage{arg + " needs a value"};
        const std::string value = argv[++i];
        if (arg == "--server") {
            args.common.server = value;
        } else if (arg == "--tcp-port") {
            args.common.tcp_port = static_cast<uint16_t>(Number(value, 1, 65535, arg));
        } else if (arg == "--udp-port") {
            args.common.udp_port = static_cast<uint16_t>(Number(value, 1, 65535, arg));
        } else if (arg == "--user") {
            args.common.user = value;
        } else if (arg == "--password") {
            args.common.password = value;
        } else if (arg == "--timeout-ms") {
            args.common.timeout_ms = static_cast<uint32_t>(Number(value, 1, 3600000, arg));
        } else if (std::find(kExtra.begin(), kExtra.end(), arg) != kExtra.end()) {
            args.extra[arg] = value;
        } else {
            throw Usage{"unknown option " + arg};
        }
    }
    return args;
}

std::string ReportTime(int32_t seconds) {
    if (seconds == 0) return "never";
    const time_t t = static_cast<time_t>(static_cast<uint32_t>(seconds));
    tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

int Devices(const Arguments& args) {
    velq::Client client(args.common);
    client.Login();
    const auto devices = client.FetchAll();
    std::printf("%-20s %-16s %-18s %8s %-8s %-19s %s\n", "DEVICE", "VEHICLE", "DRIVER", "CHANNELS", "STATE",
                "LAST REPORT", "POSITION");
    for (const auto& d : devices) {
        std::printf("%-20s %-16s %-18s %8d %-8s %-19s %s\n", d.id.c_str(), d.vehicle.c_str(),
                    d.driver.c_str(), d.channels, d.last_report != 0 ? "online" : "offline",
                    ReportTime(d.last_report).c_str(), d.position.c_str());
    }
    std::printf("%zu devices\n", devices.size());
    return velq::kExitOk;
}

int Watch(const Arguments& args) {
    const auto seconds =
        args.extra.count("--seconds") ? Number(args.extra.at("--seconds"), 1, 86400 * 365, "--seconds") : 0;
    velq::CatchStopSignals();
    velq::Client client(args.common);
    if (!VelqApp_SetCenterServer(client.session(), args.common.server.c_str(), args.common.tcp_port,
                                 args.common.udp_port) ||
        !VelqApp_Login(client.session(), args.common.user.c_str(), args.common.password.c_str())) {
        throw Failure{"cannot start the session"};
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!velq::StopRequested() && (seconds == 0 || std::chrono::steady_clock::now() < end)) {
        const auto event = client.events().Pop(std::chrono::milliseconds(100));
        if (!event) continue;
        std::time_t now = std::time(nullptr);
        char stamp[16];
        std::strftime(stamp, sizeof(stamp), "%H:%M:%S", std::localtime(&now));
        std::printf("%s %3zu %s\n", stamp, static_cast<size_t>(event->code), velq::Describe(*event).c_str());
        std::fflush(stdout);
        if (event->code == VELQ_EV_LOGIN_OK || event->code == VELQ_EV_LOGIN_VERSION) {
            VelqApp_ShowAllDevice(client.session());
        }
        client.Recycle(*event);
        if (event->code == VELQ_EV_BAD_MAGIC || event->code == VELQ_EV_REJECTED)
            throw Failure{velq::Describe(*event)};
    }
    return velq::kExitOk;
}

int ControlType(const std::string& text) {
    static const std::map<std::string, int> kNames = {{"get-resolution", VELQ_CTL_GET_RESOLUTION},
                                                      {"set-resolution", VELQ_CTL_SET_RESOLUTION},
                                                      {"get-frame-rate", VELQ_CTL_GET_FRAME_RATE},
                                                      {"set-frame-rate", VELQ_CTL_SET_FRAME_RATE},
                                                      {"get-quality", VELQ_CTL_GET_QUALITY},
                                                      {"set-quality", VELQ_CTL_SET_QUALITY},
                                                      {"get-bit-rate", VELQ_CTL_GET_BIT_RATE},
                                                      {"set-bit-rate", VELQ_CTL_SET_BIT_RATE},
                                                      {"ptz", VELQ_CTL_PTZ}};
    const auto named = kNames.find(text);
    if (named != kNames.end()) return named->second;
    return static_cast<int>(Number(text, 129, 142, "TYPE"));
}

// Waits for the answer to the one operation queued: event 64 (printed), or 65/66 (a failure).
void AwaitOperation(velq::Client& client) {
    client.WaitFor([&](const velq::Event& e) {
        if (e.code == VELQ_EV_OPERATION_FAILED || e.code == VELQ_EV_OPERATION_REFUSED) {
            throw Failure{velq::Describe(e)};
        }
        if (e.code != VELQ_EV_OPERATION_DONE) return false;
        std::printf("%s\n", velq::Describe(e).c_str());
        client.Recycle(e);
        return true;
    });
}

int Control(const Arguments& args) {
    if (args.positional.size() < 3 || args.positional.size() > 5) {
        throw Usage{"control needs DEVICE CHANNEL TYPE [VALUE [VALUE2]]"};
    }
    const int channel = static_cast<int>(Number(args.positional[1], 0, 1024, "CHANNEL"));
    const int type = ControlType(args.positional[2]);
    const int value = args.positional.size() > 3
                          ? static_cast<int>(Number(args.positional[3], INT32_MIN, INT32_MAX, "VALUE"))
                          : 0;
    const int value2 = args.positional.size() > 4
                           ? static_cast<int>(Number(args.positional[4], INT32_MIN, INT32_MAX, "VALUE2"))
                           : 0;
    velq::Client client(args.common);
    client.Login();
    AppDevice* device = client.FindRegistered(args.positional[0]);
    if (!VelqOpt_QueryControl(device, type, channel, value, value2)) {
        throw Failure{"control request not accepted (channel above the device's channel count?)"};
    }
    AwaitOperation(client);
    return velq::kExitOk;
}

void SetText(AppDevice* device, int code, const std::string& text) {
    if (text.size() > 31) throw Usage{"texts take at most 31 bytes: " + text};
    VelqDev_SetDevInfo(device, code, text.c_str(), static_cast<int>(text.size() + 1));
}

int AddOrModify(const Arguments& args, bool adding) {
    if (args.positional.size() != 1) throw Usage{args.command + " needs DEVICE"};
    const std::string& id = args.positional[0];
    if (id.size() < 4 || id.size() > 63) throw Usage{"DEVICE must have 4 to 63 bytes"};
    const int32_t channels =
        args.extra.count("--channels")
            ? static_cast<int32_t>(Number(args.extra.at("--channels"), 1, 16, "--channels"))
            : 4;
    if (!adding && args.extra.count("--channels")) throw Usage{"modify cannot change the channel count"};
    velq::Client client(args.common);
    client.Login();
    AppDevice* device = nullptr;
    if (adding) {
        for (const auto& known : client.FetchAll()) {
            if (known.id == id) throw Failure{"device " + id + " exists already"};
        }
        device = VelqApp_CreateDevice(client.session(), id.c_str());
        if (device == nullptr) throw Failure{"cannot create the device"};
        VelqDev_SetDevInfo(device, VELQ_DEV_CHANNELS, &channels, sizeof(channels));
    } else {
        device = client.FindRegistered(id);
    }
    if (args.extra.count("--vehicle")) SetText(device, VELQ_DEV_TEXT1, args.extra.at("--vehicle"));
    if (args.extra.count("--driver")) SetText(device, VELQ_DEV_TEXT2, args.extra.at("--driver"));
    if (!VelqOpt_QueryModify(device)) throw Failure{"cannot queue the request"};
    AwaitOperation(client);
    return velq::kExitOk;
}

int Gprmc(const Arguments& args) {
    if (args.positional.size() != 1) throw Usage{"gprmc needs one SENTENCE"};
    double latitude = 0, longitude = 0, speed = 0, course = 0;
    if (!VelqApp_GPRMC(args.positional[0].c_str(), &latitude, &longitude, &speed, &course)) {
        throw Failure{"not a valid $GPRMC fix"};
    }
    std::printf("latitude %.6f longitude %.6f speed %.2f km/h course %.1f\n", latitude, longitude, speed,
                course);
    return velq::kExitOk;
}

// The media commands' arguments: DEVICE, then CHANNEL (several for play), then FILE where one is taken.
velq::MediaOptions MediaArguments(const Arguments& args) {
    const std::string& command = args.command;
    const bool takes_file = command == "record" || command == "snapshot";
    const bool many = command == "play";
    const size_t fixed = takes_file ? 3 : 2;
    if (args.positional.size() < fixed || (!many && args.positional.size() != fixed)) {
        throw Usage{command + " needs DEVICE " + (many ? "CHANNEL..." : "CHANNEL") +
                    (takes_file ? " FILE" : "")};
    }
    if (args.extra.count("--split") && command != "record") throw Usage{"only record takes --split"};
    if (args.extra.count("--wav") && command != "talk") throw Usage{"only talk takes --wav"};
    if ((args.extra.count("--pre-seconds") || args.extra.count("--start-after")) && command != "record")
        throw Usage{"only record takes --pre-seconds and --start-after"};
    if (args.extra.count("--start-after") && !args.extra.count("--pre-seconds"))
        throw Usage{"--start-after needs --pre-seconds"};
    velq::MediaOptions options;
    options.common = args.common;
    options.device = args.positional[0];
    const size_t channels_end = takes_file ? 2 : args.positional.size();
    for (size_t i = 1; i < channels_end; ++i) {
        // The library refuses larger channel numbers: the wire carries them in one byte.
        options.channels.push_back(static_cast<int>(Number(args.positional[i], 1, 255, "CHANNEL")));
    }
    if (takes_file) options.file = args.positional[2];
    if (args.extra.count("--wav")) options.file = args.extra.at("--wav");
    if (args.extra.count("--duration"))
        options.duration_s =
            static_cast<int>(Number(args.extra.at("--duration"), 1, 86400 * 365, "--duration"));
    if (args.extra.count("--split"))
        options.split_s = static_cast<int>(Number(args.extra.at("--split"), 1, 86400, "--split"));
    if (args.extra.count("--pre-seconds")) {
        options.pre_record_s =
            static_cast<int>(Number(args.extra.at("--pre-seconds"), 1, 60, "--pre-seconds"));
        options.start_after_s = options.pre_record_s;
    }
    if (args.extra.count("--start-after"))
        options.start_after_s =
            static_cast<int>(Number(args.extra.at("--start-after"), 0, 86400, "--start-after"));
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Arguments args = Parse(argc, argv);
        if (args.help || args.command.empty()) {
            std::fputs(kHelp, args.help ? stdout : stderr);
            return args.help ? velq::kExitOk : velq::kExitUsage;
        }
        if (args.command == "devices") return Devices(args);
        if (args.command == "watch") return Watch(args);
        if (args.command == "control") return Control(args);
        if (args.command == "add") return AddOrModify(args, true);
        if (args.command == "modify") return AddOrModify(args, false);
        if (args.command == "gprmc") return Gprmc(args);
        if (args.command == "info") {
            if (args.positional.size() != 1) throw Usage{"info needs one FILE.avi"};
            return velq::Info(args.positional[0]);
        }
        if (args.command == "record") return velq::Record(MediaArguments(args));
        if (args.command == "snapshot") return velq::Snapshot(MediaArguments(args));
        if (args.command == "play") return velq::Play(MediaArguments(args));
        if (args.command == "listen") return velq::Listen(MediaArguments(args));
        if (args.command == "talk") return velq::Talk(MediaArguments(args));
        throw Usage{"unknown command " + args.command};
    } catch (const Usage& usage) {
        std::fprintf(stderr, "velq: %s (see velq --help)\n", usage.message.c_str());
        return velq::kExitUsage;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "velq: %s\n", failure.message.c_str());
        return velq::kExitFailed;
    }
}

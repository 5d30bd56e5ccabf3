// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

#include <charconv>

namespace velq_sim {

bool ParseUint(const std::string& text, uint32_t max, uint32_t* value) {
    uint64_t parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || parsed > max) {
        return false;
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool OptionParser::Parse(int argc, char** argv, SimOptions* options, bool* help, std::string* error) const {
    *help = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return true;
        }
        std::string value;
        bool inline_value = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inline_value = true;
        }
        const OptionEntry* entry = nullptr;
        for (const auto& candidate : entries_) {
            if (candidate.name == arg) entry = &candidate;
        }
        if (entry == nullptr) {
            *error = "unknown option " + arg;
            return false;
        }
        if (!entry->argument.empty() && !inline_value) {
            if (i + 1 >= argc) {
                *error = arg + " needs " + entry->argument;
                return false;
            }
            value = argv[++i];
        }
        const std::string problem = entry->apply(*options, value);
        if (!problem.empty()) {
            *error = arg + ": " + problem;
            return false;
        }
    }
    return true;
}

std::string OptionParser::Help(const std::string& program) const {
    std::string text =
        "usage: " + program + " [options]\n\nA simulated center server and fleet on 127.0.0.1.\n\n";
    for (const auto& entry : entries_) {
        std::string left = "  " + entry.name + (entry.argument.empty() ? "" : " " + entry.argument);
        if (left.size() < 30) left.resize(30, ' ');
        text += left + " " + entry.help + "\n";
    }
    text += "  --help                       this text\n";
    return text;
}

namespace {

// An option whose value is a number up to `max`, stored by `store`.
OptionEntry Number(std::string name, std::string help, uint32_t max,
                   std::function<void(SimOptions&, uint32_t)> store) {
    return {std::move(name), "N", std::move(help),
            [max, store](SimOptions& o, const std::string& v) -> std::string {
                uint32_t n = 0;
                if (!ParseUint(v, max, &n)) return "not a number from 0 to " + std::to_string(max) + ": " + v;
                store(o, n);
                return {};
            }};
}

OptionEntry Text(std::string name, std::string argument, std::string help,
                 std::function<void(SimOptions&, const std::string&)> store) {
    return {std::move(name), std::move(argument), std::move(help),
            [store](SimOptions& o, const std::string& v) -> std::string {
                store(o, v);
                return {};
            }};
}

OptionEntry Switch(std::string name, std::string help, std::function<void(SimOptions&)> store) {
    return {std::move(name), "", std::move(help), [store](SimOptions& o, const std::string&) -> std::string {
                store(o);
                return {};
            }};
}

}  // namespace

void AddCenterOptions(OptionParser& parser) {
    parser.Add(Text("--server", "ADDRESS", "IPv4 address to listen on (127.0.0.1)",
                    [](SimOptions& o, const std::string& v) { o.center.bind_address = v; }));
    parser.Add(Number("--tcp-port", "center TCP port, 0 = the kernel picks (24680)", 65535,
                      [](SimOptions& o, uint32_t n) { o.center.tcp_port = static_cast<uint16_t>(n); }));
    parser.Add(Number("--udp-port", "center UDP port, 0 = the kernel picks (24681)", 65535,
                      [](SimOptions& o, uint32_t n) { o.center.udp_port = static_cast<uint16_t>(n); }));
    parser.Add(Text("--ports-file", "FILE", "write \"TCP UDP HTTP\" (the bound ports) to FILE",
                    [](SimOptions& o, const std::string& v) { o.ports_file = v; }));
    parser.Add(Text("--user", "NAME", "account name (orvi)", [](SimOptions& o, const std::string& v) {
        const auto password = o.center.accounts.begin()->second;
        o.center.accounts = {{v, password}};
    }));
    parser.Add(Text("--password", "TEXT", "password of that account (480913)",
                    [](SimOptions& o, const std::string& v) { o.center.accounts.begin()->second = v; }));
    parser.Add({"--server-version", "TEXT", "protocol version the replies carry (V103)",
                [](SimOptions& o, const std::string& v) -> std::string {
                    if (v.size() != 4) return "must be 4 characters";
                    o.center.version = corvel::FourCC(v[0], v[1], v[2], v[3]);
                    return {};
                }});
    parser.Add(Text("--fleet", "FILE", "fleet (and accounts) from a JSON file instead of the built-in one",
                    [](SimOptions& o, const std::string& v) { o.fleet_file = v; }));
    parser.Add(Switch("--save-fleet", "write added and modified devices back to the --fleet file",
                      [](SimOptions& o) { o.save_fleet = true; }));
    parser.Add(Number("--devices", "a generated fleet of N vehicles (load tests)", 10000000,
                      [](SimOptions& o, uint32_t n) { o.generate = n; }));
    parser.Add(Number("--tick-ms", "fleet clock step in ms, 0 = vehicles stand still (1000)", 3600000,
                      [](SimOptions& o, uint32_t n) { o.center.tick_ms = n; }));
    parser.Add(Number("--alarm-percent",
                      "chance per vehicle and step that an alarm word changes (unset: a few percent of the "
                      "vehicles in alarm at a time)",
                      100, [](SimOptions& o, uint32_t n) { o.center.alarm_chance = n / 100.0; }));
    parser.Add(Number("--seed", "seed of the fleet's random changes (1)", 0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.center.seed = n; }));
    parser.Add(Number("--idle-timeout-ms",
                      "close a center connection that sends no request for N ms, 0 = never (60000)",
                      0xFFFFFFFFu, [](SimOptions& o, uint32_t n) { o.center.idle_timeout_ms = n; }));
    parser.Add({"--max-connections", "N", "center connections open at once; more are closed (256)",
                [](SimOptions& o, const std::string& v) -> std::string {
                    uint32_t n = 0;
                    if (!ParseUint(v, 100000, &n) || n == 0) return "not a number from 1 to 100000: " + v;
                    o.center.max_connections = n;
                    return {};
                }});
    parser.Add(Number("--drop-after", "close each connection after N replies", 0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.center.faults.drop_after_replies = n; }));
    parser.Add(Number("--wrong-magic-at", "reply number N of each connection carries a wrong magic",
                      0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.center.faults.wrong_magic_at_reply = n; }));
    parser.Add(Number("--stall-after", "stop answering a connection after N replies", 0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.center.faults.stall_after_replies = n; }));
    parser.Add(Switch("--refuse-connections", "accept connections and close them at once",
                      [](SimOptions& o) { o.center.faults.refuse_connections = true; }));
    parser.Add(Switch("--refuse-requests", "refuse (result 1) every request but the keep-alive",
                      [](SimOptions& o) { o.center.faults.refuse_requests = true; }));
    parser.Add(Switch("--fail-requests", "answer every request but the keep-alive with the failure kind",
                      [](SimOptions& o) { o.center.faults.fail_requests = true; }));
    parser.Add(Switch("--quiet", "log nothing", [](SimOptions& o) {
        o.center.log = false;
        o.transfer.log = false;
    }));
}

void AddTransferOptions(OptionParser& parser) {
    parser.Add(Number("--transfer-port", "transfer server TCP port, 0 = the kernel picks (0)", 65535,
                      [](SimOptions& o, uint32_t n) { o.transfer.port = static_cast<uint16_t>(n); }));
    parser.Add(Switch("--plain-audio", "send audio as plain packets, without the protected pairs",
                      [](SimOptions& o) { o.transfer.protect_audio = false; }));
    parser.Add(Number("--audio-loss-percent", "chance that an audio packet is not sent (0)", 100,
                      [](SimOptions& o, uint32_t n) { o.transfer.audio_loss = n / 100.0; }));
    parser.Add(Text("--talk-wav", "FILE", "write the decoded talk uplink to FILE (WAV)",
                    [](SimOptions& o, const std::string& v) { o.transfer.talk_wav_path = v; }));
    parser.Add(Number("--drop-stream-after", "close each media stream after N packets", 0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.transfer.faults.drop_after_packets = n; }));
    parser.Add(Number("--stall-stream-after", "send nothing more on a stream after N packets", 0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.transfer.faults.stall_after_packets = n; }));
    parser.Add(Number("--skip-sequence-every", "leave out every N-th video packet (a sequence gap)",
                      0xFFFFFFFFu,
                      [](SimOptions& o, uint32_t n) { o.transfer.faults.skip_sequence_every = n; }));
    parser.Add(Switch("--refuse-streams", "refuse every stream request",
                      [](SimOptions& o) { o.transfer.faults.refuse_streams = true; }));
    parser.Add(Switch("--verbose", "also print the video encoder's own lines (statistics of every loop)",
                      [](SimOptions& o) { o.transfer.encoder_log = true; }));
}

}  // namespace velq_sim

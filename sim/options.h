// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Command line of velq-sim. Options are a table of entries, each with its own handler, so another half of
// the simulator adds its switches by adding entries (see AddCenterOptions) without touching the parser.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "center_server.h"
#include "http_server.h"
#include "transfer_server.h"

namespace velq_sim {

struct SimOptions {
    CenterConfig center;
    TransferConfig transfer;
    HttpConfig http;
    std::string fleet_file;   // empty: the built-in fleet
    bool save_fleet = false;  // write added and modified devices back to fleet_file
    uint32_t generate = 0;    // > 0: a generated fleet of that many vehicles instead
    std::string ports_file;   // "TCP UDP HTTP" written here once all are bound
};

struct OptionEntry {
    std::string name;      // "--tcp-port"
    std::string argument;  // placeholder shown in the help, empty for a switch
    std::string help;
    // Applies the value; returns an error text, empty when accepted.
    std::function<std::string(SimOptions&, const std::string& value)> apply;
};

class OptionParser {
  public:
    void Add(OptionEntry entry) { entries_.push_back(std::move(entry)); }
    // Parses argv[1..]; false with `error` set for an unknown option, a missing or a bad value. `help` is set
    // when --help was given (the caller prints Help() and exits 0).
    bool Parse(int argc, char** argv, SimOptions* options, bool* help, std::string* error) const;
    std::string Help(const std::string& program) const;

  private:
    std::vector<OptionEntry> entries_;
};

// The center server's options: ports, accounts, fleet and faults.
void AddCenterOptions(OptionParser& parser);

// The transfer server's and the vehicles' media options: port, audio protection and loss, talk, faults.
void AddTransferOptions(OptionParser& parser);

// The web side's options: its port and the path of the playback page.
void AddHttpOptions(OptionParser& parser);

// Parses a port (0..65535) or a count; false for anything else.
bool ParseUint(const std::string& text, uint32_t max, uint32_t* value);

}  // namespace velq_sim

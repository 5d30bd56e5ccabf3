// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ports file velq-sim writes with --ports-file once its servers are bound: one line of decimal ports
// separated by spaces, the center's TCP port, its UDP port and the HTTP port, in that order. Fields are
// only ever added at the end, so a reader takes the ones it knows and ignores any that follow.
#include <cstdint>
#include <optional>
#include <string>

namespace velq_sim {

struct BoundPorts {
    uint16_t tcp = 0;
    uint16_t udp = 0;
    uint16_t http = 0;  // 0 in a file of an older simulator that wrote two fields
};

// The line as written; no value for anything else (fewer than two ports, a field that is no port).
std::string FormatPortsLine(const BoundPorts& ports);
std::optional<BoundPorts> ParsePortsLine(const std::string& text);

}  // namespace velq_sim

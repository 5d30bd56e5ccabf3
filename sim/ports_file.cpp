// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports_file.h"

#include <sstream>
#include <vector>

#include "options.h"

namespace velq_sim {

std::string FormatPortsLine(const BoundPorts& ports) {
    return std::to_string(ports.tcp) + ' ' + std::to_string(ports.udp) + ' ' + std::to_string(ports.http) +
           '\n';
}

std::optional<BoundPorts> ParsePortsLine(const std::string& text) {
    std::istringstream fields(text.substr(0, text.find('\n')));
    std::vector<uint16_t> ports;
    std::string field;
    while (fields >> field) {
        uint32_t port = 0;
        if (!ParseUint(field, 65535, &port)) return std::nullopt;
        ports.push_back(static_cast<uint16_t>(port));
    }
    if (ports.size() < 2) return std::nullopt;
    BoundPorts bound;
    bound.tcp = ports[0];
    bound.udp = ports[1];
    if (ports.size() > 2) bound.http = ports[2];
    return bound;
}

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line entries of the simulator's web side.
#include "options.h"

namespace velq_sim {

void AddHttpOptions(OptionParser& parser) {
    parser.Add({"--http-port", "N", "HTTP port of the playback page, 0 = the kernel picks (0)",
                [](SimOptions& o, const std::string& v) -> std::string {
                    uint32_t n = 0;
                    if (!ParseUint(v, 65535, &n)) return "not a number from 0 to 65535: " + v;
                    o.http.port = static_cast<uint16_t>(n);
                    return {};
                }});
    parser.Add({"--playback-path", "PATH", "path of the playback page (/playback.aspx)",
                [](SimOptions& o, const std::string& v) -> std::string {
                    if (v.empty() || v[0] != '/') return "must begin with /";
                    o.http.playback_path = v;
                    return {};
                }});
}

}  // namespace velq_sim

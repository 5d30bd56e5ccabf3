// SPDX-License-Identifier: GPL-3.0-or-later
// velq-sim: the simulated platform. Runs until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>

#include "center_server.h"
#include "fleet.h"
#include "options.h"
#include "platform.h"

namespace {

std::optional<velq_sim::Fleet> MakeFleet(velq_sim::SimOptions& options, std::string* error) {
    if (options.generate > 0) return velq_sim::Fleet::Generated(options.generate);
    if (options.fleet_file.empty()) return velq_sim::Fleet::Default();
    auto fleet = velq_sim::Fleet::Load(options.fleet_file, error);
    if (fleet && !fleet->accounts.empty()) options.center.accounts = fleet->accounts;
    if (fleet && options.save_fleet) options.center.save_path = options.fleet_file;
    return fleet;
}

}  // namespace

int main(int argc, char** argv) {
    velq_sim::OptionParser parser;
    velq_sim::AddCenterOptions(parser);
    velq_sim::AddTransferOptions(parser);
    velq_sim::AddHttpOptions(parser);
    velq_sim::SimOptions options;
    bool help = false;
    std::string error;
    if (!parser.Parse(argc, argv, &options, &help, &error)) {
        std::cerr << "velq-sim: " << error << " (see --help)\n";
        return 2;
    }
    if (help) {
        std::cout << parser.Help("velq-sim");
        return 0;
    }
    if (options.save_fleet && options.fleet_file.empty()) {
        std::cerr << "velq-sim: --save-fleet needs --fleet FILE\n";
        return 2;
    }

    // Signals are taken synchronously by this thread; every server thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto fleet = MakeFleet(options, &error);
    if (!fleet) {
        std::cerr << "velq-sim: " << error << '\n';
        return 1;
    }
    options.http.bind_address = options.center.bind_address;
    velq_sim::SimPlatform platform(options.center, options.transfer, std::move(*fleet), options.http);
    if (!platform.Start(&error)) {
        std::cerr << "velq-sim: " << error << '\n';
        return 1;
    }
    velq_sim::CenterServer& center = platform.center();
    std::cout << "tcp " << center.tcp_port() << " udp " << center.udp_port() << " transfer "
              << platform.transfer().port() << " http " << platform.http().port() << std::endl;
    if (!options.ports_file.empty()) {
        // Written under another name and renamed, so a reader never sees half a line. Fields are only ever
        // added at the end, so readers of the first ones keep working.
        const std::string temporary = options.ports_file + ".tmp";
        std::ofstream(temporary) << center.tcp_port() << ' ' << center.udp_port() << ' '
                                 << platform.http().port() << '\n';
        if (std::rename(temporary.c_str(), options.ports_file.c_str()) != 0) {
            std::cerr << "velq-sim: cannot write " << options.ports_file << '\n';
            return 1;
        }
    }
    int received = 0;
    sigwait(&signals, &received);
    platform.Stop();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Geofence checks at fleet scale (geofence_load.h): times the checks of one whole report cycle on the
// checker the client uses, and prints a `targets:` line. position_history prints the same figure in its
// run of the whole history.
// Usage: geofence_checks [CYCLES] [VEHICLES] [ZONES]   (defaults 20 10000 200)
#include <cstdlib>

#include "geofence_load.h"

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int vehicles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
    const int zones = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;
    const geofence_load::Figures figures = geofence_load::Run(cycles, vehicles, zones);
    geofence_load::Print(figures);
    std::printf("targets: all geofence checks of one report cycle <= 20 ms: max %.2f ms of CPU %s\n",
                figures.max_cpu_ms, figures.met() ? "(met)" : "(MISSED)");
    return 0;
}

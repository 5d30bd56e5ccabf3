// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cycle_stop.h"

#include "app/app_settings.h"

CycleStopRules::CycleStopRules(AppSettings& settings, std::function<void()> stop_grid)
    : settings_(settings), stop_grid_(std::move(stop_grid)) {}

bool CycleStopRules::Clicked(Click click) {
    if (!Stops(settings_.CycleStopMode, click)) return false;
    Stop();
    return true;
}

void CycleStopRules::Stop() {
    settings_.CycleDuration = 0;
    if (stop_grid_) stop_grid_();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When automatic page cycling stops. CycleStopMode's bits name the operator's clicks that stop it:
// kDeviceList a click, double-click, right-click or drag start in the device tree; kDisplayWindow a click
// that makes a display window active; kAnywhere a press on the main window's background, or a click or
// drag start in the vehicle list. Stopping sets CycleDuration := 0 in the settings in memory (the settings
// file keeps its value, which the cycle preferences show again) and the grid's countdown := 0; only the
// cycle preferences start it again. UI thread only.
#include <cstdint>
#include <functional>

struct AppSettings;

class CycleStopRules {
  public:
    enum Click : int32_t { kDeviceList = 1, kDisplayWindow = 2, kAnywhere = 4 };
    static constexpr int32_t kDefaultMode = kDeviceList | kDisplayWindow;
    // What the cycle preferences store when "Click Anywhere" is chosen.
    static constexpr int32_t kEveryClick = kDeviceList | kDisplayWindow | kAnywhere;

    static bool Stops(int32_t mode, Click click) { return (mode & click) != 0; }

    // `settings` outlives the rules and is read at every click (the cycle preferences change it);
    // `stop_grid` zeroes the grid's countdown, and must cope with a grid that is gone.
    CycleStopRules(AppSettings& settings, std::function<void()> stop_grid);

    // A click of that kind: true, and cycling stopped, when the settings' mode names it.
    bool Clicked(Click click);
    // Stops cycling whatever the mode.
    void Stop();

  private:
    AppSettings& settings_;
    std::function<void()> stop_grid_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rule that turns a command notification of the device configuration dialog into the camera command
// it sends (query 142, value = command | parameter << 8). One rule object lives as long as the dialog,
// which the main window keeps for the whole run, so its laser and spot flags are the run's.
#include <cstdint>
#include <optional>

struct PtzSettings {
    int32_t speed = 255;  // Ptz_Speed
    int32_t laser = 97;   // Ptz_Laser
    int32_t spot = 92;    // Ptz_Spot
};

class CameraCommandRule {
  public:
    // Control IDs of the dialog's camera buttons.
    static constexpr int kStop = 1199;
    static constexpr int kFirstHold = 1200;  // Up ... IR Close are press-and-hold buttons
    static constexpr int kLastHold = 1213;
    static constexpr int kPresetDel = 1218;
    static constexpr int kLaser = 1084;
    static constexpr int kSpot = 1085;
    // Notification codes: an ordinary click, and a press-and-hold button's press and release.
    static constexpr int kClicked = 0;
    static constexpr int kPressed = 2;
    static constexpr int kReleased = 3;

    // The value to send for a notification of `control_id` with `code`; nullopt when nothing is sent.
    // `preset` is the preset edit's number (commands 17 to 19). A press-and-hold button moves on its press
    // and stops on its release; the ordinary click that follows the release sends nothing, so the camera
    // does not move again after the stop. Laser and Spot toggle their flag on each click (17 when it turns
    // on, 18 when it turns off; both start on).
    std::optional<int32_t> ValueFor(int control_id, int code, int32_t preset, const PtzSettings& settings);

    bool laser_on() const { return laser_on_; }
    bool spot_on() const { return spot_on_; }

  private:
    bool laser_on_ = true;
    bool spot_on_ = true;
};

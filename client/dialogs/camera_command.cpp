// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/camera_command.h"

namespace {

int32_t Pack(int32_t command, int32_t parameter) {
    return command | static_cast<int32_t>(static_cast<uint32_t>(parameter) << 8);
}

}  // namespace

std::optional<int32_t> CameraCommandRule::ValueFor(int control_id, int code, int32_t preset,
                                                   const PtzSettings& settings) {
    if (control_id >= kStop && control_id <= kPresetDel) {
        const bool hold_button = control_id >= kFirstHold && control_id <= kLastHold;
        if (code == kReleased) return Pack(0, settings.speed);
        if (hold_button && code != kPressed) return std::nullopt;  // the click after a release
        if (!hold_button && code != kClicked) return std::nullopt;
        const int32_t command = control_id - kStop;
        return Pack(command, command >= 17 ? preset : settings.speed);
    }
    if ((control_id == kLaser || control_id == kSpot) && code == kClicked) {
        bool& flag = control_id == kLaser ? laser_on_ : spot_on_;
        flag = !flag;
        return Pack(flag ? 17 : 18, control_id == kLaser ? settings.laser : settings.spot);
    }
    return std::nullopt;
}

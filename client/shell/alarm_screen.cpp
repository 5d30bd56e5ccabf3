// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/alarm_screen.h"

#include "app/own_settings.h"

AlarmScreen::AlarmScreen(OwnSettings& own) : own_(own) {
    const int kept = own_.ReadInt(kKey, 0);
    chosen_ = kept >= 0 && kept <= kMaxScreen ? kept : 0;
}

bool AlarmScreen::Choose(int screen) {
    if (screen < 0 || screen > kMaxScreen) return false;
    chosen_ = screen;
    return own_.WriteInt(kKey, screen);
}

int AlarmScreen::Target(int screen_count, int main_screen) const {
    if (chosen_ < 1 || chosen_ > screen_count || chosen_ == main_screen) return 0;
    return chosen_;
}

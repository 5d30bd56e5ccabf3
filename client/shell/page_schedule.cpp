// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/page_schedule.h"

bool PageSchedule::Want(const QString& path) {
    pending_ = path;
    return waiting() && listed_ == 0;
}

bool PageSchedule::ListBegins(int devices) {
    if (listed_ >= 0) return false;
    listed_ = devices;
    return devices == 0 && waiting();
}

bool PageSchedule::DevicesListed(int devices) {
    return waiting() && listed_ >= 0 && devices >= listed_;
}

bool PageSchedule::Tick() {
    return waiting() && listed_ >= 0 && ++ticks_ >= kWaitTicks;
}

QString PageSchedule::Take() {
    QString path;
    path.swap(pending_);
    return path;
}

void PageSchedule::LoggedOut() {
    listed_ = -1;
    ticks_ = 0;
}

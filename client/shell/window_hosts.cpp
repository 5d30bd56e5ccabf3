// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window_hosts.h"

#include "app/session_controller.h"

AppSession* WindowLoginHost::session() const {
    return session_.session();
}

bool WindowLoginHost::SessionActive() const {
    return session_.session() && session_.LoggedIn();
}

void WindowLoginHost::AfterLogout(std::function<void()> login) {
    session_.AfterLogout(std::move(login));
}

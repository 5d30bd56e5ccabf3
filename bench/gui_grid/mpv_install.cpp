// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpv_install.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <cstdio>

bool EnsureMpv() {
    if (!QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty()) return true;
    std::printf("mpv is not installed: installing it for the comparison (apt-get install mpv)\n");
    std::fflush(stdout);
    QProcess apt;
    apt.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
    apt.setProcessEnvironment(env);
    apt.start(QStringLiteral("apt-get"),
              {QStringLiteral("install"), QStringLiteral("-y"), QStringLiteral("-q"), QStringLiteral("mpv")});
    apt.waitForFinished(600000);
    return !QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty();
}

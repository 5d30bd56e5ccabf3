// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quit_on_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace {

// [0] is written by the handler, [1] read on the UI thread. Plain ints: the handler may touch nothing else.
int g_signal_fds[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signal_fds[0], &byte, 1);
}

void SetHandler(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // SIGHUP too: a closed terminal or an ended login session ends the client as SIGTERM does, with its
    // recordings closed, instead of the default action killing it mid-write.
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
    if (g_signal_fds[0] >= 0) return;  // another one is installed
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_fds) != 0) return;
    notifier_ = new QSocketNotifier(g_signal_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::OnReadable);
    SetHandler(OnSignal);
}

QuitOnSignals::~QuitOnSignals() {
    if (!notifier_) return;
    SetHandler(SIG_DFL);
    delete notifier_;
    ::close(g_signal_fds[0]);
    ::close(g_signal_fds[1]);
    g_signal_fds[0] = g_signal_fds[1] = -1;
}

void QuitOnSignals::OnReadable() {
    char byte;
    [[maybe_unused]] const ssize_t got = ::read(g_signal_fds[1], &byte, 1);
    emit received();
    // exit(), not quit(): quit() closes every window first, from inside whatever nested loop is running,
    // and would delete a modal dialog or a tile under its own handler. exit() makes every running loop
    // return; the teardown follows once the outermost exec() has.
    QCoreApplication::exit(0);
}

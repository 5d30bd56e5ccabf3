// SPDX-License-Identifier: GPL-3.0-or-later
#include "signals.h"

#include <csignal>

namespace velq {
namespace {

// Written only by the signal handler; a signal handler can reach nothing but a static.
volatile std::sig_atomic_t g_stop_requested = 0;
volatile std::sig_atomic_t g_start_requested = 0;

void OnStopSignal(int) {
    g_stop_requested = 1;
}

void OnStartSignal(int) {
    g_start_requested = 1;
}

}  // namespace

void CatchStopSignals() {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() {
    return g_stop_requested != 0;
}

void CatchStartSignal() {
    std::signal(SIGUSR1, OnStartSignal);
}

bool StartRequested() {
    return g_start_requested != 0;
}

}  // namespace velq

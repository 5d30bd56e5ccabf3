// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl-C and SIGTERM as a request to end: the long-running commands poll it from the main thread and
// then stop their transfers and close their files as on a normal end.

namespace velq {

// Installs the handlers for SIGINT and SIGTERM; call once from the main thread before the loop.
void CatchStopSignals();
// True once SIGINT or SIGTERM arrived.
bool StopRequested();
// Installs the handler for SIGUSR1, the request to start a recording that waits for it.
void CatchStartSignal();
// True once SIGUSR1 arrived.
bool StartRequested();

}  // namespace velq

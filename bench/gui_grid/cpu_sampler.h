// SPDX-License-Identifier: GPL-3.0-or-later
// CPU time of whole processes and of their main threads, from the scheduler's exact run time of every
// thread (/proc/PID/task/TID/schedstat; stat's tick-sampled times miss threads that run briefly and often).
#pragma once

#include <QtGlobal>
#include <vector>

struct CpuSample {
    double wall_s = 0;   // monotonic clock
    double total_s = 0;  // every thread of the processes
    double main_s = 0;   // their main threads (the UI thread of a Qt program)
};

CpuSample SampleProcesses(const std::vector<qint64>& pids);

// A process and every process below it (the web view's helper processes of a client), but for `except`.
std::vector<qint64> ProcessTree(qint64 root, qint64 except);

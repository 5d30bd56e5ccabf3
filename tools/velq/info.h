// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `velq info FILE.avi`: what a recording holds and when it was made, from the AVI itself (read with
// libavformat) and the time file beside it (corvel/record_times.h). Needs no server.
#include <string>

namespace velq {

// Exit status of `velq info` for an AVI without a readable time file: its frames and duration are printed,
// its wall-clock times are unknown.
inline constexpr int kExitNoTimes = 3;

// Prints start, end, duration, frames and gaps of `path` on standard output; throws Failure for a file
// that is missing, unreadable or not an AVI with a video stream.
int Info(const std::string& path);

}  // namespace velq

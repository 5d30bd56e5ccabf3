// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How soon the UI thread runs when it wakes. It needs little CPU (a paint per repaint-clock tick, about
// 5 % of a core at 64 tiles) but must run within a few milliseconds of its timer: the pictures of a whole
// grid wait for that paint. Under load it shared the CPU with the channels' video threads and everything
// else on the machine and waited behind them for up to 100 ms, although it was not busy (its long events
// were nine tenths off the CPU). Linux's fair scheduler (6.12 and later) lets any thread ask for a shorter
// time slice, without privileges: its share of the CPU stays what its weight gives, but its deadline
// comes sooner, so that when it wakes it takes the CPU from a thread with a longer slice instead of
// waiting for that slice to end. Elsewhere, and on older kernels, the request changes nothing.
#include <cstdint>

namespace ui_thread_latency {

// The UI thread's slice: below the kernel's default (0.7 ms times 1 + log2 of the CPUs, 1.4 ms on two) and
// long enough for a tile's paint to rarely span two slices.
constexpr int64_t kUiSlice_ns = 1'000'000;

// The calling thread asks for `slice_ns` (0: the kernel's default again). False when refused (not Linux,
// a policy other than the fair one, a kernel without the call); the thread then keeps its slice. A kernel
// before 6.12 takes the request and ignores it. Any thread, for itself.
bool RequestSlice(int64_t slice_ns);

// The calling thread's slice as the kernel reports it (its default when none was asked for); 0 when not
// known on this system.
int64_t Slice_ns();

}  // namespace ui_thread_latency

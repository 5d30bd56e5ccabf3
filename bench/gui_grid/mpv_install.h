// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison player, fetched on first use: benchmarks that measure against mpv install it themselves, so
// that a fresh machine runs them without a set-up step of their own.
#pragma once

// Installs mpv with apt-get when it is missing (blocks up to 10 minutes); false when it is still missing.
bool EnsureMpv();

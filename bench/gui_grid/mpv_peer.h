// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison: the same stream played by independent mpv processes on the same display.
#pragma once

#include <QString>

struct PeerFigures {
    double cpuPerSecond = 0;         // CPU seconds per second of all players together
    double mainThreadPerSecond = 0;  // of their main threads
    double dropped = 0;              // frames the players' video outputs dropped in the window
    int answered = 0;                // players that reported their drop count
    int running = 0;                 // players still running at the end
};

// The simulator's CIF loop written into folder as a Matroska file of 25 frames a second; empty on failure.
QString WriteSimulatorStream(const QString& folder);
// `count` players tiled over the display, looping the stream; measured for `seconds` after a warm-up.
PeerFigures RunMpvPeers(const QString& stream, const QString& folder, int count, int seconds);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <limits>

namespace corvel {

// Keeps the sound waiting in a live stream's audio buffer from standing. A live stream's frames arrive as
// fast as they are played, so sound that once piled up there (at the stream's start, behind a device or
// an audio thread that stalled, after a burst that followed a network pause) would wait for good, and
// every later frame would be heard that much later. Network jitter makes the waiting sound swing, which
// is no backlog: what counts is its floor over a window of played sound. A floor above kStandingBoundMs
// is cut by dropping the oldest waiting frames whole, between frames, as far as it goes without leaving
// nothing to play.
//
// Threads: the audio thread only; nothing is locked.
class ListenBacklog {
  public:
    // Sound that stands above this for a whole window is cut, all of it: a standing frame is latency
    // that the window showed no jitter to need.
    static constexpr uint32_t kStandingBoundMs = 40;
    // The played sound over which the floor is taken: it holds at least two frames of every codec, so one
    // of them is taken just before the next protected packet pair arrives (the pairs of the slowest codec
    // come 960 ms apart); short, so that the backlog a device's start leaves goes within about a second.
    static constexpr uint32_t kWindowMs = 1000;

    // The player has taken the oldest waiting frame, which lasts frame_ms, with waiting_ms of sound behind
    // it. True: the frame is dropped unheard (and counted), and the next one is asked about. False: it is
    // played, and counts for the window.
    bool Drop(uint32_t frame_ms, uint32_t waiting_ms);
    // A new stream: the window starts again; the count of dropped frames stays.
    void Restart();
    uint64_t dropped_frames() const { return dropped_frames_; }
    uint64_t dropped_ms() const { return dropped_ms_; }

  private:
    uint32_t window_ms_ = 0;
    uint32_t floor_ms_ = std::numeric_limits<uint32_t>::max();
    uint32_t cut_left_ms_ = 0;
    uint64_t dropped_frames_ = 0;
    uint64_t dropped_ms_ = 0;
};

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grid's page sources with their stops off the UI thread: a page left by cycling stops its video
// sources on the channel stopper's worker, and a source started while a stop of its channel is still
// pending starts once that stop has ended (a start never races the stop of its own channel in the
// library). UI thread.
#include "app/channel_stopper.h"
#include "grid/grid_model.h"

class StoppingSources final : public GridSources {
  public:
    // `stopper` outlives this.
    explicit StoppingSources(ChannelStopper& stopper) : stopper_(stopper) {}

    void SourceStart(AppChannel* channel) override;
    void SourceStop(AppChannel* channel) override;
    bool IsRecording(AppChannel* channel) override { return library_.IsRecording(channel); }
    void OnTimer(AppChannel* channel) override { library_.OnTimer(channel); }

  private:
    ChannelStopper& stopper_;
    LibrarySources library_;
};

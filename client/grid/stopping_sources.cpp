// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/stopping_sources.h"

void StoppingSources::SourceStart(AppChannel* channel) {
    // A start still waiting when the channel is released is cancelled by the release's own stop, so the
    // handle is still this channel's when the start runs.
    stopper_.StartAfterStops(ChannelStopper::KeyOf(channel), [channel] { VelqChn_VSourceStart(channel); });
}

void StoppingSources::SourceStop(AppChannel* channel) {
    stopper_.Stop(ChannelStopper::KeyOf(channel), [channel] { VelqChn_VSourceStop(channel); });
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/shared_channels.h"

#include <algorithm>

#include "grid/dev_show_dlg.h"

void ChannelFanOut::Add(std::shared_ptr<TileSink> sink) {
    std::lock_guard lock(mutex_);
    sinks_.push_back(std::move(sink));
}

void ChannelFanOut::Remove(const TileSink* sink) {
    std::lock_guard lock(mutex_);
    std::erase_if(sinks_, [sink](const std::shared_ptr<TileSink>& s) { return s.get() == sink; });
}

size_t ChannelFanOut::Count() const {
    std::lock_guard lock(mutex_);
    return sinks_.size();
}

void ChannelFanOut::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    for (const auto& sink : sinks_) sink->PostMessage(message, wParam, lParam);
}

VelqPixelFormat ChannelFanOut::PreferredFormat() const {
    std::lock_guard lock(mutex_);
    return sinks_.empty() ? VELQ_PIX_BGRA32 : sinks_.front()->PreferredFormat();
}

VelqPresentResult ChannelFanOut::PresentPicture(const VelqPicture& picture) {
    std::lock_guard lock(mutex_);
    if (sinks_.empty()) return VELQ_PRESENT_OK;
    const VelqPresentResult first = sinks_.front()->PresentPicture(picture);
    for (size_t i = 1; i < sinks_.size(); ++i) sinks_[i]->PresentPicture(picture);
    presented_.fetch_add(1, std::memory_order_relaxed);
    return first;
}

SharedChannels::SharedChannels(ChannelStopper& stopper, GridSources& sources, Keep keep)
    : stopper_(stopper), sources_(sources), keep_(std::move(keep)) {}

// The channels still open belong to tiles that release them themselves (their destruction).
SharedChannels::~SharedChannels() = default;

void SharedChannels::Show(CDevShowDlg* tile, Key key, const void* grid, const Open& open) {
    std::shared_ptr<Entry>& slot = state_->entries[key];
    const bool first = !slot;
    if (first) slot = std::make_shared<Entry>();
    Entry& entry = *slot;
    entry.viewers.push_back({tile, tile->Sink(), grid});
    entry.fan_out->Add(tile->Sink());
    if (!first) {
        tile->channel = entry.channel;
        // The camera's source may be off while every other grid hides its page.
        if (entry.channel && entry.showing.empty()) sources_.SourceStart(entry.channel);
        entry.showing.insert(grid);
        return;
    }
    entry.showing.insert(grid);
    keep_(entry.fan_out);
    // Opens once the camera's earlier stop has ended, unless every tile has left by then (the entry is
    // gone, or replaced by a later one of the same camera).
    stopper_.StartAfterStops(
        key, [state = std::weak_ptr<State>(state_), key, weak = std::weak_ptr<Entry>(slot), open] {
            const std::shared_ptr<State> alive = state.lock();
            const std::shared_ptr<Entry> wanted = weak.lock();
            if (!alive || !wanted) return;
            const auto it = alive->entries.find(key);
            if (it == alive->entries.end() || it->second != wanted) return;
            Opened(*wanted, open);
        });
}

void SharedChannels::Opened(Entry& entry, const Open& open) {
    entry.channel = open(entry.fan_out.get());
    for (const Viewer& viewer : entry.viewers) {
        // Only a tile still bound by the same binding it joined with.
        if (viewer.tile && viewer.tile->Sink() == viewer.sink.lock()) viewer.tile->channel = entry.channel;
    }
}

AppChannel* SharedChannels::Leave(CDevShowDlg* tile, Key key) {
    const auto it = state_->entries.find(key);
    const std::shared_ptr<TileSink> sink = tile->Sink();
    AppChannel* detached = tile->DetachChannel();
    if (it == state_->entries.end()) return detached;  // never shared: the tile's own
    Entry& entry = *it->second;
    const auto viewer = std::find_if(entry.viewers.begin(), entry.viewers.end(),
                                     [tile](const Viewer& v) { return v.tile == tile; });
    if (viewer == entry.viewers.end()) return detached;
    const void* grid = viewer->grid;
    entry.viewers.erase(viewer);
    entry.fan_out->Remove(sink.get());
    if (std::none_of(entry.viewers.begin(), entry.viewers.end(),
                     [grid](const Viewer& v) { return v.grid == grid; }))
        entry.showing.erase(grid);
    if (!entry.viewers.empty()) {
        if (entry.channel && entry.showing.empty() && !sources_.IsRecording(entry.channel))
            sources_.SourceStop(entry.channel);
        return nullptr;
    }
    AppChannel* channel = entry.channel;
    state_->entries.erase(it);
    return channel;
}

SharedChannels::Entry* SharedChannels::EntryOf(const AppChannel* channel) const {
    if (!channel) return nullptr;
    for (const auto& [key, entry] : state_->entries) {
        if (entry->channel == channel) return entry.get();
    }
    return nullptr;
}

void SharedChannels::SourceStart(const void* grid, AppChannel* channel) {
    Entry* entry = EntryOf(channel);
    if (!entry) {
        sources_.SourceStart(channel);
        return;
    }
    // Started again when no grid showed it: a start of an already running source costs nothing, and the
    // Record command relies on this call to bring back a source that cycling stopped.
    entry->showing.insert(grid);
    sources_.SourceStart(channel);
}

void SharedChannels::SourceStop(const void* grid, AppChannel* channel) {
    Entry* entry = EntryOf(channel);
    if (!entry) {
        sources_.SourceStop(channel);
        return;
    }
    entry->showing.erase(grid);
    if (entry->showing.empty()) sources_.SourceStop(channel);
}

void SharedChannels::OnTimer(const void* grid, AppChannel* channel) {
    const Entry* entry = EntryOf(channel);
    if (entry && !entry->viewers.empty() && entry->viewers.front().grid != grid) return;
    sources_.OnTimer(channel);
}

size_t SharedChannels::Viewers(Key key) const {
    const auto it = state_->entries.find(key);
    return it == state_->entries.end() ? 0 : it->second->viewers.size();
}

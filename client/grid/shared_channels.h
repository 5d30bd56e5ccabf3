// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One library channel per camera, however many tiles show it. The first tile that shows a camera (device,
// channel number) opens its channel; a tile of another grid (another screen) showing the same camera
// joins it and gets the same pictures; the channel stops when its last tile leaves. The library presents
// into a fan-out that copies each picture into every joined tile's frame on the channel's video thread.
//
// Threads: everything but ChannelFanOut's VelqWindow side is called on the UI thread. The fan-out's lock
// is held while a picture is copied into the tiles' frames; the UI thread takes it only to join or leave
// a tile (a list change), never to paint, so a video thread never waits for the UI thread's work.
#include <QPointer>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "app/channel_stopper.h"
#include "corvel/corvel.h"
#include "corvel/window.h"
#include "grid/grid_model.h"
#include "grid/tile_sink.h"

class CDevShowDlg;

// What the library is given for a shared channel: the sinks of the tiles that show it.
class ChannelFanOut final : public VelqWindow {
  public:
    // UI thread.
    void Add(std::shared_ptr<TileSink> sink);
    void Remove(const TileSink* sink);
    size_t Count() const;
    // Pictures handed over to at least one tile.
    uint64_t Presented() const { return presented_.load(std::memory_order_relaxed); }

    // Any library thread: every joined sink gets the message or a copy of the picture (each sink drops it
    // once its tile has gone). The result is the first sink's, so that a tile that cannot show makes the
    // presenter try again; OK with no sink.
    void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    VelqPixelFormat PreferredFormat() const override;
    VelqPresentResult PresentPicture(const VelqPicture& picture) override;

  private:
    mutable std::mutex mutex_;  // guards sinks_; held while the sinks copy a picture
    std::vector<std::shared_ptr<TileSink>> sinks_;
    std::atomic<uint64_t> presented_{0};
};

class SharedChannels {
  public:
    using Key = ChannelStopper::Key;
    // Makes and plays the camera's channel presenting into `target`; null when the library cannot.
    using Open = std::function<AppChannel*(VelqWindow* target)>;
    // Keeps what a channel presents into until no library thread can use it (the session's Keep).
    using Keep = std::function<void(std::shared_ptr<void>)>;

    // `stopper` orders opens after the stops of the same camera; `sources` starts and stops the video
    // source when the first grid shows the channel on its page or the last one hides it. Both outlive
    // this.
    SharedChannels(ChannelStopper& stopper, GridSources& sources, Keep keep);
    ~SharedChannels();
    SharedChannels(const SharedChannels&) = delete;
    SharedChannels& operator=(const SharedChannels&) = delete;

    // `tile`, just bound to the camera `key` (BeginChannel), of the grid `grid`, shows it: it joins the
    // camera's open channel (tile->channel set now), or the first tile opens it through `open` once no
    // stop of the camera is pending (tile->channel set then, on every tile still bound to it).
    void Show(CDevShowDlg* tile, Key key, const void* grid, const Open& open);
    // The tile stops showing the camera: it is detached at once (DetachChannel). Returns the channel when
    // it was the camera's last tile (the caller stops and releases it, off this thread), else null.
    AppChannel* Leave(CDevShowDlg* tile, Key key);

    // The grids' page sources: `grid`'s page shows (on) or hides (off) the channel. The video source runs
    // while any grid shows it; a channel not shared here goes straight to the sources.
    void SourceStart(const void* grid, AppChannel* channel);
    void SourceStop(const void* grid, AppChannel* channel);
    // The channel's once-a-second tick, for the first of its tiles' grids only (the library counts its
    // statistics per tick).
    void OnTimer(const void* grid, AppChannel* channel);
    GridSources& Sources() { return sources_; }

    // Cameras with a channel open or opening, and the tiles that show `key`.
    size_t Cameras() const { return state_->entries.size(); }
    size_t Viewers(Key key) const;

  private:
    struct Viewer {
        QPointer<CDevShowDlg> tile;
        std::weak_ptr<TileSink> sink;  // the binding the tile joined with
        const void* grid;
    };
    struct Entry {
        std::shared_ptr<ChannelFanOut> fan_out = std::make_shared<ChannelFanOut>();
        AppChannel* channel = nullptr;  // null while opening, or when the library could not make it
        std::vector<Viewer> viewers;
        std::set<const void*> showing;  // grids whose current page shows the channel
    };
    // Shared with the opens still queued on the stopper, which find it gone after this is destroyed.
    struct State {
        std::map<Key, std::shared_ptr<Entry>> entries;
    };
    Entry* EntryOf(const AppChannel* channel) const;
    static void Opened(Entry& entry, const Open& open);

    ChannelStopper& stopper_;
    GridSources& sources_;
    Keep keep_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// One grid's view of SharedChannels as its GridSources. Lives as long as its grid.
class SharedSources final : public GridSources {
  public:
    explicit SharedSources(SharedChannels& channels) : channels_(channels) {}
    void SourceStart(AppChannel* channel) override { channels_.SourceStart(this, channel); }
    void SourceStop(AppChannel* channel) override { channels_.SourceStop(this, channel); }
    bool IsRecording(AppChannel* channel) override { return channels_.Sources().IsRecording(channel); }
    void OnTimer(AppChannel* channel) override { channels_.OnTimer(this, channel); }

  private:
    SharedChannels& channels_;
};

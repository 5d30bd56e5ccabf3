// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Binding a channel node of the device tree to a display window of the grid. UI thread only.
#include <QByteArray>
#include <QString>
#include <functional>

#include "app/session_controller.h"
#include "corvel/corvel.h"
#include "grid/page_tab.h"
#include "grid/shared_channels.h"

class AppSettings;
class CDevShowDlg;
class DevTree;
class GridModel;
class QTreeWidgetItem;

// Opens channel node `channel_item` in `window`: the node shows "playing", the library draws the channel
// into the window's sink (kept by `session`) with the background, verbosity and buffer of `settings`. A
// channel the library cannot make leaves the window bound to the node without a channel, so that Play on the
// node or a logout frees it. While the same camera is still stopping (the session's stopper), the window
// stays bound without a channel until the stop has ended, and the channel opens then. A camera another
// grid (`grid` is this window's, as `channels` knows it) already shows is not opened again: the window
// joins its channel.
void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window,
                     const AppSettings& settings, SessionController& session, SharedChannels& channels,
                     const void* grid);
// Closes what `window` shows, at once; its node shows idle again unless another grid still shows the
// camera. The library's stop of the camera's last tile runs on `stopper`'s worker.
void StopTreeChannel(DevTree& tree, CDevShowDlg* window, ChannelStopper& stopper, SharedChannels& channels);

// The device's audio plays (its record's audio channel).
bool DeviceAudioPlaying(const DevTree& tree, AppDevice* device);
// Talk is open to the device; with none, to any device of the tree.
bool DeviceTalking(const DevTree& tree, AppDevice* device);

// What the grid asks of its owner (PageTabOwner), answered from the device tree; what needs the window
// (selection, the channel menu, the log, the channel commands) goes to the functions it is given.
class TreeGridOwner : public PageTabOwner {
  public:
    struct WindowSide {
        std::function<void(QTreeWidgetItem*)> select_node;
        std::function<void(QTreeWidgetItem*)> show_channel_menu;
        std::function<void(int)> run_channel_command;
        std::function<void(const QString&)> log;
    };
    // `tree`, `settings`, `session` and `channels` outlive this; `sources` is the grid's view of
    // `channels` (made with it, it lives as long as the grid).
    TreeGridOwner(DevTree& tree, const AppSettings& settings, SessionController& session,
                  SharedChannels& channels, WindowSide window)
        : tree_(tree),
          settings_(settings),
          session_(session),
          channels_(channels),
          sources_(channels),
          window_(std::move(window)) {}

    void PlayChannel(QTreeWidgetItem* channel_item, CDevShowDlg* window) override {
        PlayTreeChannel(tree_, channel_item, window, settings_, session_, channels_, &sources_);
    }
    void StopChannel(CDevShowDlg* window) override {
        StopTreeChannel(tree_, window, session_.stopper(), channels_);
    }
    // What the grid is to start and stop its pages' video sources with.
    GridSources* Sources() { return &sources_; }
    void SelectDeviceNode(QTreeWidgetItem* node) override { window_.select_node(node); }
    void ShowChannelMenu(QTreeWidgetItem* node) override { window_.show_channel_menu(node); }
    void RunChannelCommand(int command) override { window_.run_channel_command(command); }
    void AddLogLine(const QString& message) override { window_.log(message); }
    QTreeWidgetItem* FindChannelNode(const QByteArray& device_id, int channel) override;
    bool AudioPlaying(AppDevice* device) override { return DeviceAudioPlaying(tree_, device); }
    QTreeWidgetItem* ChannelNode(int device, int channel) override;
    bool Talking(AppDevice* device) override { return DeviceTalking(tree_, device); }
    QTreeWidgetItem* SelectedNode() override;

  private:
    DevTree& tree_;
    const AppSettings& settings_;
    SessionController& session_;
    SharedChannels& channels_;
    SharedSources sources_;
    WindowSide window_;
};

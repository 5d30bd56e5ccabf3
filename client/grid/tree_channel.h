// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Binding a channel node of the device tree to a display window of the grid. UI thread only.
#include <QByteArray>
#include <QString>
#include <functional>

#include "app/session_controller.h"
#include "corvel/corvel.h"
#include "grid/page_tab.h"

class AppSettings;
class CDevShowDlg;
class DevTree;
class GridModel;
class QTreeWidgetItem;

// Opens channel node `channel_item` in `window`: the node shows "playing", the library draws the channel
// into the window's sink (kept by `session`) with the background, verbosity and buffer of `settings`. A
// channel the library cannot make leaves the window bound to the node without a channel, so that Play on the
// node or a logout frees it. While the same camera is still stopping (the session's stopper), the window
// stays bound without a channel until the stop has ended, and the channel opens then.
void PlayTreeChannel(DevTree& tree, QTreeWidgetItem* channel_item, CDevShowDlg* window,
                     const AppSettings& settings, SessionController& session);
// Closes what `window` shows, at once; its node shows idle again. The library's stop of the channel runs
// on `stopper`'s worker.
void StopTreeChannel(DevTree& tree, CDevShowDlg* window, ChannelStopper& stopper);

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
    // `tree`, `settings` and `session` outlive this.
    TreeGridOwner(DevTree& tree, const AppSettings& settings, SessionController& session, WindowSide window)
        : tree_(tree), settings_(settings), session_(session), window_(std::move(window)) {}

    void PlayChannel(QTreeWidgetItem* channel_item, CDevShowDlg* window) override {
        PlayTreeChannel(tree_, channel_item, window, settings_, session_);
    }
    void StopChannel(CDevShowDlg* window) override { StopTreeChannel(tree_, window, session_.stopper()); }
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
    WindowSide window_;
};

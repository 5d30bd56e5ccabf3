// SPDX-License-Identifier: GPL-3.0-or-later
// The channel commands (Play, Audio, Talk, Record, Snapshot, Config, Map) as the main window runs them
// from the channel context menu, the grid's tab-strip buttons and a double-click in the tree. They act on
// the tree's selection and the grid's active window. UI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <set>

#include "app/channel_stopper.h"

#include "corvel/corvel.h"
#include "corvel/window.h"
#include "grid/channel_commands.h"

class AppSettings;
class DevTree;
struct DevTreeEntry;
class PageTab;
class QMenu;
class QPoint;
class QTreeWidgetItem;
class QWidget;

// A QObject so that the window's tests find it among the window's children; it sends no signals.
class ChannelActions : public QObject {
    Q_OBJECT
  public:
    // "Open All Channels", our own entry after the documented ones, on a vehicle node's menu only.
    static constexpr int kCommandOpenAllChannels = 0x10001;

    // eventWindow: the window the library posts the audio channels' events to (the main window's).
    // log: the main window's event line. settings: where recordings and snapshots go (read at each
    // command; it outlives this).
    // stopper: where the audio, talk and recording stops run, off the UI thread (it outlives this).
    // parent: the widget the commands belong to. The caller owns this and destroys it before parent.
    ChannelActions(DevTree* tree, PageTab* grid, VelqWindow* eventWindow, const AppSettings& settings,
                   std::function<void(const QString&)> log, ChannelStopper& stopper,
                   QObject* parent = nullptr);

    // The Map command: the map view floats, or docks again.
    void SetMapToggle(std::function<void()> toggle) { map_toggle_ = std::move(toggle); }
    // Config (32775) on the selected node: the main window opens the device dialogs for it.
    void SetConfigCommand(std::function<void(QTreeWidgetItem*)> config) { config_ = std::move(config); }
    // Open All Channels on a selected vehicle node; unset, the entry is not offered.
    void SetOpenAllCommand(std::function<void(QTreeWidgetItem*)> open_all) {
        open_all_ = std::move(open_all);
    }

    // Entries of our own added at the menu's end (the walls' screens); unset, none.
    void SetMoreEntries(std::function<void(QMenu&)> more) { more_ = std::move(more); }

    // The facts the menu's rules look at for a node (none: an empty display window).
    ChannelMenuFacts FactsFor(QTreeWidgetItem* node) const;
    // Shows the channel context menu for the node at globalPos and runs what is chosen.
    void ShowMenu(QTreeWidgetItem* node, const QPoint& globalPos, QWidget* parent);
    // Runs a command for the tree's selection.
    void Run(int command);

    // Whether the recording of `channel` is being stopped: its stop is queued on the worker and has not
    // ended. It counts as not recording then.
    bool RecordStopping(AppChannel* channel) const { return record_stopping_.count(channel) != 0; }

    // The translated text of a command's menu entry.
    static QString CommandText(int command);

  private:
    void Play(QTreeWidgetItem* node);
    // Audio (talk false) or Talk (talk true) of the node's device. A stop runs on the stopper's worker;
    // a start while that stop is pending waits for it. Until the stop has ended the sound counts as off.
    void ToggleSound(QTreeWidgetItem* node, bool talk);
    bool SoundOn(const DevTreeEntry& record, bool talk) const;
    static ChannelStopper::Key SoundKey(const AppDevice* device, bool talk);
    // A recording's stop runs on the worker; a start of the same camera waits for the stops pending.
    void Record(QTreeWidgetItem* node);
    // UI thread, when the start waited: runs only while a window still shows `channel`.
    void StartRecording(AppChannel* channel, const QString& path, int duration_s);
    void Snapshot(QTreeWidgetItem* node);
    // The active window's channel when node is its channel item, else null.
    AppChannel* ActiveChannelOf(QTreeWidgetItem* node) const;

    DevTree* tree_;
    PageTab* grid_;
    VelqWindow* event_window_;
    const AppSettings& settings_;
    std::function<void(const QString&)> log_;
    std::function<void()> map_toggle_;
    std::function<void(QTreeWidgetItem*)> config_;
    std::function<void(QTreeWidgetItem*)> open_all_;
    ChannelStopper& stopper_;
    // Channels whose recording stop is queued and has not ended: they count as not recording.
    std::set<AppChannel*> record_stopping_;
    // What the stopper runs later on the UI thread finds this through it, or nothing once it is gone.
    std::shared_ptr<ChannelActions*> self_;
    std::function<void(QMenu&)> more_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device tree of the left panel: one top-level node per device (labelled with its vehicle id and
// province), one child per camera channel, icons for online state and channel state. It owns the
// DevTreeEntry records that lead from a node or a row number to the library's device. UI thread only.
#include <QIcon>
#include <QStringList>
#include <QTreeWidget>
#include <QVector>

#include "fleet/dev_tree_entry.h"

class QMimeData;

class AppSettings;

// What the tree asks of the main window.
class DevTreeHost {
  public:
    virtual ~DevTreeHost() = default;
    virtual void AddLogLine(const QString* time, const QString& message) = 0;
    virtual void SelectDeviceNode(QTreeWidgetItem* node) = 0;
    virtual void ShowChannelMenu(QTreeWidgetItem* node) = 0;
    // A click in the tree: cycling stops when the "Click Device List" rule is on.
    virtual void TreeClicked() = 0;
};

class DevTree : public QTreeWidget {
    Q_OBJECT
  public:
    // Channel nodes shown per device at most; a device announcing more gets a log line.
    static constexpr int kMaxChannelNodes = 64;
    // Image list entries (before the skip rule moves later ones up).
    enum Image { kChannelIdle = 0, kChannelPlaying, kChannelSpare, kChannelRecording, kDeviceOff, kDeviceOn };

    // MIME type of a channel node dragged from the tree: "<device index> <channel number>".
    static constexpr const char* kChannelMime = "application/x-tavrin-channel";
    // The drag payload of a channel node; the caller owns it.
    static QMimeData* ChannelMime(int device, int channel);

    explicit DevTree(QWidget* parent = nullptr);

    // Once, at the main window's start: the host, the images from the skin folder, the colours, the
    // province offset and whether device nodes open expanded (read from `settings` now).
    void Setup(DevTreeHost* host, const QString& skin_folder, const AppSettings& settings);

    // Event 129 (online_allowed 1) or a completed add-device operation (0): the device's node and record;
    // returns the record's index (the device's row).
    int AddDevice(AppDevice* device, int online_allowed);
    // Events 130 (online 1) and 131 (online 0): the node's label and icon, the record's state.
    void SetDeviceState(int online, AppDevice* device);
    // Events 160..175 with code = event - 160: codes 8..15 are alarms written to the log.
    void ReportAlarm(AppDevice* device, int code);

    // The label of a device: its vehicle id, with the province named by "@n" in front; its device id when
    // that comes out empty (no vehicle id, or a province index out of range).
    QString GetDeviceLabel(AppDevice* device);
    // The same from the vehicle id text, the province list and the ProvinceOffset setting.
    static QString LabelFor(const QString& vehicle_id, const QStringList& provinces, int province_offset);
    // Adds min(count, kMaxChannelNodes) channel nodes "Channel-01"... under a device node; true when the
    // count was cut.
    static bool AddChannelNodes(QTreeWidgetItem* node, int count, const QIcon& icon);
    // Sets the province list the labels use (read once at start-up).
    void SetProvinces(const QStringList& provinces) { provinces_ = provinces; }

    // Records by index; null for an index out of range.
    const DevTreeEntry* Entry(int index) const;
    DevTreeEntry* Entry(int index);
    int EntryCount() const { return int(entries_.size()); }
    // While the center cannot be reached the devices' states are unknown: every node is greyed (text and
    // icon); false shows the last known states again.
    void SetStatesUnknown(bool unknown);
    bool statesUnknown() const { return states_unknown_; }
    // Logout: all records and nodes go in one step.
    void DeleteAll();
    // The icon of image list entry `image` after the skip rule; a null icon when it is not there.
    QIcon ImageIcon(int image) const;
    int ImageCount() const { return int(images_.size()); }

    // A channel node's icon: kChannelIdle, kChannelPlaying or kChannelRecording.
    void SetChannelImage(QTreeWidgetItem* channel_item, int image) { SetNodeImage(channel_item, image); }
    // The channel node of record `device` (index) and channel number, or null.
    QTreeWidgetItem* ChannelNode(int device, int channel) const;
    // The channel node of the first record whose device id equals `device_id` byte for byte, or null.
    QTreeWidgetItem* FindChannelNode(const QByteArray& device_id, int channel) const;
    // The record of a node (a device node or a channel node's parent), or null.
    const DevTreeEntry* EntryOf(const QTreeWidgetItem* node) const;
    DevTreeEntry* EntryOf(const QTreeWidgetItem* node);

    // The channel node being dragged, or null.
    QTreeWidgetItem* dragItem() const { return drag_item_; }

  signals:
    // A channel node was double-clicked: the main window's Play command runs for it.
    void channelActivated(QTreeWidgetItem* node);
    // Enter on a device node: its channels open together at the end of the grid.
    void vehicleActivated(int row);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions actions) override;

  private:
    void SetNodeImage(QTreeWidgetItem* node, int image);

    DevTreeHost* host_ = nullptr;
    QTreeWidgetItem* drag_item_ = nullptr;
    QVector<DevTreeEntry> entries_;
    QVector<QIcon> images_;
    QStringList provinces_;
    int province_offset_ = 0;
    bool expand_devices_ = false;
    bool states_unknown_ = false;
};

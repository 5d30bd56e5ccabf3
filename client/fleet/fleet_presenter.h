// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows the session's fleet: what the session controller reports about devices reaches the tree, the
// vehicle list and the log here, and the map through positionReported (the shell wires it to the map).
// The vehicle list's cells are stored as events come and the list is told once per slice of events
// (one dataChanged over the rows that changed), so a refresh of a large fleet costs the view one update
// per tick, not one per cell. Plain QObject, no widgets of its own; UI thread only.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "corvel/corvel.h"
#include "fleet/center_link.h"

class DevTree;
class DeviceStatusList;
class SessionController;
struct DevTreeEntry;

class FleetPresenter : public QObject {
    Q_OBJECT
  public:
    // The event log: time null means now.
    using LogLine = std::function<void(const QString* time, const QString& message)>;

    // `tree` and `list` outlive the presenter.
    FleetPresenter(DevTree& tree, DeviceStatusList& list, LogLine log, QObject* parent = nullptr);
    // Follows the controller's device signals (and its slices for the batching).
    void Follow(SessionController& session);

    // The vehicle list's speed cell: the speed when the position is valid, else why there is none.
    static QString SpeedCell(bool valid, double speed_kmh, const QByteArray& sentence);
    // A position sentence as the map takes it: a valid fix within +-90 degrees of latitude and +-180 of
    // longitude; the speed in km/h then.
    static bool ValidPosition(const QByteArray& sentence, double* speed_kmh);

    // Event 129 (online_allowed 1) or a completed add-device operation (0).
    void AddDevice(AppDevice* device, int online_allowed);
    // Events 130 (online 1) and 131 (online 0): the node's label and icon, the row, the map, and a log
    // line when the device went online or offline.
    void SetDeviceState(int online, AppDevice* device);
    // Events 160..175: codes 8..15 are alarms, written to the log and reported as statusWordActive.
    void ReportAlarm(AppDevice* device, int code);
    // A position operation's result: the speed cell and the map.
    void PositionResult(AppOperation* operation, AppDevice* device);
    // Connection states: while the center is away the tree and the list are greyed and the status line
    // says since when.
    void ConnectionState(int code);
    // Anything the center answered: it is there. Checked against every second (CheckCenterSilence), so a
    // center that stops answering shows as away within CenterLink::kSilence_ms.
    void CenterAnswered();
    void CheckCenterSilence();
    // Logout: the tree, the list and the center link forget everything.
    void Reset();
    // Tells the list about the rows changed since the last flush: one range.
    void Flush();

  signals:
    // A device's position sentence (row = its vehicle-list row): for the map.
    void positionReported(int row, const QByteArray& sentence);
    // The row of a vehicle was shown again (its label, device id, driver and state), for the finder and
    // the map's fleet layer.
    void vehicleShown(int row, const QString& name, const QString& device_id, const QString& driver,
                      bool online);
    // A device was added to the tree at `row`.
    void deviceListed(int row, const QString& device_id);
    // An alarm word is active now (the library reports a word only when it changes to another non-zero
    // value), reported at `when` (seconds since the epoch).
    void statusWordActive(int row, const QString& device_id, const QString& label, int code, uint32_t when);
    // The status line's text while the center is away.
    void centerStatus(const QString& text);

  private:
    // The row of `record` after its state went from `previous` to `online`.
    void ShowRow(const DevTreeEntry& record, int online, int previous);
    void Store(int row, int column, const QString& text);
    // The tree, the list, the log and the status line after the center went away or came back.
    void ShowCenterChange();

    DevTree& tree_;
    DeviceStatusList& list_;
    LogLine log_;
    CenterLink center_link_;
    QTimer* silence_check_;
    int dirty_first_ = -1;  // rows changed since the last flush, -1 when none
    int dirty_last_ = -1;
};

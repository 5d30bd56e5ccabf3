// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole fleet for the map page's fleet layer: the latest position and state of every vehicle, and
// which of them changed since the page was last told. The page takes the changes in batches of at most
// kMaxBatch vehicles, oldest change first, so a large fleet never becomes one huge script call and no
// vehicle waits behind others for long. Memory is one entry per vehicle row, however often it reports.
//
// The batch is a JSON object the page's updateFleet function receives:
//   {"reset": bool, "vehicles": [[row, "vehicle id", lat, lng, course_deg, speed_kmh, "state", offset_lat,
//                               offset_lng], ...]}
// with state "online", "offline", "alarm", or "hidden" (the page drops the vehicle's marker). "reset"
// true: the page forgets every vehicle before taking the list. The offsets are the map correction of the
// vehicle's place (degrees), which the page adds on street maps as it does for the selected vehicle.
//
// Plain data, UI thread only.
#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

class FleetFeed {
  public:
    static constexpr int kMaxBatch = 5000;
    // Longest vehicle id the page sends back; longer texts are not ours.
    static constexpr int kMaxIdChars = 64;
    // Rows beyond this are no rows of a real fleet; they are ignored rather than allocated.
    static constexpr int kMaxRows = 1 << 20;

    enum class State { kOnline, kOffline, kAlarm };

    // A valid position of the vehicle in `row` (degrees, km/h) and its map correction (degrees); rows
    // never seen before are added.
    void SetPosition(int row, const QString& vehicle_id, double lat, double lng, double course_deg,
                     double speed_kmh, double offset_lat = 0, double offset_lng = 0);
    void SetOnline(int row, bool online);
    // An unacknowledged alarm: the vehicle is drawn as alarmed whatever its online state.
    void SetAlarm(int row, bool alarm);
    // Off: offline vehicles leave the page (sent as "hidden") until it is on again.
    void SetShowOffline(bool show);
    bool showOffline() const { return show_offline_; }

    // Logout: every vehicle goes; the next batch tells the page to reset.
    void Clear();
    // A page that loaded anew knows nothing: every positioned vehicle is sent again, after a reset.
    void ResendAll();

    bool HasChanges() const { return reset_ || !queue_.empty(); }
    // The next batch (compact JSON) of at most `max` vehicles, or empty when nothing changed; `count`
    // (when given) receives how many vehicles it holds.
    QByteArray TakeBatch(int max = kMaxBatch, int* count = nullptr);

    // The row the page names, when `row` is an integral number of a positioned vehicle whose id is `id`
    // (the page's words are checked, never trusted: a stale or made-up pair gives nothing).
    std::optional<int> Validate(const QJsonValue& row, const QJsonValue& id) const;

    int size() const { return int(vehicles_.size()); }
    int pending() const { return int(queue_.size()); }

  private:
    struct Vehicle {
        QString id;
        double lat = 0, lng = 0, course_deg = 0, speed_kmh = 0, offset_lat = 0, offset_lng = 0;
        bool positioned = false;
        bool online = true;
        bool alarm = false;
        bool queued = false;
    };
    Vehicle* At(int row);
    void Queue(int row);
    QString StateText(const Vehicle& vehicle) const;

    std::vector<Vehicle> vehicles_;
    std::deque<int> queue_;  // rows in order of their first change since the last batch
    bool reset_ = false;
    bool show_offline_ = true;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated fleet: vehicles with their device records, status words, routes and channel settings,
// and the status stamp that moves whenever one of them changes. Shared by the center server's
// connections and its clock; every member locks the fleet's mutex, so any thread may call any of them.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "center/wire.h"

namespace velq_sim {

struct RoutePoint {
    double latitude = 0.0;
    double longitude = 0.0;
    // Seconds the vehicle stands at this point on reaching it (a delivery, a depot); 0: only the usual
    // short stops at corners. In the fleet file a route point is [lat, lon] or [lat, lon, dwell_s].
    double dwell_s = 0.0;
};

struct Vehicle {
    std::string device_id;   // 4..63 bytes
    std::string vehicle_id;  // at most 31 bytes, optionally "@" and a province index
    std::string driver;      // at most 31 bytes
    int32_t channels = 4;
    bool online = true;
    std::string picture = "CIF";  // what the media half streams for it
    int32_t frame_rate = 25;
    std::string audio = "g726-32";
    std::vector<RoutePoint> route;
    double speed_knots = 20.0;  // cruising speed; the speed driven varies around it and drops to 0 at stops
    uint32_t report_s = 1;      // seconds between two position reports of this vehicle

    // State that moves while the simulator runs.
    uint32_t last_report = 0;  // seconds since 1970, 0 = never
    uint32_t words[corvel::StatusRecord::kWordCount] = {};
    uint64_t stamp = 0;  // fleet stamp of its last change
    size_t leg = 0;      // route segment being driven
    double leg_progress = 0.0;
    std::string position;       // last $GPRMC sentence, empty before the first fix
    double driven_knots = 0.0;  // speed of the last step
    double stopped_s = 0.0;     // time left standing at a stop (traffic light, delivery)
    uint32_t next_report = 0;   // wall second of the next report, 0 = at the next step
    // Channel settings by (channel, control code of the write), read back by the matching read code.
    std::map<std::pair<int32_t, uint32_t>, int32_t> settings;
};

// Outcome of a request the fleet handles.
enum class FleetAnswer { kOk, kRefused, kUnknownDevice };

class Fleet {
  public:
    // The built-in fleet: 8 vehicles of 4 channels, two of them offline, a few vehicle ids with "@".
    static Fleet Default();
    // `count` online vehicles "D000001"... with 4 channels each, for load tests.
    static Fleet Generated(uint32_t count);
    // Reads a fleet file; nullopt with `error` set when the file cannot be read or is malformed.
    static std::optional<Fleet> Load(const std::string& path, std::string* error);
    bool Save(const std::string& path, std::string* error);

    Fleet() = default;
    Fleet(Fleet&& other) noexcept;
    Fleet& operator=(Fleet&& other) noexcept;

    // Accounts of the file ("accounts": [{"user", "password"}]); empty when the file names none. Read-only
    // once the server runs.
    std::map<std::string, std::string> accounts;

    uint64_t stamp();
    size_t size();
    std::vector<std::string> DeviceIds();

    // Device records for a device list: every vehicle (`online_only` false) or those that report.
    std::vector<corvel::DeviceRecord> Records(bool online_only);
    // Status records of the vehicles that changed after `stamp`, in the order they changed.
    std::vector<corvel::StatusRecord> ChangedSince(uint64_t stamp);

    FleetAnswer AddDevice(const corvel::DeviceRecord& record, bool* existed);
    FleetAnswer ModifyDevice(const corvel::DeviceRecord& record);
    // Control codes 9..22 (types 129..142): reads answer the stored value, writes store theirs (refused when
    // out of range), camera commands (22) are answered as sent. `reply` gets the answer record.
    FleetAnswer Control(const corvel::ControlRecord& request, corvel::ControlRecord* reply);

    // One step of the clock: vehicles that report move along their routes, and now and then an alarm word
    // changes. `seconds` is the wall time to report. With `alarm_chance`, that is the chance per vehicle and
    // step that an alarm word changes (a storm for tests and load); without it, alarms come at a believable
    // rate: a vehicle without one raises one about kAlarmsPerVehicleHour times an hour, and an alarm word
    // clears after kMeanAlarm_s on average, so a few percent of the fleet is in alarm at any time.
    void Tick(uint32_t seconds, double step_s, std::optional<double> alarm_chance, std::mt19937& random);
    static constexpr double kAlarmsPerVehicleHour = 2.0;
    static constexpr double kMeanAlarm_s = 60.0;
    // Sets one status word of a vehicle and moves the stamp; false for an unknown device.
    bool SetStatusWord(const std::string& device_id, size_t word, uint32_t value);
    bool SetOnline(const std::string& device_id, bool online, uint32_t seconds);
    // A copy of one vehicle as it is now; nullopt for an unknown device.
    std::optional<Vehicle> Find(const std::string& device_id);

  private:
    void Append(Vehicle vehicle);
    void Touch(Vehicle& vehicle) { vehicle.stamp = ++stamp_; }
    corvel::DeviceRecord RecordOf(const Vehicle& vehicle) const;

    std::mutex mutex_;
    std::vector<Vehicle> vehicles_;
    std::unordered_map<std::string, size_t> index_;
    uint64_t stamp_ = 0;
};

// The $GPRMC sentence of a fix, with its checksum: "ddmm.mmmm" and "dddmm.mmmm" coordinates.
std::string FormatGprmc(uint32_t seconds, double latitude, double longitude, double speed_knots,
                        double course);

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>

namespace velq_sim {

using corvel::ControlRecord;
using corvel::DeviceRecord;
using corvel::StatusRecord;
using nlohmann::json;

namespace {

constexpr double kPi = 3.14159265358979323846;
// Control codes of the channel settings: reads are odd, the matching write is the next code.
constexpr uint32_t kFirstSettingCode = 9, kLastSettingCode = 16, kCameraCode = 22;

struct SettingRange {
    int32_t low, high;
};

// Ranges of the written settings: resolution, frame rate, quality, bit rate (kbit/s x 1024).
SettingRange RangeOf(uint32_t write_code) {
    switch (write_code) {
        case 10:
            return {1, 4};
        case 12:
            return {1, 30};
        case 14:
            return {1, 5};
        default:
            return {1024, 16384 * 1024};
    }
}

int32_t DefaultSetting(const Vehicle& vehicle, uint32_t write_code) {
    switch (write_code) {
        case 10:
            // The resolution the vehicle streams until an operator writes another: 1 QCIF, 2 CIF, 3 HD1, 4
            // D1.
            if (vehicle.picture == "QCIF") return 1;
            if (vehicle.picture == "HD1") return 3;
            if (vehicle.picture == "D1") return 4;
            return 2;
        case 12:
            return vehicle.frame_rate;
        case 14:
            return 3;
        case 16:
            return 512 * 1024;
        default:
            return 0;
    }
}

std::string Coordinate(double degrees, int degree_digits) {
    degrees = std::fabs(degrees);
    int whole = static_cast<int>(degrees);
    // Minutes rounded to the four decimals written; 59.99996 carries into the next degree.
    double minutes = std::round((degrees - whole) * 60.0 * 10000.0) / 10000.0;
    if (minutes >= 60.0) {
        minutes -= 60.0;
        ++whole;
    }
    char text[24];
    std::snprintf(text, sizeof(text), "%0*d%07.4f", degree_digits, whole, minutes);
    return text;
}

std::vector<RoutePoint> LoopAround(double latitude, double longitude, double radius_deg, int seed) {
    std::vector<RoutePoint> route;
    for (int i = 0; i < 6; ++i) {
        const double angle = (i * 60 + seed * 17) * kPi / 180.0;
        route.push_back({latitude + radius_deg * std::sin(angle), longitude + radius_deg * std::cos(angle)});
    }
    return route;
}

}  // namespace

std::string FormatGprmc(uint32_t seconds, double latitude, double longitude, double speed_knots,
                        double course) {
    const time_t t = static_cast<time_t>(seconds);
    tm utc{};
    gmtime_r(&t, &utc);
    char body[160];
    std::snprintf(body, sizeof(body), "GPRMC,%02d%02d%02d.000,A,%s,%c,%s,%c,%.1f,%.1f,%02d%02d%02d,,,A",
                  utc.tm_hour, utc.tm_min, utc.tm_sec, Coordinate(latitude, 2).c_str(),
                  latitude < 0 ? 'S' : 'N', Coordinate(longitude, 3).c_str(), longitude < 0 ? 'W' : 'E',
                  speed_knots, course, utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100);
    uint8_t sum = 0;
    for (const char* c = body; *c != '\0'; ++c) sum ^= static_cast<uint8_t>(*c);
    char sentence[176];
    std::snprintf(sentence, sizeof(sentence), "$%s*%02X", body, sum);
    return sentence;
}

Fleet::Fleet(Fleet&& other) noexcept {
    *this = std::move(other);
}

Fleet& Fleet::operator=(Fleet&& other) noexcept {
    if (this == &other) return *this;
    std::scoped_lock guard(mutex_, other.mutex_);
    vehicles_ = std::move(other.vehicles_);
    index_ = std::move(other.index_);
    stamp_ = other.stamp_;
    accounts = std::move(other.accounts);
    return *this;
}

void Fleet::Append(Vehicle vehicle) {
    // Words 0..7 start non-zero, so that their first change is already one the library reports; the alarm
    // words 8..15 start clear (0), as a fleet without alarms has them.
    for (size_t i = 0; i < 8; ++i) {
        if (vehicle.words[i] == 0) vehicle.words[i] = 1;
    }
    if (vehicle.route.empty())
        vehicle.route = LoopAround(31.2, 121.4, 0.05, static_cast<int>(vehicles_.size()));
    if (vehicle.online) {
        // A vehicle that reports has reported once already when the server starts.
        const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
        if (vehicle.last_report == 0) vehicle.last_report = now;
        const RoutePoint& start = vehicle.route.front();
        vehicle.position =
            FormatGprmc(vehicle.last_report, start.latitude, start.longitude, vehicle.speed_knots, 0.0);
    }
    vehicle.stamp = ++stamp_;
    index_[vehicle.device_id] = vehicles_.size();
    vehicles_.push_back(std::move(vehicle));
}

Fleet Fleet::Default() {
    Fleet fleet;
    struct Seed {
        const char* id;
        const char* vehicle;
        const char* driver;
        bool online;
        double lat, lon;
        const char* audio;
        double speed_knots;  // town buses about 15-25, the highway coach near 50
        uint32_t report_s;
    };
    // Shanghai's inner districts, Sydney's centre and Munich's ring: every route stays on land.
    const Seed seeds[] = {
        {"MDVR-10001", "AB-3127", "Ilona Varga", true, 31.230, 121.470, "g726-32", 18.0, 1},
        {"MDVR-10002", "CX-4410@3", "Tomas Brenner", true, 31.260, 121.520, "g726-16", 24.0, 2},
        {"MDVR-10003", "KT-0098", "Mirela Sand", true, 31.190, 121.430, "ulaw", 14.0, 3},
        {"MDVR-10004", "RP-7731@12", "Oskar Lind", true, 31.210, 121.600, "alaw", 48.0, 1},
        {"MDVR-10005", "ZN-2050", "Petra Holm", false, 31.300, 121.500, "g726-24", 20.0, 5},
        {"MDVR-10006", "LW-6642@7", "Anders Falk", true, -33.870, 151.210, "g726-40", 21.0, 2},
        {"MDVR-10007", "HV-1183", "Greta Moll", false, 31.240, 121.480, "pcm", 16.0, 4},
        {"MDVR-10008", "SE-5309", "Jonas Reiter", true, 48.137, 11.575, "g726-32", 27.0, 3},
    };
    int n = 0;
    for (const Seed& seed : seeds) {
        Vehicle vehicle;
        vehicle.device_id = seed.id;
        vehicle.vehicle_id = seed.vehicle;
        vehicle.driver = seed.driver;
        vehicle.online = seed.online;
        vehicle.audio = seed.audio;
        vehicle.speed_knots = seed.speed_knots;
        vehicle.report_s = seed.report_s;
        vehicle.route = LoopAround(seed.lat, seed.lon, 0.02, n++);
        fleet.Append(std::move(vehicle));
    }
    return fleet;
}

Fleet Fleet::Generated(uint32_t count) {
    Fleet fleet;
    fleet.vehicles_.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Vehicle vehicle;
        char text[32];
        std::snprintf(text, sizeof(text), "D%06u", i + 1);
        vehicle.device_id = text;
        std::snprintf(text, sizeof(text), "V%u", i + 1);
        vehicle.vehicle_id = text;
        std::snprintf(text, sizeof(text), "Driver %u", i + 1);
        vehicle.driver = text;
        // Inland east China, so that a large fleet spreads over land too; speeds and report periods vary.
        vehicle.route =
            LoopAround(30.0 + (i % 100) * 0.03, 115.0 + (i / 100 % 100) * 0.05, 0.01, static_cast<int>(i));
        vehicle.speed_knots = 12.0 + (i * 7 % 40);
        vehicle.report_s = 1 + i % 5;
        fleet.Append(std::move(vehicle));
    }
    return fleet;
}

std::optional<Fleet> Fleet::Load(const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read fleet file " + path;
        return std::nullopt;
    }
    try {
        const json doc = json::parse(in);
        Fleet fleet;
        for (const auto& account : doc.value("accounts", json::array())) {
            fleet.accounts[account.at("user").get<std::string>()] = account.at("password").get<std::string>();
        }
        for (const auto& entry : doc.at("vehicles")) {
            Vehicle vehicle;
            vehicle.device_id = entry.at("device_id").get<std::string>();
            if (vehicle.device_id.size() < 4 || vehicle.device_id.size() > 63) {
                *error = "device id must have 4 to 63 bytes: " + vehicle.device_id;
                return std::nullopt;
            }
            vehicle.vehicle_id = entry.value("vehicle_id", "").substr(0, 31);
            vehicle.driver = entry.value("driver", "").substr(0, 31);
            vehicle.channels = std::clamp(entry.value("channels", 4), 1, 16);
            vehicle.online = entry.value("online", true);
            vehicle.picture = entry.value("picture", "CIF");
            vehicle.frame_rate = std::clamp(entry.value("frame_rate", 25), 1, 30);
            vehicle.audio = entry.value("audio", "g726-32");
            vehicle.speed_knots = std::clamp(entry.value("speed_knots", 20.0), 0.0, 200.0);
            vehicle.report_s = std::clamp(entry.value("report_s", 1u), 1u, 3600u);
            vehicle.last_report = entry.value("last_report", 0u);
            for (const auto& point : entry.value("route", json::array())) {
                // A dwell beyond a day is no stop of a shift; clamped so that a typo cannot park a vehicle.
                const double dwell_s =
                    point.size() > 2 ? std::clamp(point.at(2).get<double>(), 0.0, 86400.0) : 0.0;
                vehicle.route.push_back({point.at(0).get<double>(), point.at(1).get<double>(), dwell_s});
            }
            if (fleet.index_.count(vehicle.device_id) != 0) {
                *error = "device listed twice: " + vehicle.device_id;
                return std::nullopt;
            }
            fleet.Append(std::move(vehicle));
        }
        return fleet;
    } catch (const json::exception& e) {
        *error = path + ": " + e.what();
        return std::nullopt;
    }
}

bool Fleet::Save(const std::string& path, std::string* error) {
    json doc;
    {
        std::lock_guard guard(mutex_);
        json accounts_json = json::array();
        for (const auto& [user, password] : accounts)
            accounts_json.push_back({{"user", user}, {"password", password}});
        doc["accounts"] = accounts_json;
        json vehicles = json::array();
        for (const Vehicle& v : vehicles_) {
            json route = json::array();
            for (const RoutePoint& p : v.route) {
                json point = {p.latitude, p.longitude};
                if (p.dwell_s > 0.0) point.push_back(p.dwell_s);
                route.push_back(point);
            }
            vehicles.push_back({{"device_id", v.device_id},
                                {"vehicle_id", v.vehicle_id},
                                {"driver", v.driver},
                                {"channels", v.channels},
                                {"online", v.online},
                                {"picture", v.picture},
                                {"frame_rate", v.frame_rate},
                                {"audio", v.audio},
                                {"speed_knots", v.speed_knots},
                                {"report_s", v.report_s},
                                {"last_report", v.last_report},
                                {"route", route}});
        }
        doc["vehicles"] = vehicles;
    }
    // Written beside the file and renamed over it, so a crash never leaves half a fleet.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << doc.dump(2) << '\n';
        if (!out) {
            *error = "cannot write " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot replace " + path;
        return false;
    }
    return true;
}

uint64_t Fleet::stamp() {
    std::lock_guard guard(mutex_);
    return stamp_;
}

size_t Fleet::size() {
    std::lock_guard guard(mutex_);
    return vehicles_.size();
}

std::vector<std::string> Fleet::DeviceIds() {
    std::lock_guard guard(mutex_);
    std::vector<std::string> ids;
    for (const Vehicle& v : vehicles_) ids.push_back(v.device_id);
    return ids;
}

DeviceRecord Fleet::RecordOf(const Vehicle& vehicle) const {
    DeviceRecord record;
    corvel::StoreLE32(record.bytes + DeviceRecord::kSizeOffset, DeviceRecord::kBytes);
    record.set_id(vehicle.device_id);
    record.set_text1(vehicle.vehicle_id);
    record.set_text2(vehicle.driver);
    record.set_channel_count(vehicle.channels);
    record.set_last_report(vehicle.last_report);
    record.set_position(vehicle.position);
    return record;
}

std::vector<DeviceRecord> Fleet::Records(bool online_only) {
    std::lock_guard guard(mutex_);
    std::vector<DeviceRecord> records;
    records.reserve(vehicles_.size());
    for (const Vehicle& v : vehicles_) {
        if (!online_only || v.online) records.push_back(RecordOf(v));
    }
    return records;
}

std::vector<StatusRecord> Fleet::ChangedSince(uint64_t stamp) {
    std::lock_guard guard(mutex_);
    std::vector<const Vehicle*> changed;
    for (const Vehicle& v : vehicles_) {
        if (v.stamp > stamp) changed.push_back(&v);
    }
    std::sort(changed.begin(), changed.end(),
              [](const Vehicle* a, const Vehicle* b) { return a->stamp < b->stamp; });
    std::vector<StatusRecord> records;
    for (const Vehicle* v : changed) {
        StatusRecord record;
        record.stamp = v->stamp;
        record.device = RecordOf(*v);
        std::copy(std::begin(v->words), std::end(v->words), record.words);
        records.push_back(record);
    }
    return records;
}

FleetAnswer Fleet::AddDevice(const DeviceRecord& record, bool* existed) {
    const std::string id(record.id());
    *existed = false;
    if (id.size() < 4 || id.size() > 63) return FleetAnswer::kRefused;
    std::lock_guard guard(mutex_);
    if (index_.count(id) != 0) {
        *existed = true;
        return FleetAnswer::kOk;
    }
    Vehicle vehicle;
    vehicle.device_id = id;
    vehicle.vehicle_id = std::string(record.text1());
    vehicle.driver = std::string(record.text2());
    vehicle.channels = std::clamp(record.channel_count(), 1, 16);
    vehicle.online = false;
    Append(std::move(vehicle));
    return FleetAnswer::kOk;
}

FleetAnswer Fleet::ModifyDevice(const DeviceRecord& record) {
    std::lock_guard guard(mutex_);
    const auto found = index_.find(std::string(record.id()));
    if (found == index_.end()) return FleetAnswer::kUnknownDevice;
    Vehicle& vehicle = vehicles_[found->second];
    vehicle.vehicle_id = std::string(record.text1());
    vehicle.driver = std::string(record.text2());
    Touch(vehicle);
    return FleetAnswer::kOk;
}

FleetAnswer Fleet::Control(const ControlRecord& request, ControlRecord* reply) {
    std::lock_guard guard(mutex_);
    const auto found = index_.find(std::string(request.id()));
    if (found == index_.end()) return FleetAnswer::kUnknownDevice;
    Vehicle& vehicle = vehicles_[found->second];
    if (request.channel < 0 || request.channel > vehicle.channels) return FleetAnswer::kRefused;
    *reply = request;
    reply->size = ControlRecord::kBytes;
    const uint32_t code = request.code;
    if (code >= kFirstSettingCode && code <= kLastSettingCode) {
        const bool is_read = (code - kFirstSettingCode) % 2 == 0;
        const uint32_t write_code = is_read ? code + 1 : code;
        const auto key = std::make_pair(request.channel, write_code);
        if (is_read) {
            const auto stored = vehicle.settings.find(key);
            reply->value =
                stored != vehicle.settings.end() ? stored->second : DefaultSetting(vehicle, write_code);
            return FleetAnswer::kOk;
        }
        const SettingRange range = RangeOf(write_code);
        if (request.value < range.low || request.value > range.high) return FleetAnswer::kRefused;
        vehicle.settings[key] = request.value;
        return FleetAnswer::kOk;
    }
    if (code > kLastSettingCode && code <= kCameraCode) {
        if (code != kCameraCode) vehicle.settings[std::make_pair(request.channel, code)] = request.value;
        return FleetAnswer::kOk;
    }
    return FleetAnswer::kRefused;
}

void Fleet::Tick(uint32_t seconds, double step_s, std::optional<double> alarm_chance, std::mt19937& random) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::uniform_real_distribution<double> stop_length_s(8.0, 45.0);
    std::uniform_int_distribution<int> alarm_word(8, 15);
    std::uniform_int_distribution<int> word_value(1, 4);
    std::lock_guard guard(mutex_);
    for (Vehicle& v : vehicles_) {
        if (!v.online || v.route.size() < 2) continue;
        // Drive along the route: a knot is 1/60 degree of latitude per hour, near enough for a simulation.
        // The speed wanders around the cruising speed and the vehicle stops now and then at a corner.
        if (v.stopped_s > 0.0) {
            v.stopped_s = std::max(0.0, v.stopped_s - step_s);
            v.driven_knots = 0.0;
        } else {
            v.driven_knots = v.speed_knots * (0.8 + 0.35 * chance(random));
        }
        const auto leg_of = [&v](size_t leg) {
            return std::pair<const RoutePoint&, const RoutePoint&>(v.route[leg % v.route.size()],
                                                                   v.route[(leg + 1) % v.route.size()]);
        };
        {
            const auto [from, to] = leg_of(v.leg);
            const double length =
                std::max(std::hypot(to.latitude - from.latitude, to.longitude - from.longitude), 1e-9);
            v.leg_progress += v.driven_knots / 60.0 / 3600.0 * step_s / length;
        }
        if (v.leg_progress >= 1.0) {
            v.leg_progress = 0.0;
            v.leg = (v.leg + 1) % v.route.size();
            if (v.route[v.leg].dwell_s > 0.0)
                v.stopped_s = v.route[v.leg].dwell_s;
            else if (chance(random) < 0.4)
                v.stopped_s = stop_length_s(random);
        }
        const auto [from, to] = leg_of(v.leg);
        const double dlat = to.latitude - from.latitude, dlon = to.longitude - from.longitude;
        bool changed = false;
        if (alarm_chance) {
            if (chance(random) < *alarm_chance) {
                // An active alarm clears about every other change, so alarms come and go in the storm.
                uint32_t& word = v.words[alarm_word(random)];
                uint32_t next = static_cast<uint32_t>(word_value(random));
                if (next == word) next = next % 4 + 1;
                word = word != 0 && chance(random) < 0.5 ? 0 : next;
                changed = true;
            }
        } else {
            bool in_alarm = false;
            for (int w = alarm_word.min(); w <= alarm_word.max(); ++w) {
                if (v.words[w] == 0) continue;
                in_alarm = true;
                if (chance(random) < step_s / kMeanAlarm_s) {
                    v.words[w] = 0;
                    changed = true;
                }
            }
            if (!in_alarm && chance(random) < step_s * kAlarmsPerVehicleHour / 3600.0) {
                v.words[alarm_word(random)] = static_cast<uint32_t>(word_value(random));
                changed = true;
            }
        }
        // Each vehicle reports on its own period, so the fleet's report times are spread out.
        if (seconds >= v.next_report) {
            v.next_report = seconds + v.report_s;
            const double lat = from.latitude + dlat * v.leg_progress,
                         lon = from.longitude + dlon * v.leg_progress;
            double course = std::atan2(dlon, dlat) * 180.0 / kPi;
            if (course < 0) course += 360.0;
            v.last_report = seconds;
            v.position = FormatGprmc(seconds, lat, lon, v.driven_knots, course);
            changed = true;
        }
        if (changed) Touch(v);
    }
}

bool Fleet::SetStatusWord(const std::string& device_id, size_t word, uint32_t value) {
    std::lock_guard guard(mutex_);
    const auto found = index_.find(device_id);
    if (found == index_.end() || word >= StatusRecord::kWordCount) return false;
    vehicles_[found->second].words[word] = value;
    Touch(vehicles_[found->second]);
    return true;
}

bool Fleet::SetOnline(const std::string& device_id, bool online, uint32_t seconds) {
    std::lock_guard guard(mutex_);
    const auto found = index_.find(device_id);
    if (found == index_.end()) return false;
    Vehicle& vehicle = vehicles_[found->second];
    vehicle.online = online;
    if (online) vehicle.last_report = seconds;
    Touch(vehicle);
    return true;
}

std::optional<Vehicle> Fleet::Find(const std::string& device_id) {
    std::lock_guard lock(mutex_);
    const auto found = index_.find(device_id);
    if (found == index_.end()) return std::nullopt;
    return vehicles_[found->second];
}

}  // namespace velq_sim

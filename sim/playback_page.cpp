// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velq_sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKilometresPerNauticalMile = 1.852;
constexpr time_t kDefaultRangeS = 3600;
constexpr double kSvgWidth = 640.0, kSvgHeight = 420.0, kSvgMargin = 20.0;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string FormatLocal(time_t t) {
    tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

HttpResponse ErrorPage(int status, const std::string& title, const std::string& message) {
    HttpResponse response;
    response.status = status;
    response.body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
                    "</title></head>\n<body><h1>" + HtmlEscape(title) + "</h1><p>" + HtmlEscape(message) +
                    "</p></body></html>\n";
    return response;
}

// The track as an SVG polyline in a box that fits its extent, north up, with the start and end marked.
std::string TrackSvg(const std::vector<TrackPoint>& track) {
    double min_lat = track.front().latitude, max_lat = min_lat;
    double min_lon = track.front().longitude, max_lon = min_lon;
    for (const TrackPoint& p : track) {
        min_lat = std::min(min_lat, p.latitude);
        max_lat = std::max(max_lat, p.latitude);
        min_lon = std::min(min_lon, p.longitude);
        max_lon = std::max(max_lon, p.longitude);
    }
    const double span = std::max({max_lat - min_lat, max_lon - min_lon, 1e-6});
    const double scale = std::min(kSvgWidth, kSvgHeight) - 2 * kSvgMargin;
    auto x = [&](const TrackPoint& p) { return kSvgMargin + (p.longitude - min_lon) / span * scale; };
    auto y = [&](const TrackPoint& p) { return kSvgMargin + (max_lat - p.latitude) / span * scale; };
    std::string points;
    for (const TrackPoint& p : track) points += Fixed(x(p), 1) + "," + Fixed(y(p), 1) + " ";
    std::string svg = "<svg id=\"track\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      Fixed(kSvgWidth, 0) + "\" height=\"" + Fixed(kSvgHeight, 0) + "\" viewBox=\"0 0 " +
                      Fixed(kSvgWidth, 0) + " " + Fixed(kSvgHeight, 0) + "\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#20262e\"/>\n";
    svg +=
        "<polyline fill=\"none\" stroke=\"#4fc3f7\" stroke-width=\"3\" stroke-linejoin=\"round\" points=\"" +
        points + "\"/>\n";
    svg += "<circle cx=\"" + Fixed(x(track.front()), 1) + "\" cy=\"" + Fixed(y(track.front()), 1) +
           "\" r=\"6\" fill=\"#66bb6a\"><title>start</title></circle>\n";
    svg += "<circle cx=\"" + Fixed(x(track.back()), 1) + "\" cy=\"" + Fixed(y(track.back()), 1) +
           "\" r=\"6\" fill=\"#ef5350\"><title>end</title></circle>\n</svg>\n";
    return svg;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::map<std::string, std::string> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> parameters;
    while (!query.empty()) {
        const size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        query.remove_prefix(std::min(end + 1, query.size()));
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        const std::string name = PercentDecode(pair.substr(0, eq));
        const std::string value =
            eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
        parameters.emplace(name, value);
    }
    return parameters;
}

std::optional<time_t> ParseLocalTime(std::string_view text) {
    // Exactly "dddd-dd-ddTdd:dd:dd".
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != kShape.size()) return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
    }
    auto number = [&](size_t at, size_t n) {
        int value = 0;
        for (size_t i = at; i < at + n; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    tm local{};
    local.tm_year = number(0, 4) - 1900;
    local.tm_mon = number(5, 2) - 1;
    local.tm_mday = number(8, 2);
    local.tm_hour = number(11, 2);
    local.tm_min = number(14, 2);
    local.tm_sec = number(17, 2);
    local.tm_isdst = -1;
    if (local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > 31 || local.tm_hour > 23 ||
        local.tm_min > 59 || local.tm_sec > 60) {
        return std::nullopt;
    }
    const time_t t = mktime(&local);
    if (t == static_cast<time_t>(-1)) return std::nullopt;
    return t;
}

std::vector<TrackPoint> TrackBetween(const Vehicle& vehicle, time_t start, time_t end, time_t origin,
                                     uint32_t step_s, size_t max_points) {
    std::vector<TrackPoint> track;
    const std::vector<RoutePoint>& route = vehicle.route;
    if (route.size() < 2 || end < start || max_points == 0) return track;
    std::vector<double> legs;
    double perimeter = 0.0;
    for (size_t i = 0; i < route.size(); ++i) {
        const RoutePoint& a = route[i];
        const RoutePoint& b = route[(i + 1) % route.size()];
        legs.push_back(std::max(std::hypot(b.latitude - a.latitude, b.longitude - a.longitude), 1e-9));
        perimeter += legs.back();
    }
    // A knot is 1/60 degree of latitude per hour, as the fleet's clock reckons it.
    const double degrees_per_s = vehicle.speed_knots / 60.0 / 3600.0;
    const double range_s = static_cast<double>(end - start);
    double step = std::max<double>(step_s, 1.0);
    if (max_points > 1 && range_s / step + 1 > static_cast<double>(max_points)) {
        step = range_s / static_cast<double>(max_points - 1);
    }
    for (double offset = 0.0; offset <= range_s + 1e-9 && track.size() < max_points; offset += step) {
        const time_t t = start + static_cast<time_t>(std::llround(offset));
        double along = std::fmod(static_cast<double>(t - origin) * degrees_per_s, perimeter);
        if (along < 0) along += perimeter;
        size_t leg = 0;
        while (leg + 1 < legs.size() && along >= legs[leg]) along -= legs[leg++];
        const RoutePoint& a = route[leg];
        const RoutePoint& b = route[(leg + 1) % route.size()];
        const double f = std::min(along / legs[leg], 1.0);
        TrackPoint point;
        point.time = t;
        point.latitude = a.latitude + (b.latitude - a.latitude) * f;
        point.longitude = a.longitude + (b.longitude - a.longitude) * f;
        point.course = std::atan2(b.longitude - a.longitude, b.latitude - a.latitude) * 180.0 / kPi;
        if (point.course < 0) point.course += 360.0;
        track.push_back(point);
    }
    return track;
}

HttpResponse PlaybackPage(const std::map<std::string, std::string>& query, Fleet& fleet, time_t origin,
                          time_t now) {
    const auto device = query.find("devicename");
    if (device == query.end() || device->second.empty()) {
        return ErrorPage(400, "Playback", "No vehicle was named (devicename is missing).");
    }
    time_t start = now - kDefaultRangeS, end = now;
    for (const auto& [name, target] : {std::pair<const char*, time_t*>{"stime", &start}, {"etime", &end}}) {
        const auto given = query.find(name);
        if (given == query.end()) continue;
        const auto parsed = ParseLocalTime(given->second);
        if (!parsed) {
            return ErrorPage(
                400, "Playback",
                std::string("Not a time of the form YYYY-MM-DDTHH:MM:SS: ") + name + "=" + given->second);
        }
        *target = *parsed;
    }
    const std::string& device_id = device->second;
    const auto vehicle = fleet.Find(device_id);
    if (!vehicle) return ErrorPage(404, "Playback", "Unknown vehicle: " + device_id);
    const auto track = TrackBetween(*vehicle, start, end, origin);

    HttpResponse response;
    std::string& html = response.body;
    const std::string title = "Playback " + device_id;
    html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           "</title>\n<style>body{font-family:sans-serif;background:#101418;color:#e0e0e0;margin:16px}"
           "table{border-collapse:collapse;margin-top:12px}td,th{padding:2px 10px;border-bottom:1px solid "
           "#333;text-align:right}th{color:#9ecbff}h1{font-size:20px}</style></head>\n<body>\n";
    html += "<h1 id=\"device\">" + HtmlEscape(device_id) + "</h1>\n";
    html += "<p>Vehicle <span id=\"vehicle\">" + HtmlEscape(vehicle->vehicle_id) +
            "</span>, driver <span id=\"driver\">" + HtmlEscape(vehicle->driver) + "</span></p>\n";
    html += "<p>From <span id=\"stime\">" + FormatLocal(start) + "</span> to <span id=\"etime\">" +
            FormatLocal(end) + "</span>: <span id=\"count\">" + std::to_string(track.size()) +
            "</span> positions</p>\n";
    if (track.empty()) {
        html += "<p id=\"empty\">No positions were recorded in this period.</p>\n";
    } else {
        html += TrackSvg(track);
        html +=
            "<table id=\"positions\"><tr><th>Time</th><th>Latitude</th><th>Longitude</th><th>Speed "
            "(km/h)</th><th>Course</th></tr>\n";
        for (const TrackPoint& p : track) {
            html += "<tr><td>" + FormatLocal(p.time) + "</td><td>" + Fixed(p.latitude, 6) + "</td><td>" +
                    Fixed(p.longitude, 6) + "</td><td>" +
                    Fixed(vehicle->speed_knots * kKilometresPerNauticalMile, 1) + "</td><td>" +
                    Fixed(p.course, 1) + "</td></tr>\n";
        }
        html += "</table>\n";
    }
    html += "</body></html>\n";
    return response;
}

}  // namespace velq_sim

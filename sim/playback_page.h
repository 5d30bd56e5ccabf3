// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The center server's playback web page as the simulator serves it: a vehicle's track over a time range,
// drawn as SVG and listed position by position. Pure functions of their arguments, so tests drive them
// without sockets; the HTTP half (http_server.h) only parses the request and sends what these return.
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet.h"

namespace velq_sim {

struct HttpResponse {
    int status = 200;
    std::string content_type = "text/html; charset=utf-8";
    std::string body;
};

// Text made safe for HTML element content and quoted attribute values.
std::string HtmlEscape(std::string_view text);

// The parameters of a query string ("a=1&b=x%20y"), percent-decoded, '+' read as a blank. A malformed
// escape stays as it stands; a repeated name keeps its first value.
std::map<std::string, std::string> ParseQuery(std::string_view query);

// "YYYY-MM-DDTHH:MM:SS" as local time, the form the client sends; nullopt for anything else.
std::optional<time_t> ParseLocalTime(std::string_view text);

struct TrackPoint {
    time_t time = 0;
    double latitude = 0.0;
    double longitude = 0.0;
    double course = 0.0;
};

// Where `vehicle` was between `start` and `end`, sampled evenly (at most `max_points`, at least every
// `step_s` seconds apart when the range allows), assuming it drove its route at its speed from the first
// point at `origin` on, the way the fleet's clock moves it. Empty for a vehicle without a route or an
// empty range.
std::vector<TrackPoint> TrackBetween(const Vehicle& vehicle, time_t start, time_t end, time_t origin,
                                     uint32_t step_s = 10, size_t max_points = 1500);

// The page for one request: `query` is the part after '?'. Without stime the range starts an hour
// before `now`; without etime it ends at `now`. 400 without a devicename or with a malformed time, 404 for
// a vehicle the fleet does not know.
HttpResponse PlaybackPage(const std::map<std::string, std::string>& query, Fleet& fleet, time_t origin,
                          time_t now);

}  // namespace velq_sim

// SPDX-License-Identifier: GPL-3.0-or-later
#include "positions/position_fix.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QTime>
#include <cmath>

#include "corvel/corvel.h"

namespace {

constexpr int64_t kTrustedClockSkewS = 86400;
constexpr int kMaxSentenceBytes = 256;  // a longer text is no position sentence

// Two decimal digits at `at`, or -1.
int TwoDigits(const QByteArray& field, int at) {
    if (field.size() < at + 2) return -1;
    const char a = field[at], b = field[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

}  // namespace

std::optional<PositionFix> MakeFix(const QString& device_id, int64_t time_s, double lat_deg, double lon_deg,
                                   double speed_kmh, double course_deg) {
    if (!(std::fabs(lat_deg) <= 90.0 && std::fabs(lon_deg) <= 180.0)) return std::nullopt;
    if (!std::isfinite(speed_kmh) || !std::isfinite(course_deg)) return std::nullopt;
    PositionFix fix;
    fix.device_id = device_id;
    fix.time_s = time_s;
    fix.lat_udeg = int32_t(std::lround(lat_deg * 1e6));
    fix.lon_udeg = int32_t(std::lround(lon_deg * 1e6));
    // Beyond 3000 km/h the figure is noise; clamped so that it still fits the column's few bytes.
    fix.speed_dkmh = int32_t(std::lround(std::clamp(speed_kmh, 0.0, 3000.0) * 10.0));
    double course = std::fmod(course_deg, 360.0);
    if (course < 0) course += 360.0;
    fix.course_deg = int32_t(std::lround(course)) % 360;
    return fix;
}

std::optional<int64_t> SentenceTimeS(const QByteArray& sentence) {
    if (sentence.size() > kMaxSentenceBytes) return std::nullopt;
    QByteArray body = sentence;
    const int star = body.indexOf('*');
    if (star >= 0) body.truncate(star);
    const QList<QByteArray> fields = body.split(',');
    if (fields.size() < 10 || !fields[0].endsWith("RMC")) return std::nullopt;
    const QByteArray& clock = fields[1];
    const QByteArray& date = fields[9];
    const int hour = TwoDigits(clock, 0), minute = TwoDigits(clock, 2), second = TwoDigits(clock, 4);
    const int day = TwoDigits(date, 0), month = TwoDigits(date, 2), year = TwoDigits(date, 4);
    if (hour < 0 || minute < 0 || second < 0 || day < 0 || month < 0 || year < 0) return std::nullopt;
    // Two-digit years: receivers of this century; the 1980 rollover is no concern of a live feed.
    const QDate on(2000 + year, month, day);
    const QTime at(hour, minute, second);
    if (!on.isValid() || !at.isValid()) return std::nullopt;
    return QDateTime(on, at, Qt::UTC).toSecsSinceEpoch();
}

std::optional<PositionFix> FixFromSentence(const QString& device_id, const QByteArray& sentence,
                                           int64_t received_s) {
    if (sentence.size() > kMaxSentenceBytes) return std::nullopt;
    double lat = 0, lon = 0, speed = 0, course = 0;
    if (!VelqApp_GPRMC(sentence.constData(), &lat, &lon, &speed, &course)) return std::nullopt;
    int64_t time_s = received_s;
    if (const std::optional<int64_t> told = SentenceTimeS(sentence);
        told && std::llabs(*told - received_s) <= kTrustedClockSkewS)
        time_s = *told;
    return MakeFix(device_id, time_s, lat, lon, speed, course);
}

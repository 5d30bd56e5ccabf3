// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/gprmc.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace corvel {

namespace {

constexpr double kKmhPerKnot = 1.852;
constexpr int kLastField = 11;

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Decimal number of a field, read without regard to the process locale (a client running with a decimal
// comma must still read "23.2475"); a field that holds no number reads as 0, as the C conversion would.
double Number(std::string_view text) {
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}

// "ddmm.mmmm" (latitude, 2 degree digits) or "dddmm.mmmm" (longitude, 3): exactly that many characters with
// the point where it belongs, and digits elsewhere.
bool Coordinate(std::string_view field, size_t degree_digits, double* degrees) {
    const size_t point = degree_digits + 2;
    if (field.size() != point + 5 || field[point] != '.') return false;
    if (!AllDigits(field.substr(0, point)) || !AllDigits(field.substr(point + 1))) return false;
    double whole = 0.0;
    for (size_t i = 0; i < degree_digits; ++i) whole = whole * 10 + (field[i] - '0');
    *degrees = whole + Number(field.substr(degree_digits)) / 60.0;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lowercase digits do not match
}

}  // namespace

// Fields are taken only up to the '*': text after the checksum (another sentence, say) is not part of this
// one. A valid fix needs every field from the status to the course; a sentence cut short before them fails
// instead of reporting a fix without a position.
GprmcResult ParseGprmc(const char* text, GprmcFix* out) {
    if (text == nullptr) return GprmcResult::kNoSentence;
    const char* start = std::strstr(text, "$GPRMC");
    if (start == nullptr) return GprmcResult::kNoSentence;
    const char* star = std::strchr(start, '*');
    if (star == nullptr || star[-1] == 'N') return GprmcResult::kNoSentence;

    const std::string_view sentence(start + 1, static_cast<size_t>(star - start - 1));
    GprmcFix fix;
    int processed = -1;
    size_t from = 0;
    for (int index = 0; index <= kLastField; ++index) {
        const size_t comma = sentence.find(',', from);
        if (comma == std::string_view::npos) break;
        const std::string_view field = sentence.substr(from, comma - from);
        from = comma + 1;
        bool ok = true;
        switch (index) {
            case 2:
                ok = !field.empty() && field[0] == 'A';
                break;
            case 3:
                ok = Coordinate(field, 2, &fix.latitude);
                break;
            case 4:
                ok = !field.empty() && (field[0] == 'N' || field[0] == 'S');
                if (ok && field[0] == 'S') fix.latitude = -fix.latitude;
                break;
            case 5:
                ok = Coordinate(field, 3, &fix.longitude);
                break;
            case 6:
                ok = !field.empty() && (field[0] == 'E' || field[0] == 'W');
                if (ok && field[0] == 'W') fix.longitude = -fix.longitude;
                break;
            case 7:
                fix.speed_kmh = Number(field) * kKmhPerKnot;
                break;
            case 8:
                fix.course = Number(field);
                break;
            default:
                break;
        }
        if (!ok) {
            *out = GprmcFix{};
            return GprmcResult::kInvalid;
        }
        processed = index;
    }

    uint8_t sum = 0;
    for (char c : sentence) sum ^= static_cast<uint8_t>(c);
    const int high = HexDigit(star[1]);
    const int low = high < 0 ? -1 : HexDigit(star[2]);
    if (processed < 8 || low < 0 || (high << 4 | low) != sum) {
        *out = GprmcFix{};
        return GprmcResult::kInvalid;
    }
    *out = fix;
    return GprmcResult::kValid;
}

}  // namespace corvel

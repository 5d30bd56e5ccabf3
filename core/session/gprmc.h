// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace corvel {

// A position fix read from a $GPRMC sentence.
struct GprmcFix {
    double latitude = 0.0;   // decimal degrees, negative for south
    double longitude = 0.0;  // decimal degrees, negative for west
    double speed_kmh = 0.0;  // knots x 1.852
    double course = 0.0;     // degrees, as sent
};

enum class GprmcResult {
    kNoSentence,  // no "$GPRMC", no '*', or the mode says the data is not valid: outputs untouched
    kInvalid,     // a field check or the checksum failed: outputs are set to 0.0
    kValid,
};

// Parses the first $GPRMC sentence of a NUL-terminated text. Any thread; keeps no state.
GprmcResult ParseGprmc(const char* text, GprmcFix* fix);

}  // namespace corvel

// SPDX-License-Identifier: GPL-3.0-or-later
// $GPRMC parsing through the export, as one table of sentences and what each must give.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <string>

#include "corvel/corvel.h"

namespace {

// Appends "*HH" with the right checksum (or a given one).
std::string Sentence(const std::string& body, const char* checksum = nullptr) {
    unsigned sum = 0;
    for (char c : body.substr(1)) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof(tail), "*%02X", sum);
    return body + (checksum != nullptr ? std::string("*") + checksum : std::string(tail));
}

const std::string kGood = "$GPRMC,123519.000,A,3723.2475,N,12158.3416,W,12.5,84.4,230394,003.1,W,A";

struct Case {
    const char* name;
    std::string text;
    int result;
    // Expected outputs; `untouched` means the sentinel written before the call must still be there.
    bool untouched;
    double latitude, longitude, speed_kmh, course;
};

constexpr double kSentinel = 999.0;

TEST(Gprmc, SentencesAndTheirOutcomes) {
    const double lat = 37 + 23.2475 / 60, lon = -(121 + 58.3416 / 60);
    // The same sentence with its checksum letters in lowercase; the course is varied until it has one.
    std::string lowercase;
    for (int course = 0;
         lowercase.empty() || lowercase == Sentence(lowercase.substr(0, lowercase.size() - 3)); ++course) {
        lowercase = Sentence("$GPRMC,1,A,3723.2475,N,12158.3416,W,1.0," + std::to_string(course) + ",,,,A");
        for (size_t i = lowercase.size() - 2; i < lowercase.size(); ++i)
            lowercase[i] = static_cast<char>(std::tolower(lowercase[i]));
    }
    const Case cases[] = {
        {"valid fix", Sentence(kGood), 1, false, lat, lon, 12.5 * 1.852, 84.4},
        {"south and east", Sentence("$GPRMC,1,A,3723.2475,S,00158.3416,E,0.0,0.0,,,,A"), 1, false, -lat,
         1 + 58.3416 / 60, 0.0, 0.0},
        {"text before the sentence is ignored", "$GPGGA,1,2,3*00\r\n" + Sentence(kGood) + "\r\n", 1, false,
         lat, lon, 12.5 * 1.852, 84.4},
        {"older sentence without mode field",
         Sentence("$GPRMC,1,A,3723.2475,N,12158.3416,W,1.0,2.0,230394,,"), 1, false, lat, lon, 1.852, 2.0},
        {"status V", Sentence("$GPRMC,1,V,3723.2475,N,12158.3416,W,1.0,2.0,230394,,,A"), 0, false, 0, 0, 0,
         0},
        {"latitude with three decimals", Sentence("$GPRMC,1,A,3723.247,N,12158.3416,W,1.0,2.0,,,,A"), 0,
         false, 0, 0, 0, 0},
        {"longitude with the point misplaced", Sentence("$GPRMC,1,A,3723.2475,N,1215.83416,W,1.0,2.0,,,,A"),
         0, false, 0, 0, 0, 0},
        {"letters in the degrees", Sentence("$GPRMC,1,A,3X23.2475,N,12158.3416,W,1.0,2.0,,,,A"), 0, false, 0,
         0, 0, 0},
        {"hemisphere missing", Sentence("$GPRMC,1,A,3723.2475,,12158.3416,W,1.0,2.0,,,,A"), 0, false, 0, 0, 0,
         0},
        {"lowercase checksum", lowercase, 0, false, 0, 0, 0, 0},
        {"wrong checksum", Sentence(kGood, "00"), 0, false, 0, 0, 0, 0},
        {"one checksum digit", kGood + "*6", 0, false, 0, 0, 0, 0},
        {"cut before the course", Sentence("$GPRMC,1,A,3723.2475,N,12158.3416,W,1.0"), 0, false, 0, 0, 0, 0},
        {"fields after the star are not part of it",
         Sentence("$GPRMC,1,A,3723.2475,N,12158.3416") + ",W,1,2,", 0, false, 0, 0, 0, 0},
        {"mode N: data not valid", Sentence("$GPRMC,1,A,3723.2475,N,12158.3416,W,1.0,2.0,,,,N"), 0, true, 0,
         0, 0, 0},
        {"no star", kGood, 0, true, 0, 0, 0, 0},
        {"no sentence", "$GPGGA,123519,4807.038,N,01131.000,E*47", 0, true, 0, 0, 0, 0},
        {"empty text", "", 0, true, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double la = kSentinel, lo = kSentinel, sp = kSentinel, co = kSentinel;
        EXPECT_EQ(VelqApp_GPRMC(c.text.c_str(), &la, &lo, &sp, &co), c.result);
        if (c.untouched) {
            EXPECT_EQ(la, kSentinel);
            EXPECT_EQ(lo, kSentinel);
            EXPECT_EQ(sp, kSentinel);
            EXPECT_EQ(co, kSentinel);
            continue;
        }
        EXPECT_NEAR(la, c.latitude, 1e-9);
        EXPECT_NEAR(lo, c.longitude, 1e-9);
        EXPECT_NEAR(sp, c.speed_kmh, 1e-9);
        EXPECT_NEAR(co, c.course, 1e-9);
    }
}

TEST(Gprmc, NullOutputsAreSkippedAndTheLocaleDoesNotMatter) {
    EXPECT_EQ(VelqApp_GPRMC(Sentence(kGood).c_str(), nullptr, nullptr, nullptr, nullptr), 1);
    double latitude = 0;
    // A decimal-comma locale, where one is installed, must not change how the sentence reads.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(VelqApp_GPRMC(Sentence(kGood).c_str(), &latitude, nullptr, nullptr, nullptr), 1);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_NEAR(latitude, 37.387458333, 1e-9);
}

}  // namespace

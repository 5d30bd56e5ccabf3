// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One alarm episode of one vehicle: an alarm status word (8..15) that became active, until it became
// inactive again, with who acknowledged it; or a geofence crossing of the client's own (words 16..18,
// with the zone's name). Times are seconds since 1970; 0 means "not yet".
#include <QString>
#include <cstdint>
#include <functional>

struct AlarmEpisode {
    int64_t id = 0;     // unique and growing over the life of the history file
    QString device_id;  // the device's identifier (device information code 0)
    QString label;      // the vehicle's label as the tree shows it
    int word = 0;       // status word index 8..15, or one of the zone words below
    QString zone;       // the zone's name for the zone words, else empty
    int64_t started_s = 0;
    int64_t cleared_s = 0;  // 0 while the word is still active
    bool at_login = false;  // the word was already active when the client first saw the vehicle
    QString ack_user;       // empty while unacknowledged
    int64_t ack_s = 0;
    QString ack_comment;
    // How often the word came back on within the reopen window after going off: a flapping word stays one
    // episode instead of thousands (AlarmBook::SetReopenWindow).
    int repeats = 0;

    bool active() const { return cleared_s == 0; }
    bool acknowledged() const { return ack_s != 0; }
};

// Geofence alarms raised by the client itself: entering and leaving are momentary (opened and cleared at
// once, still to be acknowledged); speeding lasts while the vehicle stays above the zone's limit.
constexpr int kZoneEnteredWord = 16;
constexpr int kZoneLeftWord = 17;
constexpr int kZoneSpeedingWord = 18;
constexpr int kFirstAlarmWord = 8;
constexpr int kLastAlarmWord = kZoneSpeedingWord;

// The untranslated text of alarm word `word` (8..18), the key Translate takes; empty for other words.
// The zone words hold a %1 for the zone's name.
QString AlarmWordText(int word);
// The episode's kind as the operator reads it: the translated word, with the zone's name (plain text).
QString AlarmKindText(const AlarmEpisode& episode, const std::function<QString(const QString&)>& translate);

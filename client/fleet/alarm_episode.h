// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One alarm episode of one vehicle: an alarm status word (8..15) that became active, until it became
// inactive again, with who acknowledged it. Times are seconds since 1970; 0 means "not yet".
#include <QString>
#include <cstdint>

struct AlarmEpisode {
    int64_t id = 0;     // unique and growing over the life of the history file
    QString device_id;  // the device's identifier (device information code 0)
    QString label;      // the vehicle's label as the tree shows it
    int word = 0;       // status word index 8..15
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

// The untranslated text of alarm word `word` (8..15), the key Translate takes; empty for other words.
QString AlarmWordText(int word);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watching the listed vehicles' alarm words (8..15) as the library last received them. The library's
// status events only tell a change from one non-zero value to another; the words themselves also show a
// word going back to 0 and the words a vehicle already had when it was first seen. The watch reads a
// bounded slice of the vehicles per tick, skips those whose status serial did not move, and gives back
// which alarm words turned on or off. Plain class, UI thread only.
#include <QString>
#include <cstdint>
#include <vector>

// The listed vehicles as the watch reads them; rows are the client's vehicle rows.
class AlarmVehicles {
  public:
    virtual ~AlarmVehicles() = default;
    // Rows 0 .. Count() - 1 are listed.
    virtual int Count() const = 0;
    // The 16 status words as last received and the status serial (0: no status record yet); false when
    // the row has no device or the session is not logged in.
    virtual bool Words(int row, uint32_t* words, uint32_t* serial) const = 0;
    virtual QString DeviceId(int row) const = 0;
    virtual QString Label(int row) const = 0;
    // Seconds since 1970 of the vehicle's last report; 0 when unknown.
    virtual int64_t LastReport_s(int row) const = 0;
};

class AlarmWatch {
  public:
    struct Change {
        int row = 0;
        int word = 0;  // 8..15
        bool active = false;
        bool first_look = false;  // the vehicle's first status record since it was listed
    };

    // At most `rows_per_tick` vehicles are read by one Tick (at least 1).
    explicit AlarmWatch(int rows_per_tick) : rows_per_tick_(rows_per_tick < 1 ? 1 : rows_per_tick) {}

    // Reads the next slice of rows (going round), appends the alarm words that changed to `changes`, and
    // returns how many rows were read. On a vehicle's first status record every alarm word is reported,
    // active or not, so that episodes left open by an earlier run close.
    int Tick(const AlarmVehicles& vehicles, std::vector<Change>* changes);
    // Logout: rows are about to mean other vehicles.
    void Forget();

  private:
    struct Seen {
        uint32_t serial = 0;
        uint8_t active = 0;  // bit n: word 8 + n is not 0
    };
    int rows_per_tick_;
    int next_row_ = 0;
    std::vector<Seen> seen_;
};

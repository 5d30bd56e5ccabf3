// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When a page file waiting at login (--page, or the workspace file) is loaded: once the first device list
// is in, i.e. when the list announced no device, when the tree holds the devices it announced, or, for a
// list that came without all of them, at the third one-second tick after it began. Until then the
// workspace does not follow the grid (a list still arriving is no change of the operator's). Each call
// that returns true means: Take() the file and load it now. Plain class, UI thread only.
#include <QString>

class PageSchedule {
  public:
    // A file to load once listed (it replaces one waiting); true when the list is in already.
    bool Want(const QString& path);
    // Event 128 (the first list counts; later ones do not change the schedule).
    bool ListBegins(int devices);
    // The tree now holds `devices` devices.
    bool DevicesListed(int devices);
    // The one-second tick.
    bool Tick();
    // The waiting file, which no longer waits.
    QString Take();
    // Logout: the next login's list is waited for again.
    void LoggedOut();

    bool waiting() const { return !pending_.isEmpty(); }
    // Whether the workspace file may follow the grid now.
    bool savesAllowed() const { return pending_.isEmpty() && listed_ >= 0; }

  private:
    // Ticks after the list began at which a file waiting for missing devices is loaded anyway.
    static constexpr int kWaitTicks = 3;
    QString pending_;
    int listed_ = -1;  // devices of the first list, -1 before it
    int ticks_ = 0;
};

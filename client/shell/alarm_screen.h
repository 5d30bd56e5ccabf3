// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an alarm's video opens: the main window's grid (0, the default) or the wall of one screen, chosen
// by the operator and kept in Tavrin.ini (kKey). The choice outlives the screen: a screen that is gone,
// or that now shows the main window, sends the video to the main grid until it is back. UI thread only.
#include <QString>

class OwnSettings;

class AlarmScreen {
  public:
    static inline const QString kKey = QStringLiteral("AlarmScreen");
    // Screens are counted from 1; a damaged value beyond this reads as the main window.
    static constexpr int kMaxScreen = 16;

    // `own` outlives the object; the choice is read from it now.
    explicit AlarmScreen(OwnSettings& own);

    int chosen() const { return chosen_; }
    // `screen` (0 = the main window) becomes the choice and is written to Tavrin.ini; false when it is
    // out of range (nothing changes) or could not be written (the choice holds for this run).
    bool Choose(int screen);
    // The screen whose wall takes the alarm video now, among `screen_count` screens of which
    // `main_screen` (1-based, 0 if unknown) shows the main window; 0 for the main grid.
    int Target(int screen_count, int main_screen) const;

  private:
    OwnSettings& own_;
    int chosen_ = 0;
};

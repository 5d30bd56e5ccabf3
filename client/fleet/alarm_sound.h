// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alert sound of a new alarm. The output is chosen like the library's sound output (CORVEL_SOUND_OUT):
// "null" or a machine without an audio output plays nothing but counts what it would have played, so every
// path runs in tests and on headless machines; otherwise Qt Multimedia plays the short WAV among our data.
// A burst of alarms gives one sound: plays closer than kMinGapMs to the last are skipped. UI thread only.
#include <QString>
#include <memory>

class QSoundEffect;

class AlarmSound {
  public:
    static constexpr int kMinGapMs = 1000;

    // `backend`: the CORVEL_SOUND_OUT value ("auto" or empty: a device when there is one). `source`: the
    // WAV, a file path or a "qrc:" URL.
    AlarmSound(const QString& backend, const QString& source);
    ~AlarmSound();

    void SetEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    // Plays the alert unless disabled or within kMinGapMs of the last; `now_ms` is a monotonic clock.
    // Returns whether a play was started (on the null output: counted).
    bool Alert(int64_t now_ms);
    bool isNull() const { return !effect_; }
    int plays() const { return plays_; }

  private:
    std::unique_ptr<QSoundEffect> effect_;
    bool enabled_ = true;
    int plays_ = 0;
    int64_t last_ms_ = -1;
};

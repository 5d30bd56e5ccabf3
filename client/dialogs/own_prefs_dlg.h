// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preference page of this client's own features (Tavrin.ini, OwnPrefs): evidence recordings (seconds
// kept before a recording, recording on alarm and for how long after), alarms (sound, video on alarm,
// days of history) and tiles (labels, stretching). Refresh loads Tavrin.ini, Default the built-in values;
// Save writes every key and hands the new values to `applied`; a failed write says so in the dialog,
// which stays open with what was entered. UI thread only.
#include <functional>

#include "app/own_prefs.h"
#include "dialogs/preference_dlg.h"

class OwnSettings;
class QCheckBox;
class QLabel;
class QSpinBox;

class OwnPrefsDlg : public PreferenceDlg {
    Q_OBJECT
  public:
    // `own` outlives the dialog. `applied` (may be empty) runs after a successful Save.
    OwnPrefsDlg(OwnSettings& own, std::function<void(const OwnPrefs&)> applied, QWidget* parent = nullptr);

    void Refresh() override;
    void Default() override;
    void Save() override;

    // What the controls hold now.
    OwnPrefs Entered() const;
    // The failure shown after the last Save (empty when it succeeded).
    QString ErrorText() const;

  private:
    void Load(const OwnPrefs& prefs);

    OwnSettings& own_;
    std::function<void(const OwnPrefs&)> applied_;
    QSpinBox* pre_alarm_;
    QCheckBox* record_on_alarm_;
    QSpinBox* post_alarm_;
    QCheckBox* alarm_sound_;
    QCheckBox* alarm_video_;
    QSpinBox* history_days_;
    QCheckBox* tile_label_;
    QCheckBox* tile_stretch_;
    QLabel* error_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CCycleDlg: automatic page cycling, the seconds per page (CycleDuration, 0 = none) and which clicks stop
// it (CycleStopMode bits: 1 device list, 2 display window, 4 anywhere). Saving restarts or stops the
// grid's countdown at once.
#include <functional>

#include "app/app_settings.h"
#include "app/settings_store.h"
#include "dialogs/preference_dlg.h"
#include "dialogs/preference_rules.h"

class QCheckBox;

// The grid's page-cycle countdown, as the main window's grid offers it.
struct CycleCountdown {
    std::function<bool()> running;
    std::function<void(int seconds)> set;
};

class CCycleDlg : public PreferenceDlg {
    Q_OBJECT
  public:
    // `settings` and `store` outlive the dialog. A Save the store could not write keeps the dialog open
    // (the values entered still apply to this session).
    CCycleDlg(AppSettings& settings, SettingsStore& store, CycleCountdown countdown,
              QWidget* parent = nullptr);

    void Refresh() override;
    void Default() override;
    void Save() override;
    void Load(const preferences::CycleValues& values);

    QLineEdit* durationEdit() const { return duration_; }
    QCheckBox* clickDeviceList() const { return device_list_; }
    QCheckBox* clickDisplayWindow() const { return display_window_; }
    QCheckBox* clickAnywhere() const { return anywhere_; }

  private:
    AppSettings& settings_;  // the application's, outlives the dialog
    SettingsStore& store_;
    CycleCountdown countdown_;
    QLineEdit* duration_ = nullptr;
    QCheckBox* device_list_ = nullptr;
    QCheckBox* display_window_ = nullptr;
    QCheckBox* anywhere_ = nullptr;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CRecordDlg: the folder recordings go to (RecordPath) and their longest duration (RecordDuration,
// seconds, 0 = not limited).
#include "app/app_settings.h"
#include "app/settings_store.h"
#include "dialogs/preference_dlg.h"
#include "dialogs/preference_rules.h"

class CRecordDlg : public PreferenceDlg {
    Q_OBJECT
  public:
    // `settings` and `store` outlive the dialog. A Save the store could not write keeps the dialog open.
    CRecordDlg(AppSettings& settings, SettingsStore& store, QWidget* parent = nullptr);

    void Refresh() override;
    void Default() override;
    void Save() override;
    void Load(const preferences::FolderValues& values);

    QLineEdit* pathEdit() const { return path_; }
    QLineEdit* durationEdit() const { return duration_; }

  private:
    AppSettings& settings_;  // the application's, outlives the dialog
    SettingsStore& store_;
    QLineEdit* path_ = nullptr;
    QLineEdit* duration_ = nullptr;
};

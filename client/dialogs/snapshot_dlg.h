// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSnapshotDlg: the folder snapshots go to (SnapshotPath) and whether it opens after each snapshot
// (SnapshotOpenPath).
#include "app/app_settings.h"
#include "app/settings_store.h"
#include "dialogs/preference_dlg.h"
#include "dialogs/preference_rules.h"

class QCheckBox;

class CSnapshotDlg : public PreferenceDlg {
    Q_OBJECT
  public:
    // `settings` and `store` outlive the dialog. A Save the store could not write keeps the dialog open.
    CSnapshotDlg(AppSettings& settings, SettingsStore& store, QWidget* parent = nullptr);

    void Refresh() override;
    void Default() override;
    void Save() override;
    void Load(const preferences::FolderValues& values);

    QLineEdit* pathEdit() const { return path_; }
    QCheckBox* openCheck() const { return open_; }

  private:
    AppSettings& settings_;  // the application's, outlives the dialog
    SettingsStore& store_;
    QLineEdit* path_ = nullptr;
    QCheckBox* open_ = nullptr;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// COptionDlg: the video buffer time (LowDelay, tenths of a second) and the language of the next start.
// Saving applies the buffer time at once to every channel the grid plays.
#include <QList>
#include <functional>

#include "app/app_settings.h"
#include "app/settings_store.h"
#include "corvel/corvel.h"
#include "dialogs/preference_dlg.h"
#include "dialogs/preference_rules.h"

class QComboBox;
class QSlider;

class COptionDlg : public PreferenceDlg {
    Q_OBJECT
  public:
    // `playing_channels` lists the channels of the grid's display windows (the main window's grid).
    // `settings` and `store` outlive the dialog. A Save the store could not write keeps the dialog open
    // (the buffer time still applies to this session).
    COptionDlg(AppSettings& settings, SettingsStore& store,
               std::function<QList<AppChannel*>()> playing_channels, QWidget* parent = nullptr);

    void Refresh() override;
    void Default() override;
    void Save() override;

    // Loads the controls from `values` only.
    void Load(const preferences::OptionValues& values);
    QSlider* bufferSlider() const { return slider_; }
    QComboBox* languageList() const { return language_; }
    // The tool tip text for the slider's current position.
    QString bufferToolTip() const;

  private:
    AppSettings& settings_;  // the application's, outlives the dialog
    SettingsStore& store_;
    void ShowToolTip();

    std::function<QList<AppChannel*>()> playing_channels_;
    QSlider* slider_ = nullptr;
    QComboBox* language_ = nullptr;
};

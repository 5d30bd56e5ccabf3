// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/cycle_dlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "dialogs/digits_validator.h"

CCycleDlg::CCycleDlg(AppSettings& settings, SettingsStore& store, CycleCountdown countdown, QWidget* parent)
    : PreferenceDlg(AppProfile::Translate(QStringLiteral("Cycle Page")), store.programFolder(), parent),
      settings_(settings),
      store_(store),
      countdown_(std::move(countdown)) {
    duration_ = AddSecondsRow(AppProfile::Translate(QStringLiteral("Auto-Change Duration(Seconds):")),
                              AppProfile::Translate(QStringLiteral("0: Stop Auto-Change")));
    body()->addWidget(
        new QLabel(AppProfile::Translate(QStringLiteral("Stop Auto-Change Page When Clicked:"))));
    device_list_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Click Device List")));
    display_window_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Click Display Window")));
    anywhere_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Click Anywhere")));
    body()->addWidget(device_list_);
    body()->addWidget(display_window_);
    body()->addWidget(anywhere_);
    body()->addStretch(1);
    // "Anywhere" includes the other two places; unchecking it leaves them as they are.
    connect(anywhere_, &QCheckBox::clicked, this, [this](bool checked) {
        if (!checked) return;
        device_list_->setChecked(true);
        display_window_->setChecked(true);
    });
}

void CCycleDlg::Load(const preferences::CycleValues& values) {
    duration_->setText(QString::number(values.duration_s));
    device_list_->setChecked(values.click_device_list);
    display_window_->setChecked(values.click_display_window);
    anywhere_->setChecked(values.click_anywhere);
}

void CCycleDlg::Refresh() {
    // The stored duration, which a click may have stopped in memory only; the cached one when not stored.
    const AppSettings& settings = settings_;
    Load(preferences::CycleValuesOf(store_.cycleDuration_s(settings.CycleDuration), settings.CycleStopMode));
}

void CCycleDlg::Default() {
    Load(preferences::CycleValues{});
}

void CCycleDlg::Save() {
    AppSettings& settings = settings_;
    const preferences::CycleValues values{ParseDigits(duration_->text()).value_or(0),
                                          device_list_->isChecked(), display_window_->isChecked(),
                                          anywhere_->isChecked()};
    settings.CycleDuration = values.duration_s;
    settings.CycleStopMode = preferences::StopModeOf(values);
    const bool stored = store_.SetCycle(settings.CycleDuration, settings.CycleStopMode);
    const bool running = countdown_.running && countdown_.running();
    if (countdown_.set && preferences::SetsCountdown(settings.CycleDuration, running)) {
        countdown_.set(settings.CycleDuration);
    }
    if (stored)
        ClearSaveError();
    else
        ShowSaveError(store_.settingsFile());
}

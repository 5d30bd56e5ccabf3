// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/own_prefs_dlg.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "app/own_settings.h"

namespace {

QSpinBox* Seconds(int lo, int hi) {
    auto* box = new QSpinBox;
    box->setRange(lo, hi);
    return box;
}

}  // namespace

OwnPrefsDlg::OwnPrefsDlg(OwnSettings& own, std::function<void(const OwnPrefs&)> applied, QWidget* parent)
    : PreferenceDlg(AppProfile::Translate(QStringLiteral("Evidence and Alarm Setting")),
                    own.path().isEmpty() ? QString() : QFileInfo(own.path()).absolutePath() + u'/', parent),
      own_(own),
      applied_(std::move(applied)) {
    auto* form = new QFormLayout;
    pre_alarm_ = Seconds(0, OwnPrefs::kMaxPreAlarm_s);
    form->addRow(AppProfile::Translate(QStringLiteral("Keep Before Recording(Seconds):")), pre_alarm_);
    record_on_alarm_ = new QCheckBox(
        AppProfile::Translate(QStringLiteral("Record Channels On The Grid When Their Vehicle Alarms")));
    form->addRow(record_on_alarm_);
    post_alarm_ = Seconds(OwnPrefs::kMinPostAlarm_s, OwnPrefs::kMaxPostAlarm_s);
    form->addRow(AppProfile::Translate(QStringLiteral("Record After The Last Alarm(Seconds):")), post_alarm_);
    alarm_sound_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Sound On New Alarm")));
    form->addRow(alarm_sound_);
    alarm_video_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Show Video On New Alarm")));
    form->addRow(alarm_video_);
    history_days_ = Seconds(1, OwnPrefs::kMaxHistoryDays);
    form->addRow(AppProfile::Translate(QStringLiteral("Keep Alarm History(Days):")), history_days_);
    tile_label_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Show Labels Over Video")));
    form->addRow(tile_label_);
    tile_stretch_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Stretch Video Over Its Window")));
    form->addRow(tile_stretch_);
    body()->addLayout(form);
    error_ = new QLabel;
    error_->setTextFormat(Qt::PlainText);
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #d03030"));
    error_->hide();
    body()->addWidget(error_);
    record_on_alarm_->setObjectName(QStringLiteral("recordOnAlarm"));
    connect(record_on_alarm_, &QCheckBox::toggled, post_alarm_, &QWidget::setEnabled);
}

void OwnPrefsDlg::Load(const OwnPrefs& prefs) {
    pre_alarm_->setValue(prefs.pre_alarm_s);
    record_on_alarm_->setChecked(prefs.record_on_alarm);
    post_alarm_->setValue(prefs.post_alarm_s);
    post_alarm_->setEnabled(prefs.record_on_alarm);
    alarm_sound_->setChecked(prefs.alarm_sound);
    alarm_video_->setChecked(prefs.alarm_auto_video);
    history_days_->setValue(prefs.alarm_history_days);
    tile_label_->setChecked(prefs.tile_label);
    tile_stretch_->setChecked(prefs.tile_stretch);
    error_->clear();
    error_->hide();
}

void OwnPrefsDlg::Refresh() {
    Load(OwnPrefs::Read(own_));
}

void OwnPrefsDlg::Default() {
    Load(OwnPrefs{});
}

OwnPrefs OwnPrefsDlg::Entered() const {
    OwnPrefs prefs;
    prefs.pre_alarm_s = pre_alarm_->value();
    prefs.record_on_alarm = record_on_alarm_->isChecked();
    prefs.post_alarm_s = post_alarm_->value();
    prefs.alarm_sound = alarm_sound_->isChecked();
    prefs.alarm_auto_video = alarm_video_->isChecked();
    prefs.alarm_history_days = history_days_->value();
    prefs.tile_label = tile_label_->isChecked();
    prefs.tile_stretch = tile_stretch_->isChecked();
    return prefs;
}

QString OwnPrefsDlg::ErrorText() const {
    return error_->text();
}

void OwnPrefsDlg::Save() {
    const OwnPrefs prefs = Entered();
    if (!prefs.Write(own_)) {
        error_->setText(
            AppProfile::Translate(
                QStringLiteral(
                    "The settings could not be saved to %1. Check that the folder can be written."))
                .arg(own_.path()));
        error_->show();
        KeepOpenAfterSave();
        return;
    }
    error_->clear();
    error_->hide();
    if (applied_) applied_(prefs);
}

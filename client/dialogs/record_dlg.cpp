// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/record_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/app_folders.h"
#include "app/app_profile.h"
#include "dialogs/digits_validator.h"
#include "dialogs/folder_setting.h"

namespace {

QString DefaultRecordFolder(const SettingsStore& store) {
    return store.folders() ? store.folders()->record_default : QString();
}

}  // namespace

CRecordDlg::CRecordDlg(AppSettings& settings, SettingsStore& store, QWidget* parent)
    : PreferenceDlg(AppProfile::Translate(QStringLiteral("Record Setting")), store.programFolder(), parent),
      settings_(settings),
      store_(store) {
    path_ = AddFolderRow(AppProfile::Translate(QStringLiteral("Record Path:")));
    duration_ = AddSecondsRow(AppProfile::Translate(QStringLiteral("Record Duration(Seconds):")),
                              AppProfile::Translate(QStringLiteral("0: Not Limited")));
    body()->addStretch(1);
}

void CRecordDlg::Load(const preferences::FolderValues& values) {
    path_->setText(values.path);
    duration_->setText(QString::number(values.record_duration_s));
}

void CRecordDlg::Refresh() {
    const AppSettings& settings = settings_;
    Load({settings.RecordPath, settings.RecordDuration, true});
}

void CRecordDlg::Default() {
    Load({DefaultRecordFolder(store_), AppSettings::kDefaultRecordDuration_s, true});
}

void CRecordDlg::Save() {
    AppSettings& settings = settings_;
    settings.RecordPath = StoredFolder(path_->text(), DefaultRecordFolder(store_));
    settings.RecordDuration = ParseDigits(duration_->text()).value_or(0);
    if (!store_.SetRecord(settings.RecordPath, settings.RecordDuration)) {
        ShowSaveError(store_.settingsFile());
        return;
    }
    ClearSaveError();
}

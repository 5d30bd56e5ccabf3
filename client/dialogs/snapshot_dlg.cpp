// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/snapshot_dlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/app_folders.h"
#include "app/app_profile.h"
#include "dialogs/folder_setting.h"

namespace {

QString DefaultSnapshotFolder(const SettingsStore& store) {
    return store.folders() ? store.folders()->snapshot_default : QString();
}

}  // namespace

CSnapshotDlg::CSnapshotDlg(AppSettings& settings, SettingsStore& store, QWidget* parent)
    : PreferenceDlg(AppProfile::Translate(QStringLiteral("Snapshot Setting")), store.programFolder(), parent),
      settings_(settings),
      store_(store) {
    path_ = AddFolderRow(AppProfile::Translate(QStringLiteral("Snapshot Path:")));
    open_ = new QCheckBox(AppProfile::Translate(QStringLiteral("Open Path After Snapshoted")));
    body()->addWidget(open_);
    body()->addStretch(1);
}

void CSnapshotDlg::Load(const preferences::FolderValues& values) {
    path_->setText(values.path);
    open_->setChecked(values.open_after_snapshot);
}

void CSnapshotDlg::Refresh() {
    const AppSettings& settings = settings_;
    Load({settings.SnapshotPath, 0, settings.SnapshotOpenPath != 0});
}

void CSnapshotDlg::Default() {
    Load({DefaultSnapshotFolder(store_), 0, true});
}

void CSnapshotDlg::Save() {
    AppSettings& settings = settings_;
    settings.SnapshotPath = StoredFolder(path_->text(), DefaultSnapshotFolder(store_));
    settings.SnapshotOpenPath = open_->isChecked() ? 1 : 0;
    if (!store_.SetSnapshot(settings.SnapshotPath, settings.SnapshotOpenPath != 0)) {
        ShowSaveError(store_.settingsFile());
        return;
    }
    ClearSaveError();
}

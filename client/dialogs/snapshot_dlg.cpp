// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/snapshot_dlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "dialogs/folder_setting.h"

namespace {

QString DefaultSnapshotFolder() {
    return AppProfile::Current() ? AppProfile::Current()->folders().snapshot_default : QString();
}

}  // namespace

CSnapshotDlg::CSnapshotDlg(AppSettings& settings, QWidget* parent)
    : PreferenceDlg(AppProfile::Translate(QStringLiteral("Snapshot Setting")), parent), settings_(settings) {
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
    Load({DefaultSnapshotFolder(), 0, true});
}

void CSnapshotDlg::Save() {
    AppSettings& settings = settings_;
    settings.SnapshotPath = StoredFolder(path_->text(), DefaultSnapshotFolder());
    settings.SnapshotOpenPath = open_->isChecked() ? 1 : 0;
    AppProfile::WriteString(QStringLiteral("SnapshotPath"), settings.SnapshotPath);
    AppProfile::WriteString(QStringLiteral("SnapshotOpenPath"), QString::number(settings.SnapshotOpenPath));
}

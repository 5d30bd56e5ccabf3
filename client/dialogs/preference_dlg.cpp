// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/preference_dlg.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "dialogs/digits_validator.h"
#include "dialogs/folder_setting.h"

PreferenceDlg::PreferenceDlg(const QString& group_title, const QString& program_folder, QWidget* parent)
    : QDialog(parent), program_folder_(program_folder) {
    setWindowTitle(AppProfile::Translate(QStringLiteral("Preferences")));
    auto* group = new QGroupBox(group_title);
    body_ = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    const struct {
        int id;
        QString text;
    } buttons[] = {{kRefresh, AppProfile::Translate(QStringLiteral("Refresh"))},
                   {kSave, AppProfile::Translate(QStringLiteral("Save"))},
                   {kCancel, AppProfile::Translate(QStringLiteral("Cancel"))},
                   {kDefault, AppProfile::Translate(QStringLiteral("Default"))}};
    for (const auto& entry : buttons) {
        auto* button = new QPushButton(entry.text);
        button->setObjectName(QStringLiteral("button%1").arg(entry.id));
        button->setAutoDefault(entry.id == kSave);
        button->setDefault(entry.id == kSave);
        row->addWidget(button);
    }
    row->insertStretch(0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    save_error_ = new QLabel;
    save_error_->setObjectName(QStringLiteral("saveError"));
    save_error_->setTextFormat(Qt::PlainText);  // the path is the operator's, shown as it is
    save_error_->setWordWrap(true);
    save_error_->hide();
    layout->addWidget(save_error_);
    layout->addLayout(row);
    connect(qobject_cast<QPushButton*>(button(kRefresh)), &QPushButton::clicked, this, [this] { Refresh(); });
    connect(qobject_cast<QPushButton*>(button(kSave)), &QPushButton::clicked, this, [this] {
        keep_open_ = false;
        Save();
        if (!keep_open_) hide();
    });
    connect(qobject_cast<QPushButton*>(button(kCancel)), &QPushButton::clicked, this, &QWidget::hide);
    connect(qobject_cast<QPushButton*>(button(kDefault)), &QPushButton::clicked, this, [this] { Default(); });
    resize(480, 1);  // as high as the page's controls need (FitHeight, when shown)
}

QString PreferenceDlg::saveErrorText() const {
    return save_error_->text();
}

void PreferenceDlg::ShowSaveError(const QString& settings_file) {
    save_error_->setText(
        AppProfile::Translate(QStringLiteral("The settings could not be saved to %1. Check that the "
                                             "folder can be written."))
            .arg(QDir::toNativeSeparators(settings_file)));
    save_error_->show();
    KeepOpenAfterSave();
}

void PreferenceDlg::ClearSaveError() {
    save_error_->clear();
    save_error_->hide();
}

QAbstractButton* PreferenceDlg::button(int control_id) const {
    return findChild<QAbstractButton*>(QStringLiteral("button%1").arg(control_id));
}

void PreferenceDlg::ShowCurrent() {
    Refresh();
    show();
    raise();
    activateWindow();
}

QLineEdit* PreferenceDlg::AddFolderRow(const QString& label) {
    auto* edit = new QLineEdit;
    auto* browse = new QPushButton(AppProfile::Translate(QStringLiteral("Browse...")));
    browse->setAutoDefault(false);
    browse->setObjectName(QStringLiteral("browse"));
    connect(browse, &QPushButton::clicked, this, [this, edit] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, AppProfile::Translate(QStringLiteral("Please select a folder...")),
            BrowseStartFolder(edit->text(), program_folder_), QFileDialog::ShowDirsOnly);
        if (!folder.isEmpty()) edit->setText(folder);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(browse);
    body_->addWidget(new QLabel(label));
    body_->addLayout(row);
    return edit;
}

QLineEdit* PreferenceDlg::AddSecondsRow(const QString& label, const QString& note) {
    auto* edit = new QLineEdit;
    edit->setValidator(new DigitsValidator(INT32_MAX, edit));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label));
    row->addWidget(edit);
    row->addWidget(new QLabel(note), 1);
    body_->addLayout(row);
    return edit;
}

void PreferenceDlg::reject() {
    hide();
}

void PreferenceDlg::showEvent(QShowEvent* e) {
    FitHeight();
    QDialog::showEvent(e);
}

void PreferenceDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    FitHeight();
}

void PreferenceDlg::FitHeight() {
    QLayout* frame = layout();
    if (!frame || !frame->hasHeightForWidth()) return;
    const int need = frame->totalHeightForWidth(width());
    if (need != minimumHeight()) setMinimumHeight(need);
    if (height() < need) resize(width(), need);
}

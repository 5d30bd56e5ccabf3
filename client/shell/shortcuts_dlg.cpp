// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/shortcuts_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "shell/shortcut_table.h"

ShortcutsDlg::ShortcutsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(AppProfile::Translate(QStringLiteral("Shortcuts")));
    const std::span<const ShortcutEntry> entries = ShortcutTable();
    table_ = new QTableWidget(int(entries.size()), 2, this);
    table_->setAccessibleName(AppProfile::Translate(QStringLiteral("Shortcuts")));
    table_->setHorizontalHeaderLabels(
        {AppProfile::Translate(QStringLiteral("Keys")), AppProfile::Translate(QStringLiteral("Action"))});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < int(entries.size()); ++row) {
        auto* keys = new QTableWidgetItem(KeysText(entries[size_t(row)]));
        // Key names read left to right whatever the language's direction.
        keys->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter | Qt::AlignAbsolute);
        table_->setItem(row, 0, keys);
        table_->setItem(
            row, 1,
            new QTableWidgetItem(AppProfile::Translate(QString::fromLatin1(entries[size_t(row)].text))));
    }
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)
        ->setAccessibleName(AppProfile::Translate(QStringLiteral("Close")));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(560, 520);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "corvel/corvel.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(AppProfile::Translate(QStringLiteral("About Tavrin")));
    auto* icon = new QLabel(this);
    icon->setPixmap(windowIcon().pixmap(48, 48));
    auto* name = new QLabel(AppProfile::Translate(QStringLiteral("Tavrin Version 1.0")), this);
    name->setTextFormat(Qt::PlainText);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    const uint32_t version = uint32_t(VelqApp_GetVersion());
    auto* second =
        new QLabel(AppProfile::Translate(QStringLiteral("Protocol version")) +
                       QString::asprintf(" %c%c.%c.%c", char(version & 0xFF), char((version >> 8) & 0xFF),
                                         char((version >> 16) & 0xFF), char((version >> 24) & 0xFF)) +
                       QStringLiteral(", ") + QStringLiteral(TAVRIN_VERSION),
                   this);
    second->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(second);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(12);
    row->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/message_box.h"

#include <QMessageBox>

QMessageBox* ShowMessage(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, parent ? parent->windowTitle() : QString(), text,
                                QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

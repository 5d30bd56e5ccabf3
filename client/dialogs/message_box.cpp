// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/message_box.h"

#include <QMessageBox>

QMessageBox* ShowMessage(QWidget* parent, const QString& text) {
    // One box per dialog: a second press while the first box is up brings it forward with the new text
    // instead of stacking another.
    if (parent) {
        for (QMessageBox* open : parent->findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly)) {
            if (!open->isVisible()) continue;
            open->setText(text);
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto* box = new QMessageBox(QMessageBox::Warning, parent ? parent->windowTitle() : QString(), text,
                                QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->open();
    return box;
}

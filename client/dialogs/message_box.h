// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialogs' message boxes: a warning owned by `parent`, shown window-modal without blocking the
// caller (what follows the message in the caller still runs, as the dialogs' rules want), deleted when
// closed. The text is shown as plain text.
#include <QString>

class QMessageBox;
class QWidget;

QMessageBox* ShowMessage(QWidget* parent, const QString& text);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small modal about box: the application icon, "Tavrin Version 1.0", the library's protocol version
// and an OK button.
#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

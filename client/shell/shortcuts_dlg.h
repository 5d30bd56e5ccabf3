// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Help -> Shortcuts: the keys of the shortcut table and what they do, in the operator's language. UI
// thread only.
#include <QDialog>

class QTableWidget;

class ShortcutsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit ShortcutsDlg(QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }

  private:
    QTableWidget* table_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs' warning box: a second warning while the first is up reuses it instead of stacking.
#include <QDialog>
#include <QMessageBox>
#include <QTest>

#include "dialogs/message_box.h"

class MessageBoxTest : public QObject {
    Q_OBJECT
  private slots:
    void repeatedWarningsShareOneBox() {
        QDialog parent;
        parent.setWindowTitle("Owner");
        parent.show();
        QMessageBox* first = ShowMessage(&parent, "one <b>two</b>");
        QVERIFY(first->isVisible());
        QVERIFY(first->isModal());
        QCOMPARE(first->textFormat(), Qt::PlainText);
        QMessageBox* second = ShowMessage(&parent, "again");
        QCOMPARE(second, first);
        QCOMPARE(first->text(), QString("again"));
        QCOMPARE(parent.findChildren<QMessageBox*>().size(), 1);
        // Once closed, the next warning gets a box of its own.
        first->close();
        QTRY_COMPARE(parent.findChildren<QMessageBox*>().size(), 0);
        QMessageBox* third = ShowMessage(&parent, "later");
        QVERIFY(third->isVisible());
        QCOMPARE(parent.findChildren<QMessageBox*>().size(), 1);
    }
};

QTEST_MAIN(MessageBoxTest)
#include "message_box_test.moc"

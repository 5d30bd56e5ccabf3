// SPDX-License-Identifier: GPL-3.0-or-later
// CxButton: press, release and click reach the owner in that order, from the mouse and the space bar,
// and a hold that ends without a release still reports one.
#include <QtTest>

#include "dialogs/x_button.h"

class XButtonTest : public QObject {
    Q_OBJECT
  private:
    // Notification codes in the order they arrive, the ordinary click recorded as 0.
    QList<int> codes_;
    void Watch(CxButton& button) {
        codes_.clear();
        connect(&button, &CxButton::Notified, this, [this, &button](int id, int code) {
            QCOMPARE(id, button.control_id());
            codes_ << code;
        });
        connect(&button, &QPushButton::clicked, this, [this] { codes_ << 0; });
    }

  private slots:
    void MousePressReleaseClickInOrder() {
        CxButton button(1202, QStringLiteral("Left"));
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        Watch(button);
        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(codes_, QList<int>({2}));
        QVERIFY(button.held());
        QTest::mouseRelease(&button, Qt::LeftButton);
        QCOMPARE(codes_, QList<int>({2, 3, 0}));
        // Released outside the button: the stop still comes, the click does not.
        codes_.clear();
        QTest::mousePress(&button, Qt::LeftButton);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(-50, -50));
        QCOMPARE(codes_, QList<int>({2, 3}));
        // Other mouse buttons send nothing of their own.
        codes_.clear();
        QTest::mouseClick(&button, Qt::RightButton);
        QCOMPARE(codes_, QList<int>());
    }

    void SpaceBarLikewiseOtherKeysNothingRepeatsIgnored() {
        CxButton button(1208, QStringLiteral("Zoom Up"));
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        button.setFocus();
        Watch(button);
        QTest::keyPress(&button, Qt::Key_Space);
        QKeyEvent repeat_press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QKeyEvent repeat_release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                                 true);
        QApplication::sendEvent(&button, &repeat_release);
        QApplication::sendEvent(&button, &repeat_press);
        QCOMPARE(codes_, QList<int>({2}));
        QTest::keyRelease(&button, Qt::Key_Space);
        QCOMPARE(codes_, QList<int>({2, 3, 0}));
        codes_.clear();
        QTest::keyClick(&button, Qt::Key_A);
        QTest::keyClick(&button, Qt::Key_Return);
        QCOMPARE(codes_.count(2) + codes_.count(3), 0);
    }

    void AHoldEndedByHidingOrDisablingReportsTheRelease() {
        CxButton button(1200, QStringLiteral("Up"));
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        Watch(button);
        QTest::mousePress(&button, Qt::LeftButton);
        button.setEnabled(false);
        QCOMPARE(codes_, QList<int>({2, 3}));
        button.setEnabled(true);
        codes_.clear();
        QTest::mousePress(&button, Qt::LeftButton);
        button.hide();
        QCOMPARE(codes_, QList<int>({2, 3}));
        QVERIFY(!button.held());
    }

    void FocusMovingAwayEndsASpaceBarHoldButNotAMouseHold() {
        QWidget window;
        auto* button = new CxButton(1201, QStringLiteral("Down"), &window);
        auto* other = new QPushButton(QStringLiteral("Other"), &window);
        other->move(0, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Watch(*button);
        button->setFocus();
        QTest::mousePress(button, Qt::LeftButton);
        QFocusEvent tab_away(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(button, &tab_away);
        QCOMPARE(codes_, QList<int>({2}));  // the mouse's release still comes to the button
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(codes_.mid(0, 2), QList<int>({2, 3}));  // Qt drops the click of a button that lost focus
        codes_.clear();
        QTest::keyPress(button, Qt::Key_Space);
        QApplication::sendEvent(button, &tab_away);
        QCOMPARE(codes_, QList<int>({2, 3}));
    }
};

QTEST_MAIN(XButtonTest)
#include "x_button_test.moc"

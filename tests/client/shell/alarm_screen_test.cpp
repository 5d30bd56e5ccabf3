// SPDX-License-Identifier: GPL-3.0-or-later
// Where an alarm's video goes (AlarmScreen): the choice kept in Tavrin.ini, a damaged value read as the
// main window, and a chosen screen that is gone or shows the main window sending the video to the main grid.
#include <QTest>

#include "../client_fixture.h"
#include "app/own_settings.h"
#include "shell/alarm_screen.h"

class AlarmScreenTest : public QObject {
    Q_OBJECT
    ScratchHome home_;

  private slots:
    void theChoiceIsKeptForTheNextStart() {
        OwnSettings own(home_.path());
        AlarmScreen alarm(own);
        QCOMPARE(alarm.chosen(), 0);  // the main window by default
        QVERIFY(alarm.Choose(2));
        QVERIFY(!alarm.Choose(-1));
        QVERIFY(!alarm.Choose(AlarmScreen::kMaxScreen + 1));
        QCOMPARE(alarm.chosen(), 2);
        OwnSettings again(home_.path());
        QCOMPARE(AlarmScreen(again).chosen(), 2);
        QCOMPARE(again.ReadInt(AlarmScreen::kKey, -1), 2);
        QVERIFY(alarm.Choose(0));
        OwnSettings last(home_.path());
        QCOMPARE(AlarmScreen(last).chosen(), 0);
    }

    void aDamagedValueMeansTheMainWindow() {
        for (const char* value : {"-3", "17", "999999999999", "two", ""}) {
            OwnSettings own(home_.path());
            QVERIFY(own.WriteString(AlarmScreen::kKey, QString::fromLatin1(value)));
            OwnSettings read(home_.path());
            QVERIFY2(AlarmScreen(read).chosen() == 0, value);
        }
    }

    void aScreenThatIsGoneOrShowsTheMainWindowGivesTheMainGrid() {
        OwnSettings own(home_.path());
        AlarmScreen alarm(own);
        QVERIFY(alarm.Choose(2));
        QCOMPARE(alarm.Target(2, 1), 2);
        QCOMPARE(alarm.Target(3, 1), 2);
        QCOMPARE(alarm.Target(1, 1), 0);  // unplugged
        QCOMPARE(alarm.Target(2, 2), 0);  // the main window moved there
        QVERIFY(alarm.Choose(0));
        QCOMPARE(alarm.Target(2, 1), 0);
    }
};

QTEST_MAIN(AlarmScreenTest)
#include "alarm_screen_test.moc"

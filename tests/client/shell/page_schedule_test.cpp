// SPDX-License-Identifier: GPL-3.0-or-later
// When a waiting page file is loaded (PageSchedule), and what the menu bar says when an entry is chosen.
#include <QAction>
#include <QSignalSpy>
#include <QTest>

#include "../client_fixture.h"
#include "shell/main_menu_bar.h"
#include "shell/page_schedule.h"

class PageScheduleTest : public QObject {
    Q_OBJECT

  private slots:
    void pageWaitsForTheAnnouncedDevices() {
        PageSchedule pages;
        QVERIFY(!pages.Want("a.ini"));  // no list yet
        QVERIFY(!pages.savesAllowed());
        QVERIFY(!pages.ListBegins(3));
        QVERIFY(!pages.DevicesListed(2));
        QVERIFY(pages.DevicesListed(3));
        QCOMPARE(pages.Take(), QString("a.ini"));
        QVERIFY(!pages.waiting() && pages.savesAllowed());
        // Later lists change nothing; nothing waits, so nothing is loaded.
        QVERIFY(!pages.ListBegins(0));
        QVERIFY(!pages.DevicesListed(5));
        QVERIFY(!pages.Tick());
    }

    void emptyListLoadsAtOnceAndAMissingDeviceAfterThreeTicks() {
        PageSchedule empty;
        QVERIFY(!empty.Want("e.ini"));
        QVERIFY(empty.ListBegins(0));
        // With the (empty) list in, a new file loads at once.
        QCOMPARE(empty.Take(), QString("e.ini"));
        QVERIFY(empty.Want("f.ini"));

        PageSchedule short_list;
        short_list.Want("s.ini");
        QVERIFY(!short_list.Tick());  // ticks before the list do not count
        short_list.ListBegins(4);
        QVERIFY(!short_list.DevicesListed(3));
        QVERIFY(!short_list.Tick());
        QVERIFY(!short_list.Tick());
        QVERIFY(short_list.Tick());
        QCOMPARE(short_list.Take(), QString("s.ini"));

        // A logout waits for the next login's list again, and counts its ticks afresh.
        short_list.LoggedOut();
        short_list.Want("t.ini");
        QVERIFY(!short_list.Tick() && !short_list.Tick() && !short_list.Tick());
        QVERIFY(!short_list.savesAllowed());
        short_list.ListBegins(1);
        QVERIFY(!short_list.Tick() && !short_list.Tick());
        QVERIFY(short_list.Tick());
    }

    void menuBarSaysWhatWasChosen() {
        ScratchHome home;
        auto client = home.StartClient();
        MainMenuBar bar;
        QSignalSpy commands(&bar, &MainMenuBar::commandChosen);
        QSignalSpy sizes(&bar, &MainMenuBar::gridSizeChosen);
        QSignalSpy exits(&bar, &MainMenuBar::exitChosen);
        for (int command : {int(MainMenuBar::kCmdLogin), int(MainMenuBar::kCmdLoadPage),
                            int(MainMenuBar::kCmdAddDevice), int(MainMenuBar::kCmdSnapshotSetting)})
            bar.commandAction(command)->trigger();
        QCOMPARE(commands.size(), 4);
        QCOMPARE(commands[2][0].toInt(), int(MainMenuBar::kCmdAddDevice));
        bar.commandAction(MainMenuBar::kCmdGrid1 + 2)->trigger();
        QCOMPARE(sizes.size(), 1);
        QCOMPARE(sizes[0][0].toInt(), 3);
        QCOMPARE(commands.size(), 4);  // a size is no command
        // A grid that is not square checks no size.
        bar.CheckGridSize(2, 3);
        for (int n = 0; n < 4; ++n) QVERIFY(!bar.commandAction(MainMenuBar::kCmdGrid1 + n)->isChecked());
        bar.CheckGridSize(4, 4);
        QVERIFY(bar.commandAction(MainMenuBar::kCmdGrid4)->isChecked());
        QVERIFY(!bar.commandAction(MainMenuBar::kCmdRecordings)->isEnabled());
        bar.SetRecordingsEnabled(true);
        QVERIFY(bar.commandAction(MainMenuBar::kCmdRecordings)->isEnabled());
        QCOMPARE(exits.size(), 0);
    }
};

QTEST_MAIN(PageScheduleTest)
#include "page_schedule_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Alarm video on a chosen screen, against the simulated platform under a two-screen X server: with screen 2
// chosen in the Screens menu, an alarm's video request opens the vehicle's channels on that screen's wall
// (made for it) and not on the main grid; the main window chosen again, or a chosen screen that is gone,
// sends them to the main grid.
#include <QAction>
#include <QMenuBar>
#include <QScreen>
#include <QtTest>

#include "../client_fixture.h"
#include "app/own_settings.h"
#include "fleet/alarm_desk.h"
#include "fleet/dev_tree.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "main_window_fixture.h"
#include "shell/alarm_screen.h"
#include "shell/app_main_dlg.h"
#include "shell/wall_desk.h"
#include "shell/wall_window.h"
#include "two_screen_desk.h"

namespace {

// The alarm desk asks for the vehicle's video, as a new alarm does with alarm video on.
void AlarmAsksForVideo(CAppMainDlg& window) {
    const int row =
        TreeOf(window)->FindChannelNode(TwoScreenDesk::kDevice, 1)->parent()->data(0, Qt::UserRole).toInt();
    emit window.alarms()->videoRequested(row);
}

}  // namespace

class AlarmScreenTest : public QObject {
    Q_OBJECT
    TwoScreenDesk desk_;
    ScratchHome& home_ = desk_.home();
    LiveClient& live_ = desk_.live();

  private slots:
    void initTestCase() { desk_.Start(); }
    void cleanupTestCase() { desk_.Stop(); }

    void anAlarmsVideoOpensOnTheChosenScreensWall() {
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QVERIFY(!TwoScreenDesk::WallOnScreen(2));
        auto* main_choice = window.menuBar()->findChild<QAction*>(QStringLiteral("alarmVideoOnScreen0"));
        auto* choice = window.menuBar()->findChild<QAction*>(QStringLiteral("alarmVideoOnScreen2"));
        QVERIFY(main_choice && choice);
        QVERIFY(main_choice->isChecked() && !choice->isChecked());
        QVERIFY(!window.menuBar()->findChild<QAction*>(QStringLiteral("alarmVideoOnScreen1")));
        choice->trigger();
        QCOMPARE(OwnSettings(home_.path()).ReadInt(AlarmScreen::kKey, -1), 2);

        AlarmAsksForVideo(window);
        WallWindow* wall = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((wall = TwoScreenDesk::WallOnScreen(2)) != nullptr, 5000);
        QVERIFY(TwoScreenDesk::PlayingTile(wall->grid(), TreeOf(window), 1));
        QCOMPARE(GridOf(window)->Model().BoundCount(), 0);
        // The wall made for the alarm comes back like a sent one.
        QCOMPARE(OwnSettings(home_.path()).ReadString(WallDesk::kScreensKey, QString()), QStringLiteral("2"));

        // The main window chosen again: the next request opens on the main grid.
        window.menuBar()->findChild<QAction*>(QStringLiteral("alarmVideoOnScreen0"))->trigger();
        QCOMPARE(OwnSettings(home_.path()).ReadInt(AlarmScreen::kKey, -1), 0);
        AlarmAsksForVideo(window);
        QVERIFY(TwoScreenDesk::PlayingTile(GridOf(window), TreeOf(window), 1));
    }

    // Tavrin.ini chooses a screen this desk lacks: the alarm's video opens on the main grid, no wall.
    void aChosenScreenThatIsGoneFallsBackToTheMainWindow() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        OwnSettings own(home_.path());
        QVERIFY(own.WriteString(WallDesk::kScreensKey, QString()));
        QVERIFY(own.WriteInt(AlarmScreen::kKey, 4));
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QVERIFY(window.menuBar()->findChild<QAction*>(QStringLiteral("alarmVideoOnScreen0")));
        AlarmAsksForVideo(window);
        QVERIFY(TwoScreenDesk::PlayingTile(GridOf(window), TreeOf(window), 1));
        QVERIFY(!TwoScreenDesk::WallOnScreen(2));
        // Still chosen: the video goes there again once that screen is back.
        QCOMPARE(OwnSettings(home_.path()).ReadInt(AlarmScreen::kKey, -1), 4);
    }
};

QTEST_MAIN(AlarmScreenTest)
#include "alarm_screen_screens_display_test.moc"

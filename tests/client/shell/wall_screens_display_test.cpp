// SPDX-License-Identifier: GPL-3.0-or-later
// Walls on a second screen, against the simulated platform under a two-screen X server: a camera shown in
// the main window and on a wall is streamed once, and stops only when its last tile goes; a page sent to
// screen 2 plays there and comes back with the next start; a page file given for a screen (--wall) plays
// there beside the main window; a wall whose screen is gone gives its channels to the main window.
#include <QAction>
#include <QMenuBar>
#include <QScreen>
#include <QtTest>

#include "../client_fixture.h"
#include "app/own_settings.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"
#include "shell/wall_desk.h"
#include "shell/wall_window.h"
#include "two_screen_desk.h"

namespace {

// More pictures reach the tile from now on.
bool KeepsPlaying(CDevShowDlg* tile) {
    const auto before = tile->Stats().presented;
    return QTest::qWaitFor([&] { return tile->Stats().presented >= before + 5; }, 10000);
}

}  // namespace

class WallScreensTest : public QObject {
    Q_OBJECT
    TwoScreenDesk desk_;
    ScratchHome& home_ = desk_.home();
    LiveClient& live_ = desk_.live();

    uint32_t Streams() { return live_.platform().transfer().streams_accepted(); }
    void Play(CAppMainDlg& window, int channel) {
        window.SelectDeviceNode(TreeOf(window)->FindChannelNode(TwoScreenDesk::kDevice, channel));
        ActionsOf(window).Run(kCommandPlay);
    }
    QString WallFile(int screen) {
        return home_.path() + QStringLiteral("Walls/Screen%1/Workspace.ini").arg(screen);
    }

  private slots:
    void initTestCase() { desk_.Start(); }
    void cleanupTestCase() { desk_.Stop(); }

    // Sent from the main window, shown on both screens, streamed once; it stops with its last tile.
    void aSentPageIsStreamedOnceAndComesBackAfterARestart() {
        {
            MainWindowFixture window_fixture(live_.client());
            CAppMainDlg& window = window_fixture.window();
            QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
            DevTree* tree = TreeOf(window);
            Play(window, 1);
            CDevShowDlg* main_tile = TwoScreenDesk::PlayingTile(GridOf(window), tree, 1);
            QVERIFY(main_tile);
            const uint32_t streams = Streams();

            auto* send = window.menuBar()->findChild<QAction*>(QStringLiteral("sendPageToScreen2"));
            QVERIFY(send);
            QVERIFY(!window.menuBar()->findChild<QAction*>(QStringLiteral("sendPageToScreen1")));
            send->trigger();
            WallWindow* wall = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((wall = TwoScreenDesk::WallOnScreen(2)) != nullptr, 5000);
            QVERIFY(wall->isFullScreen());
            QVERIFY(wall->windowFlags() & Qt::FramelessWindowHint);
            CDevShowDlg* wall_tile = TwoScreenDesk::PlayingTile(wall->grid(), tree, 1);
            QVERIFY(wall_tile);
            QCOMPARE(wall_tile->channel, main_tile->channel);
            QVERIFY(KeepsPlaying(main_tile));
            QCOMPARE(Streams(), streams);

            // The main window's tile goes: the wall's keeps the channel and its pictures.
            GridOf(window)->Model().CloseWindow(main_tile);
            QVERIFY(KeepsPlaying(wall_tile));
            // Played in the main window again: it joins the wall's channel.
            Play(window, 1);
            QVERIFY(TwoScreenDesk::PlayingTile(GridOf(window), tree, 1));
            QCOMPARE(Streams(), streams);

            // The wall keeps its page in its own file and its screen in Tavrin.ini.
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(WallFile(2)), 5000);
            QCOMPARE(OwnSettings(home_.path()).ReadString(WallDesk::kScreensKey, QString()),
                     QStringLiteral("2"));
        }
        // The next start: the wall is back on screen 2 with its channel, which the main window's
        // workspace shows too, streamed once.
        const uint32_t before_login = Streams();
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        WallWindow* wall = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((wall = TwoScreenDesk::WallOnScreen(2)) != nullptr, 5000);
        QVERIFY(TwoScreenDesk::PlayingTile(wall->grid(), TreeOf(window), 1));
        QVERIFY(TwoScreenDesk::PlayingTile(GridOf(window), TreeOf(window), 1));
        QCOMPARE(Streams(), before_login + 1);

        // Closed from the menu: no longer kept; the main window's tile keeps the channel. Once that last
        // tile goes the channel is released: played again, the camera is streamed anew.
        auto* close = window.menuBar()->findChild<QAction*>(QStringLiteral("closeWallOnScreen2"));
        QVERIFY(close);
        close->trigger();
        QVERIFY(!TwoScreenDesk::WallOnScreen(2));
        QCOMPARE(OwnSettings(home_.path()).ReadString(WallDesk::kScreensKey, QString()), QString());
        CDevShowDlg* main_tile =
            GridOf(window)->FindWindowOfNode(TreeOf(window)->FindChannelNode(TwoScreenDesk::kDevice, 1));
        QVERIFY(KeepsPlaying(main_tile));
        const uint32_t streams = Streams();
        GridOf(window)->Model().CloseWindow(main_tile);
        Play(window, 1);
        QVERIFY(TwoScreenDesk::PlayingTile(GridOf(window), TreeOf(window), 1));
        QTRY_COMPARE_WITH_TIMEOUT(Streams(), streams + 1, 10000);
    }

    // --wall 2:FILE: the file's channels on screen 2, the main window on screen 1 with its own grid.
    void aPageFileForAScreenPlaysThereBesideTheMainWindow() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        QVERIFY(OwnSettings(home_.path()).WriteString(WallDesk::kScreensKey, QString()));
        home_.WriteFile("two.ini",
                        "[PageConfig]\nPage_Row=1\nPage_col=2\nPage_LiveCount=2\n"
                        "[LiveConfig 1]\nDeviceId=MDVR-10001\nChannel=3\n"
                        "[LiveConfig 2]\nDeviceId=MDVR-10001\nChannel=4\n");
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY(!window.ShowWallPage(3, home_.path() + QStringLiteral("two.ini")));
        QVERIFY(window.ShowWallPage(2, home_.path() + QStringLiteral("two.ini")));
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        WallWindow* wall = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((wall = TwoScreenDesk::WallOnScreen(2)) != nullptr, 5000);
        QVERIFY(TwoScreenDesk::PlayingTile(wall->grid(), TreeOf(window), 3));
        QVERIFY(TwoScreenDesk::PlayingTile(wall->grid(), TreeOf(window), 4));
        QCOMPARE(wall->grid()->Model().Rows(), 1);
        QCOMPARE(wall->grid()->Model().Cols(), 2);
        QCOMPARE(window.screen(), QGuiApplication::screens().first());
        QCOMPARE(GridOf(window)->Model().BoundCount(), 0);
        // A command-line wall is not kept for the next start.
        QCOMPARE(OwnSettings(home_.path()).ReadString(WallDesk::kScreensKey, QString()), QString());
    }

    // Tavrin.ini names a wall on a screen this desk lacks: its page plays in the main window.
    void aWallWithoutItsScreenFallsBackToTheMainWindow() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        QVERIFY(OwnSettings(home_.path()).WriteString(WallDesk::kScreensKey, QStringLiteral("4")));
        home_.WriteFile("Walls/Screen4/Workspace.ini",
                        "[PageConfig]\nPage_Row=1\nPage_col=1\nPage_LiveCount=1\n"
                        "[LiveConfig 1]\nDeviceId=MDVR-10001\nChannel=2\n");
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QVERIFY(TwoScreenDesk::PlayingTile(GridOf(window), TreeOf(window), 2));
        QVERIFY(!TwoScreenDesk::WallOnScreen(2));
        // Still kept: the wall comes back where that screen is.
        QCOMPARE(OwnSettings(home_.path()).ReadString(WallDesk::kScreensKey, QString()), QStringLiteral("4"));
    }
};

QTEST_MAIN(WallScreensTest)
#include "wall_screens_display_test.moc"

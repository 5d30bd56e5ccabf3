// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the event line and its log, captions, the log's cap, and the menu's state.
#include <QAction>
#include <QTest>

#include "../client_fixture.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/fleet_presenter.h"
#include "fleet/log_list.h"
#include "grid/grid_model.h"
#include "grid/page_tab.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"
#include "shell/status_line.h"

class AppMainDlgTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;

  private slots:
    void initTestCase() { client_ = home_.StartClient(); }

    void eventLineStampsAndShowsTheNewest() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        QVERIFY(window_fixture.session().session());
        QCOMPARE(StatusLineOf(window)->text(), QString("Lumetra Client Application  "));
        QVERIFY(!LogOf(window)->isVisible());
        window.AddLogLine(nullptr, "first");
        window.AddLogLine(nullptr, "second");
        const QString time = "";
        window.AddLogLine(&time, "[D1 - L1] Online");
        QCOMPARE(LogOf(window)->count(), 3);
        QVERIFY(QRegularExpression(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] first$)")
                    .match(LogOf(window)->line(0))
                    .hasMatch());
        QCOMPARE(LogOf(window)->line(2), QString("[] [D1 - L1] Online"));
        QCOMPARE(StatusLineOf(window)->text(), QString("[D1 - L1] Online  "));
        // Written while hidden, there when the panel is shown.
        window.ShowPanel(CAppMainDlg::kLogInfo);
        QCOMPARE(LogOf(window)->count(), 3);
    }

    void onlineCountCaptions() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        window.ShowOnlineCount(0);
        QCOMPARE(window.windowTitle(), QString("Lumetra Client Application - No Device Active"));
        window.ShowOnlineCount(5);
        QCOMPARE(window.windowTitle(), QString("Lumetra Client Application - 5 Online Devices"));
        window.LogoutCleanup();
        QCOMPARE(window.windowTitle(), QString("Lumetra Client Application"));
    }

    void speedCellSaysWhyThereIsNoSpeed() {
        QCOMPARE(FleetPresenter::SpeedCell(true, 37.036, "$GPRMC,..."), QString("37.04 km/h"));
        QCOMPARE(FleetPresenter::SpeedCell(false, 0, "$GPRMC,120000,V,,,,,,,,,,N*00"),
                 QString("GPS invalid"));
        QCOMPARE(FleetPresenter::SpeedCell(false, 0, "garbage"), QString("GPS not valid"));
        QCOMPARE(FleetPresenter::SpeedCell(false, 0, ""), QString("GPS not valid"));
    }

    void logIsCappedOldestFirst() {
        LogList log;
        for (int i = 0; i < LogList::kMaxLines + 10; ++i) log.AddLine(QString::number(i));
        QCOMPARE(log.count(), LogList::kMaxLines);
        QCOMPARE(log.line(0), QString("10"));
        QCOMPARE(log.line(LogList::kMaxLines - 1), QString::number(LogList::kMaxLines + 9));
        // A server text with markup stays text, also in the line's tool tip.
        log.AddLine("[<img src=x> - <b>L</b>] Online");
        const QModelIndex last = log.model()->index(log.count() - 1, 0);
        QCOMPARE(last.data().toString(), QString("[<img src=x> - <b>L</b>] Online"));
        QVERIFY(last.data(Qt::ToolTipRole).toString().contains("&lt;img src=x&gt; - &lt;b&gt;L&lt;/b&gt;"));
    }

    void menuHoldsEveryEntryLaterOnesDisabled() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        QVERIFY(window.findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdLogin)->isEnabled());
        // Page files and the grid sizes work with the video grid.
        for (int command :
             {int(MainMenuBar::kCmdLoadPage), int(MainMenuBar::kCmdSavePage), 32784, 32785, 32786, 32787})
            QVERIFY(window.findChild<MainMenuBar*>()->commandAction(command)->isEnabled());
        // The grid of the settings (2 x 2) is checked.
        QVERIFY(window.findChild<MainMenuBar*>()->commandAction(32785)->isChecked());
        // The device dialog and the preferences are there.
        for (int command : {int(MainMenuBar::kCmdAddDevice), int(MainMenuBar::kCmdCyclePage),
                            int(MainMenuBar::kCmdBufferSetting), int(MainMenuBar::kCmdRecordSetting),
                            int(MainMenuBar::kCmdSnapshotSetting)}) {
            QAction* action = window.findChild<MainMenuBar*>()->commandAction(command);
            QVERIFY2(action && action->isEnabled(), qPrintable(QString::number(command)));
        }
        LoginDialogOf(window)->hide();
        window.findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdLogin)->trigger();
        QVERIFY(LoginDialogOf(window)->isVisible());
    }

    // User -> Recordings... runs what the composition root gave it, and is disabled without that.
    void recordingsEntryOpensWhatTheRootGives() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        QAction* recordings = window.findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdRecordings);
        QVERIFY(recordings != nullptr && !recordings->isEnabled());
        QVERIFY(recordings->text().startsWith(QStringLiteral("Recordings")));
        int opened = 0;
        window.SetRecordingsCommand([&] { ++opened; });
        QVERIFY(recordings->isEnabled());
        recordings->trigger();
        QCOMPARE(opened, 1);
    }

    // Choosing the size already checked keeps it checked and the grid where it is; the client area below
    // the menu bar is the 1024 x 768 the layout is made for.
    void styleSizeStaysCheckedAndTheClientAreaIsWhole() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.centralWidget()->size(), QSize(1024, 768));
        QAction* two = window.findChild<MainMenuBar*>()->commandAction(32785);
        QVERIFY(two->isChecked());
        two->trigger();
        QVERIFY(two->isChecked());
        QCOMPARE(GridOf(window)->Model().Rows(), 2);
        window.findChild<MainMenuBar*>()->commandAction(32786)->trigger();
        QVERIFY(window.findChild<MainMenuBar*>()->commandAction(32786)->isChecked() && !two->isChecked());
        QCOMPARE(GridOf(window)->Model().Cols(), 3);
    }
};

QTEST_MAIN(AppMainDlgTest)
#include "app_main_dlg_test.moc"

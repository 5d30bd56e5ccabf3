// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's workspace against the simulated platform: the grid's size and channels come back after
// a restart and after a new login, from Workspace.ini (a page file; Config.ini gets no new key); a page
// given on the command line wins. Logout and Exit ask first while a channel records, and only then;
// the question's default answer is Yes.
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QtTest>

#include "../client_fixture.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/channel_commands.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_file.h"
#include "grid/page_tab.h"
#include "grid/recording_guard.h"
#include "grid/workspace_keeper.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"

namespace {

QTreeWidgetItem* Node(CAppMainDlg& window, const char* device_id, int channel) {
    return TreeOf(window)->FindChannelNode(QByteArray(device_id), channel);
}

QStringList Shown(CAppMainDlg& window) {
    QStringList shown;
    const GridModel& model = GridOf(window)->Model();
    for (int i = 0; i < model.BoundCount(); ++i) {
        const QTreeWidgetItem* item = model.Windows()[size_t(i)]->channel_item;
        shown << item->parent()->text(0) + '/' + item->text(0);
    }
    return shown;
}

// Answers the next modal question box with `key` and tells its text through `text`.
void AnswerNextBox(QString* text, Qt::Key key) {
    QTimer::singleShot(0, [text, key] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        *text = box->text();
        QTest::keyClick(box, key);
    });
}

}  // namespace

class WorkspaceTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    LiveClient live_;

    void LogIn(CAppMainDlg& window) { QVERIFY2(LogInAndWaitForFleet(window), "the fleet was not listed"); }

  private slots:
    void initTestCase() {
        QVERIFY2(live_.Start(home_, QStringLiteral("UIWindowRow=2\nUIWindowCol=2\n")),
                 "velq-sim did not start");
    }
    void cleanupTestCase() { live_.Stop(); }

    void workspaceComesBackAfterARestartAndALogin() {
        const QByteArray settings_before = home_.ReadFile("Config.ini");
        QStringList placed;
        {
            MainWindowFixture window_fixture(live_.client());
            CAppMainDlg& window = window_fixture.window();
            window.show();
            LogIn(window);
            GridOf(window)->Model().PlaceLoadedChannels(
                {Node(window, "MDVR-10002", 2), Node(window, "MDVR-10001", 1), Node(window, "MDVR-10003", 3)},
                3, 3);
            placed = Shown(window);
            QCOMPARE(placed.size(), 3);
            QTRY_VERIFY_WITH_TIMEOUT(home_.ReadFile("Workspace.ini").contains("MDVR-10003"), 3000);
            // A page file like any other.
            QString problem;
            const auto content = ReadPageFile(home_.path() + "Workspace.ini", &problem);
            QVERIFY(content && content->rows == 3 && content->entries.size() == 3);
            window.close();
        }
        // Restart: the size at once, the channels when the list is in.
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        window.show();
        QCOMPARE(GridOf(window)->Model().Rows(), 3);
        QVERIFY(window.findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdGrid1 + 2)->isChecked());
        LogIn(window);
        QTRY_COMPARE_WITH_TIMEOUT(Shown(window), placed, 5000);

        // A channel closed is gone from the file too; a logout does not empty it; a new login restores.
        GridOf(window)->Model().PlayCommand(Node(window, "MDVR-10001", 1));
        QTRY_VERIFY_WITH_TIMEOUT(!home_.ReadFile("Workspace.ini").contains("Channel=1\n"), 3000);
        placed = Shown(window);
        LoginDialogOf(window)->OnOK();  // logout: nothing records, nothing is asked
        // The logout runs on a worker.
        QTRY_VERIFY_WITH_TIMEOUT(!VelqApp_IsActive(window_fixture.session().session()), 5000);
        QTest::qWait(1500);
        QVERIFY(home_.ReadFile("Workspace.ini").contains("MDVR-10003"));
        LogIn(window);
        QTRY_COMPARE_WITH_TIMEOUT(Shown(window), placed, 5000);
        window.close();

        // The settings file holds only its own keys: the login's, nothing of the grid.
        const QByteArray settings_after = home_.ReadFile("Config.ini");
        QVERIFY(settings_after.startsWith(settings_before));
        QCOMPARE(settings_after.mid(settings_before.size()), QByteArray("UserName=orvi\nPassword=480913\n"));
    }

    void pageOnTheCommandLineWins() {
        PageFileContent page;
        page.rows = 1;
        page.cols = 1;
        page.liveCount = 1;
        PageFileEntry entry;
        entry.index = 1;
        entry.deviceId = "MDVR-10002";
        entry.channel = 4;
        page.entries.push_back(entry);
        QVERIFY(WritePageFile(home_.path() + "wall.ini", page));
        const QByteArray workspace = home_.ReadFile("Workspace.ini");
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        window.LoadPageWhenListed(home_.path() + "wall.ini");
        window.show();
        LogIn(window);
        QTRY_COMPARE_WITH_TIMEOUT(GridOf(window)->Model().BoundCount(), 1, 5000);
        QCOMPARE(Shown(window).value(0).right(10), QString("Channel-04"));
        QTest::qWait(1500);
        QCOMPARE(home_.ReadFile("Workspace.ini"), workspace);  // kept until the operator changes the grid
        window.close();
    }

    void logoutAndExitAskOnlyWhileRecording() {
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        window.show();
        LogIn(window);
        GridOf(window)->Model().PlaceLoadedChannels({Node(window, "MDVR-10001", 1)}, 2, 2);
        QCOMPARE(RecordingChannels(GridOf(window)->Model()), 0);
        QVERIFY(window.ConfirmLosingRecordings());  // nothing records: no question
        QVERIFY(!qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));

        auto* slot = static_cast<CDevShowDlg*>(GridOf(window)->Model().Windows()[0]);
        GridOf(window)->Model().ActivateWindow(slot);
        TreeOf(window)->setCurrentItem(slot->channel_item);
        QTRY_VERIFY_WITH_TIMEOUT(slot->channel, 5000);
        ActionsOf(window).Run(kCommandRecord);
        QTRY_VERIFY_WITH_TIMEOUT(VelqChn_IsRecording(slot->channel), 5000);
        QCOMPARE(RecordingChannels(GridOf(window)->Model()), 1);

        // Logout: Escape keeps the session and the recording.
        QString asked;
        AnswerNextBox(&asked, Qt::Key_Escape);
        LoginDialogOf(window)->OnOK();
        QCOMPARE(asked, StopRecordingQuestion(1));
        QVERIFY(VelqApp_IsActive(window_fixture.session().session()));
        QVERIFY(VelqChn_IsRecording(slot->channel));
        // Exit: Enter confirms; the window closes.
        asked.clear();
        AnswerNextBox(&asked, Qt::Key_Return);
        QAction* exit = nullptr;  // the User menu's Exit entry
        for (QAction* action : window.findChildren<QAction*>())
            if (action->text() == "Exit") exit = action;
        QVERIFY(exit);
        exit->trigger();
        QCOMPARE(asked, StopRecordingQuestion(1));
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(!GridOf(window));  // shut down: the grid and its display windows are gone

        // A wall screen never asks.
        MainWindowFixture wall_fixture(live_.client());
        CAppMainDlg& wall = wall_fixture.window();
        wall.SetAskBeforeLosingRecordings(false);
        wall.show();
        LogIn(wall);
        GridOf(wall)->Model().PlaceLoadedChannels({Node(wall, "MDVR-10001", 1)}, 2, 2);
        auto* first = static_cast<CDevShowDlg*>(GridOf(wall)->Model().Windows()[0]);
        GridOf(wall)->Model().ActivateWindow(first);
        TreeOf(wall)->setCurrentItem(first->channel_item);
        QTRY_VERIFY_WITH_TIMEOUT(first->channel, 5000);
        ActionsOf(wall).Run(kCommandRecord);
        QTRY_VERIFY_WITH_TIMEOUT(VelqChn_IsRecording(first->channel), 5000);
        QVERIFY(wall.ConfirmLosingRecordings());
        wall.close();
    }
};

QTEST_MAIN(WorkspaceTest)
#include "workspace_test.moc"

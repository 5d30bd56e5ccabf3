// SPDX-License-Identifier: GPL-3.0-or-later
// The login dialog: first-start values, what a press stores, connection-state captions, and a real login
// and logout against velq-sim.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "../client_fixture.h"
#include "dialogs/about_dlg.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/device_status_list.h"
#include "fleet/log_list.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"

class AppLoginDlgTest : public QObject {
    Q_OBJECT
  private slots:
    void firstStartShowsTheDefaults() {
        ScratchHome home;
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        CAppLoginDlg* login = LoginDialogOf(window);
        QCOMPARE(login->userEdit()->text(), QString("orvi"));
        QCOMPARE(login->passwordEdit()->text(), QString("480913"));
        QCOMPARE(login->addressEdit()->text(), QString("127.0.0.1"));
        QCOMPARE(login->tcpPortEdit()->text(), QString("24680"));
        QCOMPARE(login->udpPortEdit()->text(), QString("24681"));
        QCOMPARE(login->okButton()->text(), QString("Login"));
        QCOMPARE(login->windowTitle(), QString("Lumetra Client Login"));
        QCOMPARE(CAppLoginDlg::VersionText(uint32_t(VelqApp_GetVersion())), QString(" V1.0.3"));
        QVERIFY(!QFile::exists(home.path() + "Config.ini"));  // nothing written before the first login
    }

    void aboutBoxNamesTheVersions() {
        ScratchHome home;
        auto client = home.StartClient();
        CAboutDlg about;
        QStringList texts;
        for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
        QVERIFY(texts.contains("Tavrin Version 1.0"));
        QVERIFY(texts.join('|').contains(" V1.0.3"));
        QCOMPARE(about.windowTitle(), QString("About Tavrin"));
    }

    void emptyPasswordStillStoresBeforeTheMessage() {
        ScratchHome home;
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        CAppLoginDlg* login = LoginDialogOf(window);
        login->addressEdit()->setText("10.1.2.3");
        login->tcpPortEdit()->setText("65537");
        login->udpPortEdit()->setText("70000");
        login->userEdit()->setText("anna");
        login->passwordEdit()->setText("");
        QByteArray stored_at_message;
        connect(login, &CAppLoginDlg::credentialsMissing, this, [&] {
            stored_at_message = home.ReadFile("Config.ini");
            QTimer::singleShot(0, [] {
                if (QWidget* box = QApplication::activeModalWidget()) box->close();
            });
        });
        login->OnOK();
        QVERIFY(stored_at_message.contains("CenterServer_Address=10.1.2.3"));
        QVERIFY(stored_at_message.contains("CenterServer_TcpPort=1\n"));
        QVERIFY(stored_at_message.contains("CenterServer_UdpPort=4464\n"));
        QVERIFY(stored_at_message.contains("UserName=anna"));
        QVERIFY(stored_at_message.contains("Password=\n"));
        QVERIFY(!VelqApp_IsActive(window_fixture.session().session()));
        QCOMPARE(login->okButton()->text(), QString("Login"));
        const QFileDevice::Permissions mode = QFile::permissions(home.path() + "Config.ini");
        QVERIFY(!(mode & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
    }

    void otherStateCodesResetTheCaptionOnly() {
        ScratchHome home;
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        CAppLoginDlg* login = LoginDialogOf(window);
        login->show();
        login->ShowConnectionState(2, 0);
        QCOMPARE(login->windowTitle(), QString("Lumetra Client Login - Connecting"));
        const int lines = LogOf(window)->count();
        for (int code : {0, 7, 33, 63}) {
            login->ShowConnectionState(2, 0);
            login->ShowConnectionState(code, 0);
            QCOMPARE(login->windowTitle(), QString("Lumetra Client Login"));
            QVERIFY(login->isVisible());
        }
        QCOMPARE(LogOf(window)->count(), lines + 4);  // only the four "Connecting" lines
        login->ShowConnectionState(6, 0x33303156);
        QVERIFY(!login->isVisible());
        QVERIFY(LogOf(window)->line(LogOf(window)->count() - 1).endsWith("] Version Error V1.0.3"));
        login->ShowConnectionState(4, 0);
        QVERIFY(login->isVisible());
        QCOMPARE(login->windowTitle(), QString("Lumetra Client Login - Authorize Failed"));
    }

    void logInAndOutAgainstTheSimulator() {
        ScratchHome home;
        SimCenter center;
        QVERIFY(center.started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines());
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        CAppLoginDlg* login = LoginDialogOf(window);
        login->show();
        login->OnOK();
        QCOMPARE(login->okButton()->text(), QString("Logout"));
        QTRY_COMPARE_WITH_TIMEOUT(login->windowTitle(), QString("Lumetra Client Login - Connected"), 10000);
        QVERIFY(!login->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(VehicleListOf(window)->rowCount() >= 6, 10000);
        QVERIFY(window.windowTitle().contains(" Online Devices"));
        QTRY_VERIFY(LogOf(window)->count() >= 3);
        QVERIFY(LogOf(window)->line(0).endsWith("] Connecting"));
        QVERIFY(LogOf(window)->line(1).endsWith("] Connected"));

        // The menu's Login shows the dialog again, reading "Logout"; pressing it logs out.
        window.findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdLogin)->trigger();
        QVERIFY(login->isVisible());
        QCOMPARE(login->okButton()->text(), QString("Logout"));
        login->OnOK();
        // The window lets go at once; the library's logout ends on the channel stopper's worker.
        QVERIFY(!window_fixture.session().LoggedIn());
        QTRY_VERIFY(!VelqApp_IsActive(window_fixture.session().session()));
        QCOMPARE(VehicleListOf(window)->rowCount(), 0);
        QCOMPARE(TreeOf(window)->EntryCount(), 0);
        QCOMPARE(TreeOf(window)->topLevelItemCount(), 0);
        QCOMPARE(login->okButton()->text(), QString("Login"));
        QCOMPARE(login->windowTitle(), QString("Lumetra Client Login"));
        QCOMPARE(window.windowTitle(), QString("Lumetra Client Application"));
        QVERIFY(LogOf(window)->line(LogOf(window)->count() - 1).endsWith("] Disconnect"));
        // Events still queued from the session are dropped (or given back), not shown.
        QTest::qWait(300);
        QCOMPARE(VehicleListOf(window)->rowCount(), 0);
        const QByteArray stored = home.ReadFile("Config.ini");
        QVERIFY(stored.contains("UserName=orvi") && stored.contains("Password=480913"));
    }

    // The wire carries 31 bytes of each: the edits hold no more, and what is saved is what is sent.
    void credentialsAreCutToTheWireFields() {
        ScratchHome home;
        // Nothing listens on port 1: the press stores and starts a login that never connects.
        home.WriteFile("Config.ini", "[Tavrin]\nCenterServer_TcpPort=1\nCenterServer_UdpPort=1\nUserName=" +
                                         QByteArray(40, 'u') +
                                         "\nPassword=" + QString(20, QChar(0x00E9)).toUtf8() + "\n");
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        CAppLoginDlg* login = LoginDialogOf(window);
        QCOMPARE(login->userEdit()->text(), QString(31, 'u'));
        QCOMPARE(login->passwordEdit()->text(), QString(15, QChar(0x00E9)));  // 2 bytes each
        login->userEdit()->clear();
        QTest::keyClicks(login->userEdit(), QString(40, 'v'));
        QCOMPARE(login->userEdit()->text(), QString(31, 'v'));
        login->OnOK();
        QVERIFY(home.ReadFile("Config.ini").contains("UserName=" + QByteArray(31, 'v') + "\n"));
    }

    // After "Authorize Failed" the button still reads Logout; one press with the right password logs in.
    void onePressRetriesAfterAFailedLogin() {
        ScratchHome home;
        SimCenter center;
        QVERIFY(center.started());
        home.WriteFile("Config.ini", "[Tavrin]\n" + center.ConfigLines() + "Password=wrong\n");
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        CAppLoginDlg* login = LoginDialogOf(window);
        login->OnOK();
        QTRY_COMPARE_WITH_TIMEOUT(login->windowTitle(), QString("Lumetra Client Login - Authorize Failed"),
                                  10000);
        QVERIFY(login->isVisible());
        login->passwordEdit()->setText("480913");
        login->OnOK();
        QCOMPARE(login->okButton()->text(), QString("Logout"));
        // The new login follows the refused one's logout, which ends on the channel stopper's worker.
        QTRY_VERIFY(VelqApp_IsActive(window_fixture.session().session()));
        QTRY_COMPARE_WITH_TIMEOUT(login->windowTitle(), QString("Lumetra Client Login - Connected"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(VehicleListOf(window)->rowCount() >= 6, 10000);
    }
};

QTEST_MAIN(AppLoginDlgTest)
#include "app_login_dlg_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Dialogs that save settings: when Config.ini cannot be written, the dialog stays open, names the file,
// and the file is left as it was; once the file can be written again, Save stores and closes.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "../client_fixture.h"
#include "app/settings_store.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/cycle_dlg.h"
#include "dialogs/option_dlg.h"
#include "dialogs/record_dlg.h"
#include "dialogs/snapshot_dlg.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"

namespace {

// More than the settings reader takes in: such a file is never rewritten, whoever runs the client.
QByteArray OversizedConfig() {
    return "[Tavrin]\nRecordDuration=600\nLowDelay=25\n;" + QByteArray(1100 * 1024, 'x') + "\n";
}

}  // namespace

class SettingsSaveFailureTest : public QObject {
    Q_OBJECT

  private slots:
    void everyPreferencePageStaysOpenWhenSavingFails() {
        ScratchHome home;
        home.WriteFile("Config.ini", OversizedConfig());
        auto client = home.StartClient();
        SettingsStore store(client->profile());
        CRecordDlg record(client->settings, store);
        CSnapshotDlg snapshot(client->settings, store);
        CCycleDlg cycle(client->settings, store, {[] { return false; }, [](int) {}});
        COptionDlg option(client->settings, store, {});
        const std::pair<PreferenceDlg*, std::function<void()>> pages[] = {
            {&record, [&] { record.durationEdit()->setText("5"); }},
            {&snapshot, [&] { snapshot.pathEdit()->setText("/data/shots"); }},
            {&cycle, [&] { cycle.durationEdit()->setText("12"); }},
            {&option, [] {}},
        };
        for (const auto& [page, edit] : pages) {
            page->ShowCurrent();
            QVERIFY(QTest::qWaitForWindowExposed(page));
            edit();
            qobject_cast<QPushButton*>(page->button(PreferenceDlg::kSave))->click();
            QVERIFY2(page->isVisible(), qPrintable(page->windowTitle()));
            QVERIFY(page->saveErrorText().startsWith("The settings could not be saved to " + home.path() +
                                                     "Config.ini."));
            QCOMPARE(home.ReadFile("Config.ini"), OversizedConfig());
        }

        // Writable again: the next Save stores, clears the message and closes.
        home.WriteFile("Config.ini", "[Tavrin]\n");
        for (const auto& [page, edit] : pages) {
            qobject_cast<QPushButton*>(page->button(PreferenceDlg::kSave))->click();
            QVERIFY2(page->isHidden(), qPrintable(page->windowTitle()));
            QCOMPARE(page->saveErrorText(), QString());
        }
        const QByteArray stored = home.ReadFile("Config.ini");
        QVERIFY(stored.contains("RecordDuration=5\n"));
        QVERIFY(stored.contains("SnapshotPath=/data/shots/\n"));
        QVERIFY(stored.contains("CycleDuration=12\n"));
        QVERIFY(stored.contains("LowDelay=25\n"));
    }

    // A folder where Config.ini should be: a write that fails for root too.
    void theLoginSaysSoAndStaysOpenAfterConnecting() {
        ScratchHome home;
        QVERIFY(QDir().mkpath(home.path() + "Config.ini"));
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        CAppLoginDlg* login = LoginDialogOf(window);
        login->show();
        QVERIFY(QTest::qWaitForWindowExposed(login));
        login->addressEdit()->setText("127.0.0.1");
        login->tcpPortEdit()->setText("9");  // nothing answers: the login stays pending
        login->userEdit()->setText("anna");
        login->passwordEdit()->setText("pw");
        login->OnOK();
        QVERIFY(login->saveErrorText().contains(home.path() + "Config.ini"));
        QVERIFY(QFileInfo(home.path() + "Config.ini").isDir());
        login->ShowConnectionState(5, 0);
        QVERIFY(login->isVisible());  // the operator still reads why
    }
};

QTEST_MAIN(SettingsSaveFailureTest)
#include "settings_save_failure_test.moc"

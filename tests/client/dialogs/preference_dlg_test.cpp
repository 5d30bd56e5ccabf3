// SPDX-License-Identifier: GPL-3.0-or-later
// The preference dialogs: what Refresh shows, what Save stores (cached settings and Config.ini) and
// applies (the playing channels' buffer, the grid's countdown), Default, and Cancel keeping the old values.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "app/settings_store.h"
#include "dialogs/cycle_dlg.h"
#include "dialogs/folder_setting.h"
#include "dialogs/option_dlg.h"
#include "dialogs/record_dlg.h"
#include "dialogs/snapshot_dlg.h"
#include "dialogs_fixture.h"
#include "main_window_fixture.h"

class PreferenceDlgTest : public QObject {
    Q_OBJECT
    SimWithWeb sim_;
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;
    std::unique_ptr<SettingsStore> store_;

    QString Stored(const QString& key) { return AppProfile::ReadString(key, QStringLiteral("<missing>")); }

  private slots:
    void initTestCase() {
        QVERIFY(sim_.started());
        home_.CopyLanguage(QStringLiteral("de_DE"));
        home_.CopyLanguage(QStringLiteral("fr_FR"));
        home_.CopyLanguage(QStringLiteral("zh_CN"));
        home_.WriteFile(QStringLiteral("Config.ini"),
                        "[Tavrin]\n" + sim_.ConfigLines() +
                            "LowDelay=25\nLanguage File=xx_XX\nCycleDuration=30\n"
                            "CycleStopMode=1\nRecordDuration=600\n");
        client_ = home_.StartClient();
        store_ = std::make_unique<SettingsStore>(client_->profile());
    }

    void bufferShowsTenthsAndSaveAppliesToEveryPlayingChannel() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        LogIn(window);
        AppDevice* device = TreeDevice(window, "MDVR-10001");
        QList<AppChannel*> channels = {VelqDev_CreateChannel(device, 1, nullptr),
                                       VelqDev_CreateChannel(device, 2, nullptr)};
        QVERIFY(channels[0] && channels[1]);
        COptionDlg dialog(client_->settings, *store_, [&] { return channels; });
        dialog.ShowCurrent();
        QCOMPARE(dialog.bufferSlider()->value(), 25);
        QCOMPARE(dialog.bufferToolTip(), QStringLiteral("2.5 Sec"));
        QCOMPARE(dialog.bufferSlider()->toolTip(), QStringLiteral("2.5 Sec"));
        // English, then the languages whose files were found; an unknown code selects the first entry.
        QCOMPARE(dialog.languageList()->count(), 4);
        QCOMPARE(dialog.languageList()->currentIndex(), 0);
        // Each entry names the language in itself too, after the translated name the selection goes by.
        QCOMPARE(dialog.languageList()->itemText(dialog.languageList()->findData(9)),
                 QString::fromUtf8("German (Germany) \u2014 Deutsch"));
        QCOMPARE(dialog.languageList()->itemText(0), QStringLiteral("English"));

        dialog.bufferSlider()->setValue(1);
        dialog.languageList()->setCurrentIndex(dialog.languageList()->findData(9));  // de_DE
        qobject_cast<QPushButton*>(dialog.button(PreferenceDlg::kSave))->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(client_->settings.LowDelay, 1);
        QCOMPARE(Stored(QStringLiteral("LowDelay")), QStringLiteral("1"));
        QCOMPARE(Stored(QStringLiteral("Language File")), QStringLiteral("de_DE"));
        // A new language shows at the next start only, and the operator is told so, once.
        const auto notices = [&dialog] {
            int count = 0;
            for (QMessageBox* box : dialog.findChildren<QMessageBox*>())
                count += box->text() == QStringLiteral("The new language takes effect at the next start.");
            return count;
        };
        QCOMPARE(notices(), 1);
        qDeleteAll(dialog.findChildren<QMessageBox*>());
        dialog.ShowCurrent();
        qobject_cast<QPushButton*>(dialog.button(PreferenceDlg::kSave))->click();
        QCOMPARE(notices(), 0);
        dialog.languageList()->setCurrentIndex(0);
        dialog.ShowCurrent();
        QCOMPARE(dialog.languageList()->currentData().toInt(), 9);
        for (AppChannel* channel : channels) {
            const uint64_t previous_and_new = VelqChn_SetBufKeep(channel, 40);
            QCOMPARE(uint32_t(previous_and_new & 0xFFFFFFFF), 1u);
        }
        // Default: the maximum; the language stays as chosen although Chinese is listed (a Default press
        // must not switch the next start to another language).
        dialog.Default();
        QCOMPARE(dialog.bufferSlider()->value(), 40);
        QCOMPARE(dialog.languageList()->currentData().toInt(), 9);
        for (AppChannel* channel : channels) VelqChn_Release(channel);
        window.LogoutCleanup();
    }

    void cycleStoresSevenForAnywhereAndDrivesTheCountdown() {
        int countdown = -1;
        bool running = false;
        CCycleDlg dialog(client_->settings, *store_,
                         {[&] { return running; }, [&](int seconds) { countdown = seconds; }});
        dialog.ShowCurrent();
        QCOMPARE(dialog.durationEdit()->text(), QStringLiteral("30"));
        QVERIFY(dialog.clickDeviceList()->isChecked());
        QVERIFY(!dialog.clickDisplayWindow()->isChecked());

        dialog.clickDeviceList()->setChecked(false);
        dialog.clickAnywhere()->setChecked(true);
        dialog.durationEdit()->setText(QStringLiteral("12"));
        qobject_cast<QPushButton*>(dialog.button(PreferenceDlg::kSave))->click();
        QCOMPARE(Stored(QStringLiteral("CycleStopMode")), QStringLiteral("7"));
        QCOMPARE(client_->settings.CycleDuration, 12);
        QCOMPARE(countdown, 12);
        dialog.ShowCurrent();
        QVERIFY(dialog.clickDeviceList()->isChecked() && dialog.clickDisplayWindow()->isChecked() &&
                dialog.clickAnywhere()->isChecked());

        // Checking "Click Anywhere" checks the others; unchecking it leaves them.
        dialog.Default();
        QVERIFY(!dialog.clickAnywhere()->isChecked());
        dialog.clickDeviceList()->setChecked(false);
        dialog.clickAnywhere()->click();
        QVERIFY(dialog.clickDeviceList()->isChecked());
        dialog.clickAnywhere()->click();
        QVERIFY(dialog.clickDeviceList()->isChecked());

        // 0 leaves a stopped grid alone and stops a running one.
        countdown = -1;
        dialog.durationEdit()->setText(QStringLiteral("0"));
        dialog.Save();
        QCOMPARE(countdown, -1);
        running = true;
        dialog.Save();
        QCOMPARE(countdown, 0);
    }

    void foldersGetTheirSeparatorAndCancelKeepsTheOldValues() {
        CRecordDlg record(client_->settings, *store_);
        record.ShowCurrent();
        QCOMPARE(record.pathEdit()->text(), client_->settings.RecordPath);
        QCOMPARE(record.durationEdit()->text(), QStringLiteral("600"));
        record.pathEdit()->setText(home_.path() + QStringLiteral("clips"));
        record.durationEdit()->setText(QStringLiteral("0"));
        record.Save();
        QCOMPARE(Stored(QStringLiteral("RecordPath")), home_.path() + QStringLiteral("clips/"));
        QCOMPARE(client_->settings.RecordPath, home_.path() + QStringLiteral("clips/"));
        QCOMPARE(Stored(QStringLiteral("RecordDuration")), QStringLiteral("0"));
        record.pathEdit()->setText(QStringLiteral("/data/rec/"));
        record.Save();
        QCOMPARE(Stored(QStringLiteral("RecordPath")), QStringLiteral("/data/rec/"));
        // An emptied folder stores the default, never the root.
        record.pathEdit()->clear();
        record.Save();
        QCOMPARE(Stored(QStringLiteral("RecordPath")), AppProfile::Current()->folders().record_default);

        record.pathEdit()->setText(QStringLiteral("/elsewhere"));
        record.durationEdit()->setText(QStringLiteral("5"));
        qobject_cast<QPushButton*>(record.button(PreferenceDlg::kCancel))->click();
        QVERIFY(!record.isVisible());
        QCOMPARE(Stored(QStringLiteral("RecordDuration")), QStringLiteral("0"));
        record.ShowCurrent();
        QCOMPARE(record.pathEdit()->text(), AppProfile::Current()->folders().record_default);
        QCOMPARE(record.durationEdit()->text(), QStringLiteral("0"));

        // Browse opens in the configured folder, and in its nearest existing parent while the folder
        // is not made yet; never in the working folder.
        QDir().mkpath(home_.path() + QStringLiteral("rec/day"));
        for (const auto& [configured, expected] :
             {std::pair{home_.path() + QStringLiteral("rec/day/"), home_.path() + QStringLiteral("rec/day")},
              std::pair{home_.path() + QStringLiteral("rec/none/deeper/"),
                        home_.path() + QStringLiteral("rec")}}) {
            record.pathEdit()->setText(configured);
            QString opened_in;
            QTimer::singleShot(0, [&] {
                QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
                auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                opened_in = picker->directory().absolutePath();
                picker->reject();
            });
            record.findChild<QPushButton*>(QStringLiteral("browse"))->click();
            QCOMPARE(opened_in, QDir::cleanPath(expected));
            QCOMPARE(record.pathEdit()->text(), configured);  // cancelled: unchanged
        }
        QCOMPARE(BrowseStartFolder(QStringLiteral("relative/x"), QStringLiteral("/fallback/")),
                 QStringLiteral("/fallback/"));

        CSnapshotDlg snapshot(client_->settings, *store_);
        snapshot.ShowCurrent();
        QVERIFY(snapshot.openCheck()->isChecked());
        snapshot.openCheck()->setChecked(false);
        snapshot.pathEdit()->setText(QStringLiteral("/data/shots"));
        snapshot.Save();
        QCOMPARE(Stored(QStringLiteral("SnapshotOpenPath")), QStringLiteral("0"));
        QCOMPARE(Stored(QStringLiteral("SnapshotPath")), QStringLiteral("/data/shots/"));
        snapshot.Default();
        QVERIFY(snapshot.openCheck()->isChecked());
        QCOMPARE(snapshot.pathEdit()->text(), AppProfile::Current()->folders().snapshot_default);
        QCOMPARE(Stored(QStringLiteral("SnapshotOpenPath")), QStringLiteral("0"));  // Default stores nothing
    }
};

QTEST_MAIN(PreferenceDlgTest)
#include "preference_dlg_test.moc"

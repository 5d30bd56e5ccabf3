// SPDX-License-Identifier: GPL-3.0-or-later
// Our settings in Tavrin.ini: ranges, the one-time copy of keys older clients kept in Config.ini, and the
// preference page's Save (a failed write keeps the dialog open and says so).
#include <QAbstractButton>
#include <QFile>
#include <QSpinBox>
#include <QTest>

#include "../client_fixture.h"
#include "app/own_prefs.h"
#include "app/own_settings.h"
#include "dialogs/own_prefs_dlg.h"

class OwnPrefsTest : public QObject {
    Q_OBJECT

  private slots:
    void defaultsAndRangesOfTheEvidenceKeys() {
        ScratchHome home;
        auto client = home.StartClient();
        OwnSettings own(home.path());
        QCOMPARE(OwnPrefs::Read(own), OwnPrefs{});
        home.WriteFile("Tavrin.ini", "[Tavrin]\nPreAlarmSeconds=600\nPostAlarmSeconds=-5\nRecordOnAlarm=1\n");
        OwnPrefs prefs = OwnPrefs::Read(own);
        QCOMPARE(prefs.pre_alarm_s, 60);
        QCOMPARE(prefs.post_alarm_s, 1);
        QVERIFY(prefs.record_on_alarm);
        home.WriteFile("Tavrin.ini", "[Tavrin]\nPreAlarmSeconds=-3\n");
        QCOMPARE(OwnPrefs::Read(own).pre_alarm_s, 0);
    }

    // Config.ini's value counts and is copied once; Tavrin.ini's own value wins and is kept; Config.ini
    // keeps its lines for an older client.
    void keysOfOlderClientsMoveOverOnce() {
        ScratchHome home;
        const QByteArray config =
            "[Tavrin]\nAlarm_Sound=0\nAlarm_KeepDays=7\nTileLabel=0\nTileStretch=1\n"
            "MapTiles_Road=http://127.0.0.1:9/{z}/{x}/{y}.png\n";
        home.WriteFile("Config.ini", config);
        home.WriteFile("Tavrin.ini", "[Tavrin]\nTileStretch=0\n");
        auto client = home.StartClient();
        QCOMPARE(client->settings.TileLabel, 0);
        QCOMPARE(client->settings.TileStretch, 0);
        OwnSettings own(home.path());
        OwnPrefs before = OwnPrefs::Read(own);
        QVERIFY(!before.alarm_sound);
        QCOMPARE(before.alarm_history_days, 7);

        QCOMPARE(MigrateMovedKeys(own), QStringList());
        QCOMPARE(home.ReadFile("Config.ini"), config);
        QCOMPARE(own.ReadString("Alarm_Sound", "-"), QString("0"));
        QCOMPARE(own.ReadString("AlarmHistoryDays", "-"), QString("7"));
        QCOMPARE(own.ReadString("TileLabel", "-"), QString("0"));
        QCOMPARE(own.ReadString("TileStretch", "-"), QString("0"));
        QCOMPARE(own.ReadString("MapTiles_Road", "-"), QString("http://127.0.0.1:9/{z}/{x}/{y}.png"));
        QCOMPARE(own.ReadString("Alarm_AutoVideo", "-"), QString("-"));

        // Once copied, a later change of the Config.ini line no longer counts.
        home.WriteFile("Config.ini", "[Tavrin]\nAlarm_Sound=1\n");
        QCOMPARE(MigrateMovedKeys(own), QStringList());
        QVERIFY(!OwnPrefs::Read(own).alarm_sound);
    }

    void thePageSavesOrStaysOpenWithTheFailure() {
        ScratchHome home;
        auto client = home.StartClient();
        OwnSettings own(home.path());
        QList<OwnPrefs> applied;
        OwnPrefsDlg dialog(own, [&](const OwnPrefs& prefs) { applied << prefs; });
        dialog.ShowCurrent();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto spins = dialog.findChildren<QSpinBox*>();
        QVERIFY(spins.size() >= 2);
        spins[0]->setValue(3);
        dialog.button(PreferenceDlg::kSave)->click();
        QVERIFY(dialog.isHidden());
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied[0].pre_alarm_s, 3);
        QCOMPARE(OwnPrefs::Read(own).pre_alarm_s, 3);

        // A folder that cannot hold the file: the dialog stays with what was entered and says why.
        home.WriteFile("not-a-folder", "x");
        OwnSettings blocked(home.path() + "not-a-folder/");
        OwnPrefsDlg failing(blocked, [&](const OwnPrefs& prefs) { applied << prefs; });
        failing.ShowCurrent();
        QVERIFY(QTest::qWaitForWindowExposed(&failing));
        failing.findChildren<QSpinBox*>()[0]->setValue(5);
        failing.button(PreferenceDlg::kSave)->click();
        QVERIFY(failing.isVisible());
        QVERIFY(failing.ErrorText().contains("not-a-folder"));
        QCOMPARE(failing.Entered().pre_alarm_s, 5);
        QCOMPARE(applied.size(), 1);
    }
};

QTEST_MAIN(OwnPrefsTest)
#include "own_prefs_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store: typed reads with the client's defaults, group writes that keep Config.ini's other
// lines and format and announce the group, and writes that fail without touching the file or announcing.
#include <unistd.h>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include "../client_fixture.h"
#include "app/settings_store.h"

namespace {

// More than the settings reader takes in: such a file is never rewritten, whoever runs the client.
QByteArray OversizedConfig() {
    return "[Tavrin]\nRecordDuration=600\n;" + QByteArray(1100 * 1024, 'x') + "\n";
}

}  // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

  private slots:
    void readsGiveTheDefaultsOfAMissingFile() {
        ScratchHome home;
        auto client = home.StartClient();
        const SettingsStore store(client->profile());
        const SettingsStore::Login login = store.login();
        QCOMPARE(login.user, QString("orvi"));
        QCOMPARE(login.password, QString("480913"));
        QCOMPARE(login.address, QString("127.0.0.1"));
        QCOMPARE(login.tcp_port, 24680);
        QCOMPARE(login.udp_port, 24681);
        QCOMPARE(store.cycleDuration_s(17), 17);
        QCOMPARE(store.gridRows(), 2);
        QCOMPARE(store.pageTabWidth_px(), 120);
        QVERIFY(!store.showResolutionConfig());
        QCOMPARE(store.programFolder(), home.path());
        QVERIFY(!QFile::exists(home.path() + "Config.ini"));  // reading creates nothing

        const SettingsStore none(nullptr);
        QCOMPARE(none.login().tcp_port, 24680);
        QCOMPARE(none.settingsFile(), QString());
    }

    void groupWritesKeepTheFileAndSignalTheirGroup() {
        ScratchHome home;
        home.WriteFile("Config.ini",
                       "; kept\n[tavrin]\nrecordpath = \"/old/\"\nUIWindowRow=3\nShowResolutionConfig=1\n\n"
                       "[Provinces]\nNorth\n");
        auto client = home.StartClient();
        SettingsStore store(client->profile());
        QCOMPARE(store.gridRows(), 3);
        QVERIFY(store.showResolutionConfig());
        QSignalSpy record(&store, &SettingsStore::recordChanged);
        QSignalSpy snapshot(&store, &SettingsStore::snapshotChanged);
        QSignalSpy login(&store, &SettingsStore::loginChanged);

        QVERIFY(store.SetRecord("/data/rec/", 300));
        QCOMPARE(record.count(), 1);
        QCOMPARE(snapshot.count(), 0);
        QCOMPARE(login.count(), 0);
        // The first matching key is replaced where it stands (named as the store names it); a new key
        // follows the section's last key.
        QCOMPARE(home.ReadFile("Config.ini"),
                 QByteArray("; kept\n[tavrin]\nRecordPath=/data/rec/\nUIWindowRow=3\nShowResolutionConfig=1\n"
                            "RecordDuration=300\n\n[Provinces]\nNorth\n"));

        QVERIFY(store.SetSnapshot("/shots/", false));
        QVERIFY(store.SetCredentials("anna", "pw"));
        QVERIFY(store.SetCycle(45, 7));
        QCOMPARE(snapshot.count(), 1);
        QCOMPARE(login.count(), 1);
        QCOMPARE(store.login().user, QString("anna"));
        QCOMPARE(store.cycleDuration_s(0), 45);
        QVERIFY(home.ReadFile("Config.ini").contains("SnapshotOpenPath=0\n"));
        QVERIFY(home.ReadFile("Config.ini").contains("CycleStopMode=7\n"));
    }

    void aFailedWriteSaysSoAndLeavesTheFileAlone() {
        ScratchHome home;
        home.WriteFile("Config.ini", OversizedConfig());
        auto client = home.StartClient();
        SettingsStore store(client->profile());
        QSignalSpy record(&store, &SettingsStore::recordChanged);
        QVERIFY(!store.SetRecord("/data/rec/", 300));
        QCOMPARE(record.count(), 0);
        QCOMPARE(home.ReadFile("Config.ini"), OversizedConfig());

        // Config.ini where a folder stands: nobody can write it, not even root.
        QVERIFY(QFile::remove(home.path() + "Config.ini"));
        QVERIFY(QDir().mkpath(home.path() + "Config.ini"));
        QSignalSpy cycle(&store, &SettingsStore::cycleChanged);
        QVERIFY(!store.SetCycle(10, 1));
        QCOMPARE(cycle.count(), 0);
        QVERIFY(QFileInfo(home.path() + "Config.ini").isDir());

        // Without a profile nothing is stored.
        SettingsStore none(nullptr);
        QVERIFY(!none.SetLowDelay(20));

        // A read-only file in a read-only folder stops anyone but root.
        if (geteuid() != 0) {
            QVERIFY(QDir(home.path() + "Config.ini").removeRecursively());
            home.WriteFile("Config.ini", "[Tavrin]\nLowDelay=30\n");
            QFile::setPermissions(home.path() + "Config.ini", QFileDevice::ReadOwner);
            QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            const bool stored = store.SetLowDelay(20);
            QFile::setPermissions(home.path(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QVERIFY(!stored);
            QCOMPARE(home.ReadFile("Config.ini"), QByteArray("[Tavrin]\nLowDelay=30\n"));
        }
    }
};

QTEST_MAIN(SettingsStoreTest)
#include "settings_store_test.moc"

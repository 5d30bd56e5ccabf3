// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the language choice, Translate, the cached settings, and the completeness of the shipped
// language files.
#include <QDirIterator>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>
#include <clocale>

#include "../client_fixture.h"
#include "app/app_settings.h"
#include "app/language_table.h"
#include "dialogs/config_values.h"
#include "shell/shortcut_table.h"

class AppProfileTest : public QObject {
    Q_OBJECT
  private slots:
    void tableHoldsTheFortyCodesAsListed() {
        LanguageTable table;
        QCOMPARE(table.size(), 40);
        QCOMPARE(QString(table.row(9).code), QString("de_DE"));
        QCOMPARE(QString(table.row(9).locale_name), QString("German"));
        for (const char* code : {"ba_BA", "cz_CZ", "es_AS", "fr_BR", "jp_JP", "ua_UA"})
            QVERIFY(table.IndexOf(code) >= 0);
        QCOMPARE(table.IndexOf("vi_VN"), 39);
        QCOMPARE(LanguageTable::SystemLocale(table.row(table.IndexOf("ua_UA"))), QString("uk_UA.UTF-8"));
    }

    void germanFilePresentTranslates() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=de_DE\n");
        home.CopyLanguage("de_DE");
        home.CopyLanguage("en_US");
        auto client = home.StartClient();
        AppProfile* profile = AppProfile::Current();
        QCOMPARE(profile->languageIndex(), 9);
        QVERIFY(profile->languageFile().endsWith("Language/de_DE.ini"));
        QCOMPARE(AppProfile::Translate("Login"), QString("Anmelden"));
        QCOMPARE(AppProfile::Translate("A text no file has"), QString("A text no file has"));
        const QByteArray before = std::setlocale(LC_ALL, nullptr);
        const QString set = profile->ApplyLocale();
        QCOMPARE(QLocale().language(), QLocale::German);
        // The C library's locale is German where the system has it (Debian: the locales package).
        if (!set.isEmpty()) QVERIFY(QString(std::setlocale(LC_CTYPE, nullptr)).startsWith("de_DE"));
        std::setlocale(LC_ALL, before.constData());
        QLocale::setDefault(QLocale::c());
    }

    void germanChosenButOnlyFrenchPresentStaysEnglish() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=de_DE\n");
        home.CopyLanguage("fr_FR");
        auto client = home.StartClient();
        QCOMPARE(AppProfile::Current()->languageIndex(), 9);  // German locale, English texts
        QCOMPARE(AppProfile::Translate("Login"), QString("Login"));
        QCOMPARE(LanguageTable::SystemLocale(AppProfile::Current()->languageTable().row(9)),
                 QString("de_DE.UTF-8"));
    }

    void codesCompareCaseSensitivelyKeysDoNot() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=de_DE\n");
        home.CopyLanguage("de_DE", "de_de");
        auto client = home.StartClient();
        QCOMPARE(AppProfile::Translate("Login"), QString("Login"));

        ScratchHome other;
        other.WriteFile("Config.ini", "[Tavrin]\nLanguage File=de_DE\n");
        other.WriteFile("Language/de_DE.ini",
                        "[TAVRIN]\nlogin=Einloggen\nEmpty=\nLong=" + QByteArray(300, 'x') + "\n");
        auto second = other.StartClient();
        QCOMPARE(AppProfile::Translate("Login"), QString("Einloggen"));
        QCOMPARE(AppProfile::Translate("Empty"), QString());
        QCOMPARE(AppProfile::Translate("Long").size(), 259);
    }

    void noLanguageFolderMeansEnglish() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=xx_XX\n");
        auto client = home.StartClient();
        QCOMPARE(AppProfile::Current()->languageIndex(), 0);
        QCOMPARE(AppProfile::Translate("Login"), QString("Login"));
    }

    void settingsDefaultsAndEmptyValues() {
        ScratchHome home;
        home.WriteFile("Config.ini",
                       "[Tavrin]\nRecordPath=\nCyclePrepare=-1\nUIPanelWidth=300px\nTextColor=junk\n");
        auto client = home.StartClient();
        const AppSettings& s = client->settings;
        QCOMPARE(s.RecordPath, home.path() + "Record/");
        QCOMPARE(s.SnapshotPath, home.path() + "Snapshot/");
        QCOMPARE(s.CyclePrepare, -1);
        QCOMPARE(s.UIPanelWidth, 300);
        QCOMPARE(s.TextColor, 0);
        QCOMPARE(s.MainBkColor, 1052688);
        QCOMPARE(s.CenterServer_Address, QString("127.0.0.1"));
        QCOMPARE(s.Playback_WebPage, QString("/playback.aspx"));
        QCOMPARE(s.Event_FontName, QString("Arial"));
        QCOMPARE(AppProfile::ReadString("UserName", "orvi"), QString("orvi"));
    }

    // A hand-edited file cannot freeze video (LowDelay), hide the tree and grid (UIPanelWidth) or empty the
    // labels (ProvinceOffset): each value comes into its range with one log line.
    void absurdSettingsAreClampedAtLoad() {
        ScratchHome home;
        home.WriteFile("Config.ini",
                       "[Tavrin]\nLowDelay=2147483647\nUIPanelWidth=2147483647\nProvinceOffset=-2147483648\n"
                       "CycleStopMode=-5\nTextColor=-1\nCyclePrepare=-1\nRecordDuration=0\nLowDelay2=0\n");
        for (const char* line :
             {"Config.ini: LowDelay=2147483647 is out of range 1..40, using 40",
              "Config.ini: UIPanelWidth=2147483647 is out of range 120..400, using 400",
              "Config.ini: ProvinceOffset=-2147483648 is out of range -100000..100000, using -100000",
              "Config.ini: CycleStopMode=-5 is out of range 0..7, using 0",
              "Config.ini: TextColor=-1 is out of range 0..16777215, using 0"})
            QTest::ignoreMessage(QtWarningMsg, line);
        auto client = home.StartClient();
        const AppSettings& s = client->settings;
        QCOMPARE(s.LowDelay, 40);
        QCOMPARE(s.UIPanelWidth, 400);
        QCOMPARE(s.ProvinceOffset, -100000);
        QCOMPARE(s.CycleStopMode, 0);
        // Values in range are kept, -1 ("never") included.
        QCOMPARE(s.CyclePrepare, -1);
        QCOMPARE(s.RecordDuration, 0);
        // Exactly one line per changed value, none for the rest.
        AppSettings again = s;
        QVERIFY(again.ClampToRanges().isEmpty());
    }

    // Three English texts that read wrongly (and one that named a limit the dialog does not have).
    void shippedWordingsSayWhatTheClientDoes() {
        for (const char* code : {"en_US", "de_DE", "fr_FR", "ru_RU", "zh_CN"}) {
            ScratchHome home;
            home.CopyLanguage(code);
            home.WriteFile("Config.ini", QByteArray("[Tavrin]\nLanguage File=") + code + "\n");
            auto client = home.StartClient();
            const QString id_rule = AppProfile::Translate("DeviceId size must be at 4 ~ 64");
            QVERIFY2(id_rule.contains("63") && !id_rule.contains("64"), code);
        }
        ScratchHome home;
        home.CopyLanguage("en_US");
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=en_US\n");
        auto client = home.StartClient();
        QCOMPARE(AppProfile::Translate("DeviceId size must be at 4 ~ 64"),
                 QString("The device ID must be 4 to 63 characters long"));
        QCOMPARE(AppProfile::Translate("Open Path After Snapshoted"),
                 QString("Open the folder after each snapshot"));
        QCOMPARE(AppProfile::Translate("Note: More buffer times has more delay, but more smoothing."),
                 QString("Note: a longer buffer adds delay but plays more smoothly."));
    }

    void garbageSettingsAndLanguageFilesStillStart() {
        ScratchHome home;
        QByteArray junk(6 * 1024 * 1024, '\xFF');
        home.WriteFile("Config.ini", junk);
        home.WriteFile("Language/en_US.ini", QByteArray(2 * 1024 * 1024, '['));
        auto client = home.StartClient();
        QCOMPARE(client->settings.UIPanelWidth, 230);
        QCOMPARE(AppProfile::Translate("Login"), QString("Login"));
        // The settings file is not rewritten (nothing stored in it is lost).
        QVERIFY(!AppProfile::WriteString("UserName", "x"));
        QCOMPARE(home.ReadFile("Config.ini").size(), junk.size());
    }

    void provincesFromTheLanguageFileElseTheSettings() {
        ScratchHome home;
        home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=de_DE\n[Provinces]\nP0\nP1\n");
        auto client = home.StartClient();
        QCOMPARE(AppProfile::Current()->Provinces(), QStringList({"P0", "P1"}));  // no language file
        ScratchHome german;
        german.WriteFile("Config.ini", "[Tavrin]\nLanguage File=de_DE\n[Provinces]\nP0\n");
        german.CopyLanguage("de_DE");
        auto second = german.StartClient();
        QCOMPARE(AppProfile::Current()->Provinces().value(1), QString("AK-"));
    }

    void settingsFileIsOwnerOnly() {
        ScratchHome home;
        auto client = home.StartClient();
        QVERIFY(AppProfile::WriteString("Password", "480913"));
        const QFileDevice::Permissions mode = QFile::permissions(home.path() + "Config.ini");
        QVERIFY(!(mode & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
    }

    void foldersFollowTheProgramsPlace() {
        QTemporaryDir exe;
        const AppFolders installed =
            AppFolders::From(QString(), exe.path(), "/cfg/tavrin", "/usr/share/tavrin");
        QVERIFY(installed.installed);
        QCOMPARE(installed.program, QString("/cfg/tavrin/"));
        QCOMPARE(installed.data.last(), QString("/usr/share/tavrin/"));
        QDir(exe.path()).mkdir("Language");
        const AppFolders build = AppFolders::From(QString(), exe.path(), "/cfg/tavrin", "/usr/share/tavrin");
        QVERIFY(!build.installed);
        QCOMPARE(build.program, exe.path() + u'/');
        const AppFolders home = AppFolders::From("/scratch", exe.path(), "/cfg/tavrin", QString());
        QCOMPARE(home.program, QString("/scratch/"));
        QCOMPARE(home.data, QStringList({"/scratch/", exe.path() + u'/'}));
    }

    // Every text the client passes to Translate is a key of every shipped language file, with a value.
    void everyTextIsInEveryLanguageFile() {
        QSet<QString> keys;
        const QRegularExpression call(
            QStringLiteral("Translate\\(QStringLiteral\\(\"((?:[^\"\\\\]|\\\\.)*)\"\\)\\)"));
        QDirIterator it(QStringLiteral(CORVEL_SOURCE_DIR "/client"), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = call.globalMatch(text); match.hasNext();) keys.insert(match.next().captured(1));
        }
        // Keys passed from tables rather than literals.
        for (const char* key : {"GPIO 0 Alarm", "GPIO 1 Alarm", "GPIO 2 Alarm", "GPIO 3 Alarm", "Disk Error",
                                "Over Speed", "Reserved Alarm 6", "Reserved Alarm 7"})
            keys.insert(key);
        // The device configuration lists, and the names of the shipped languages in the language list.
        for (const QStringList* table :
             {&config_values::QualityKeys(), &config_values::ResolutionKeys(), &config_values::BitRateKeys()})
            for (const QString& key : *table) keys.insert(key);
        // The shortcut table's texts.
        for (const ShortcutEntry& entry : ShortcutTable()) keys.insert(QString::fromLatin1(entry.text));
        for (const char* key :
             {"English", "Chinese (P.R.C.)", "German (Germany)", "French (France)", "Russian"})
            keys.insert(key);
        QVERIFY(keys.size() > 40);
        for (const char* code : {"en_US", "de_DE", "zh_CN", "fr_FR", "ru_RU"}) {
            ProfileFile file(QStringLiteral(CORVEL_SOURCE_DIR "/client/resources/Language/") + code + ".ini");
            for (const QString& key : keys) {
                const std::optional<QString> value = file.Lookup("Tavrin", key);
                QVERIFY2(value && !value->isEmpty(), qPrintable(QString("%1 lacks \"%2\"").arg(code, key)));
            }
            QVERIFY2(file.ReadSection("Provinces").size() >= 13, code);
        }
    }
};

QTEST_MAIN(AppProfileTest)
#include "app_profile_test.moc"

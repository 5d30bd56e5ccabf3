// SPDX-License-Identifier: GPL-3.0-or-later
// What the chosen language means beyond our own texts: Qt's locale, Qt's own texts, the layout direction
// and the language list's entries.
#include <QApplication>
#include <QTest>

#include "../client_fixture.h"
#include "app/language_table.h"
#include "app/qt_translations.h"

namespace {

// Qt's text for a standard Cancel button, as its dialogs show it.
QString QtCancel() {
    return QCoreApplication::translate("QPlatformTheme", "Cancel");
}

}  // namespace

class UiLanguageTest : public QObject {
    Q_OBJECT
  private slots:
    // The table's odd codes name Qt's locales by the system's names; exactly Arabic and Hebrew run right
    // to left.
    void localesAndDirectionOfTheRows() {
        const LanguageTable table;
        QCOMPARE(LanguageTable::Locale(table.row(table.IndexOf("jp_JP"))).language(), QLocale::Japanese);
        QCOMPARE(LanguageTable::Locale(table.row(table.IndexOf("ua_UA"))).language(), QLocale::Ukrainian);
        QCOMPARE(LanguageTable::Locale(table.row(table.IndexOf("cz_CZ"))).language(), QLocale::Czech);
        QCOMPARE(LanguageTable::Locale(table.row(table.IndexOf("ba_BA"))).language(), QLocale::Basque);
        QCOMPARE(LanguageTable::Locale(table.row(table.IndexOf("zh_TW"))).territory(), QLocale::Taiwan);
        QStringList mirrored;
        for (int i = 0; i < table.size(); ++i)
            if (LanguageTable::RightToLeft(table.row(i))) mirrored << QLatin1String(table.row(i).code);
        QCOMPARE(mirrored, QStringList({"ar_AE", "he_IL"}));
    }

    // Every language names itself, each differently, beside its translated name; a name that is the same
    // in both stands once, and the entry still begins with the translated name.
    void listEntriesNameEachLanguageInItself() {
        const LanguageTable table;
        QSet<QString> own;
        for (int i = 0; i < table.size(); ++i) own.insert(QString::fromUtf8(table.row(i).own_name));
        QCOMPARE(own.size(), table.size());
        QCOMPARE(LanguageTable::ListEntry(table.row(9), "German (Germany)"),
                 QString::fromUtf8("German (Germany) \u2014 Deutsch"));
        QCOMPARE(LanguageTable::ListEntry(table.row(0), "English"), QString("English"));
        QCOMPARE(LanguageTable::ListEntry(table.row(33), QString::fromUtf8("русский")),
                 QString::fromUtf8("русский"));
    }

    // Debian's catalogues give Qt's own buttons the language while installed, and English again after.
    void qtTextsFollowTheLanguageWhileInstalled() {
        QCOMPARE(QtCancel(), QString("Cancel"));
        {
            QtTranslations german(QLocale(QLocale::German, QLocale::Germany));
            QVERIFY(!german.files().isEmpty());
            QCOMPARE(QtCancel(), QString("Abbrechen"));
        }
        QCOMPARE(QtCancel(), QString("Cancel"));
        // A language Qt has no catalogue for installs none; English installs none by design.
        QVERIFY(QtTranslations(QLocale(QLocale::Maltese, QLocale::Malta)).files().isEmpty());
        QVERIFY(QtTranslations(QLocale(QLocale::English)).files().isEmpty());
    }

    // Arabic with its file: Qt's texts in Arabic and the application right to left, undone when the client
    // goes. Hebrew without its file: English texts, so Qt stays English and left to right.
    void clientStartsInTheLanguagesDirection() {
        {
            ScratchHome home;
            home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=ar_AE\n");
            home.CopyLanguage("ar_AE");
            auto client = home.StartClient();
            QCOMPARE(QGuiApplication::layoutDirection(), Qt::RightToLeft);
            QVERIFY(QtCancel() != QString("Cancel"));
            QCOMPARE(AppProfile::Translate("Cancel"), QString::fromUtf8("إلغاء"));
        }
        QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
        QCOMPARE(QtCancel(), QString("Cancel"));

        ScratchHome hebrew;
        hebrew.WriteFile("Config.ini", "[Tavrin]\nLanguage File=he_IL\n");
        hebrew.CopyLanguage("en_US");
        auto client = hebrew.StartClient();
        QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
        QCOMPARE(QtCancel(), QString("Cancel"));
    }
};

QTEST_MAIN(UiLanguageTest)
#include "ui_language_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped language files: one per row of the language table, each complete, valid UTF-8 and
// written in its language, with the placeholders, accelerators and numbers of every key kept.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>

#include "app/language_table.h"
#include "app/profile_file.h"
#include "dialogs/config_values.h"

namespace {

QString LanguageFolder() {
    return QStringLiteral(CORVEL_SOURCE_DIR "/client/resources/Language/");
}

QString PathOf(const char* code) {
    return LanguageFolder() + QLatin1String(code) + QStringLiteral(".ini");
}

// The text of every C++ source and header under client/, each with its path relative to client/.
QList<QPair<QString, QString>> ClientSources() {
    QList<QPair<QString, QString>> sources;
    const QDir client(QStringLiteral(CORVEL_SOURCE_DIR "/client"));
    QDirIterator it(client.path(), {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly)) continue;
        sources.append({client.relativeFilePath(file.fileName()), QString::fromUtf8(file.readAll())});
    }
    return sources;
}

// Every text the client hands to its translation: the literals that any source passes to
// AppProfile::Translate or to a translate function it was given (translate(...), translate_(...)), the
// words it passes from tables (alarm names, the device configuration lists) and the display names of the
// language list.
QSet<QString> TranslatedKeys() {
    QSet<QString> keys;
    const QRegularExpression call(QStringLiteral(
        "\\b[Tt]ranslate_?\\(\\s*QStringLiteral\\(\\s*\"((?:[^\"\\\\]|\\\\.)*)\"\\s*\\)\\s*\\)"));
    for (const auto& [path, text] : ClientSources())
        for (auto match = call.globalMatch(text); match.hasNext();) keys.insert(match.next().captured(1));
    for (const char* key :
         {"GPIO 0 Alarm", "GPIO 1 Alarm", "GPIO 2 Alarm", "GPIO 3 Alarm", "Disk Error", "Over Speed",
          "Reserved Alarm 6", "Reserved Alarm 7", "Entered zone %1", "Left zone %1", "Speeding in zone %1"})
        keys.insert(QLatin1String(key));
    for (const QStringList* table :
         {&config_values::QualityKeys(), &config_values::ResolutionKeys(), &config_values::BitRateKeys()})
        for (const QString& key : *table) keys.insert(key);
    const LanguageTable languages;
    for (int i = 0; i < languages.size(); ++i) keys.insert(QString::fromUtf8(languages.row(i).display_name));
    return keys;
}

// The key lines of a file's [Tavrin] section, in file order, as written (no trimming of quotes).
QList<QPair<QString, QString>> KeyLines(const QString& text) {
    QList<QPair<QString, QString>> lines;
    bool inside = false;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inside = line.compare(QStringLiteral("[Tavrin]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inside && eq > 0 && !line.startsWith(u';'))
            lines.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return lines;
}

// What a translation must carry over from its key: printf and Qt placeholders, single "&" accelerators and
// the numbers, each as a sorted list so that their order may change with the language's word order.
QStringList Carried(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("%(?:\\d+|[sdif])|&(?!&)|\\d+"));
    QStringList found;
    for (auto match = pattern.globalMatch(text); match.hasNext();) found.append(match.next().captured(0));
    found.sort();
    return found;
}

}  // namespace

class LanguageFilesTest : public QObject {
    Q_OBJECT
  private slots:
    // A file for every row, named exactly as the row's code, and no file the table does not know (a file
    // under any other name could never be chosen).
    void oneFilePerRowOfTheTable() {
        const LanguageTable table;
        QStringList codes;
        for (int i = 0; i < table.size(); ++i) {
            codes.append(QLatin1String(table.row(i).code));
            QVERIFY2(QFile::exists(PathOf(table.row(i).code)), table.row(i).code);
        }
        const QStringList shipped = QDir(LanguageFolder()).entryList({"*.ini"}, QDir::Files);
        QCOMPARE(shipped.size(), table.size());
        for (const QString& name : shipped) QVERIFY2(codes.contains(name.chopped(4)), qPrintable(name));
    }

    // Every text the client translates is a key of every file, with a value.
    void everyTextIsInEveryFile() {
        const QSet<QString> keys = TranslatedKeys();
        QVERIFY(keys.size() > 200);
        const LanguageTable table;
        for (int i = 0; i < table.size(); ++i) {
            ProfileFile file(PathOf(table.row(i).code));
            for (const QString& key : keys) {
                const std::optional<QString> value = file.Lookup("Tavrin", key);
                QVERIFY2(value && !value->isEmpty(),
                         qPrintable(QString("%1 lacks \"%2\"").arg(table.row(i).code, key)));
            }
        }
    }

    // The English file names every language of the list in English (plain ASCII letters), whatever name
    // the table keys it by.
    void englishNamesEveryLanguageInEnglish() {
        const LanguageTable table;
        ProfileFile english(PathOf("en_US"));
        for (int i = 0; i < table.size(); ++i) {
            const QString key = QString::fromUtf8(table.row(i).display_name);
            const QString name = english.ReadString("Tavrin", key, QString());
            bool ascii = !name.isEmpty();
            for (const QChar c : name) ascii &= c.unicode() < 0x80;
            QVERIFY2(ascii, qPrintable(QString("\"%1\" -> \"%2\"").arg(key, name)));
        }
    }

    // The recordings windows' texts count like every other: they are found in their sources, and no
    // window keeps a text of Qt's own translation system, which the language files never reach.
    void noTextBypassesTheLanguageFiles() {
        const QSet<QString> keys = TranslatedKeys();
        for (const char* key : {"Export Clip...", "Mark In", "%1 files", "unreadable"})
            QVERIFY2(keys.contains(QLatin1String(key)), key);
        const QRegularExpression qt_call(
            QStringLiteral("(?<!\\w)tr\\s*\\(|\\btranslate\\s*\\(\\s*\"|\\bQT_TR_NOOP"));
        QStringList found;
        for (const auto& [path, text] : ClientSources()) {
            const QStringList lines = text.split(u'\n');
            for (int i = 0; i < lines.size(); ++i) {
                const QString code = lines[i].section(QStringLiteral("//"), 0, 0);
                if (qt_call.match(code).hasMatch()) found << QStringLiteral("%1:%2").arg(path).arg(i + 1);
            }
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u' ')));
    }

    // A stored vehicle id ends in "@n", an index into the province list: every file holds the same list in
    // the same order, so two operators read the same plate whatever language each has chosen.
    void everyFileHasTheSameProvinces() {
        const QStringList english = ProfileFile(PathOf("en_US")).ReadSection("Provinces", 1023);
        QVERIFY(english.size() >= 13);
        QCOMPARE(QSet<QString>(english.begin(), english.end()).size(), english.size());
        const LanguageTable table;
        for (int i = 0; i < table.size(); ++i) {
            const QStringList list = ProfileFile(PathOf(table.row(i).code)).ReadSection("Provinces", 1023);
            QVERIFY2(list == english, table.row(i).code);
        }
    }

    // Each file decodes as UTF-8 without a byte order mark, holds no key twice, keeps what every key
    // carries, and is written in its own language rather than copied from English.
    void filesAreUtf8TranslatedAndKeepPlaceholders() {
        const LanguageTable table;
        for (int i = 0; i < table.size(); ++i) {
            const char* code = table.row(i).code;
            QFile file(PathOf(code));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(!bytes.startsWith("\xEF\xBB\xBF"), code);
            QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = decode(bytes);
            QVERIFY2(!decode.hasError(), code);

            QSet<QString> seen;
            int copied = 0;
            const QList<QPair<QString, QString>> lines = KeyLines(text);
            for (const auto& [key, value] : lines) {
                QVERIFY2(!seen.contains(key.toLower()),
                         qPrintable(QString("%1: \"%2\" twice").arg(code, key)));
                seen.insert(key.toLower());
                // The device id's limit is 63 bytes; its key, the text the code passes, still says 64.
                const bool known_wrong_key = key == QStringLiteral("DeviceId size must be at 4 ~ 64");
                QVERIFY2(known_wrong_key ? Carried(value) == QStringList({"4", "63"})
                                         : Carried(key) == Carried(value),
                         qPrintable(QString("%1: \"%2\" -> \"%3\"").arg(code, key, value)));
                if (key == value) ++copied;
            }
            // Technical words (kbps figures, CIF, GPS, PTZ words) may stay as they are; most may not.
            if (QLatin1String(code) != QLatin1String("en_US"))
                QVERIFY2(copied * 4 < lines.size(),
                         qPrintable(QString("%1: %2 of %3 values are the English key")
                                        .arg(code)
                                        .arg(copied)
                                        .arg(lines.size())));
        }
    }
};

QTEST_MAIN(LanguageFilesTest)
#include "language_files_test.moc"

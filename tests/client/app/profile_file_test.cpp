// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file reader and writer: the platform's profile semantics and bounded handling of bad files.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/own_settings.h"
#include "app/profile_file.h"

class ProfileFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString Write(const QString& name, const QByteArray& content) {
        const QString path = dir_.path() + u'/' + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content);
        return path;
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

  private slots:
    // Tavrin.ini: made in a missing program folder on the first write, read back typed; a folder that
    // cannot be made is reported as a failed write, and reads then give the defaults.
    void ownSettingsMakeTheirFileAndReportFailedWrites() {
        const QString folder = dir_.path() + QStringLiteral("/later/home/");
        OwnSettings own(folder);
        QCOMPARE(own.ReadBool("HideOfflineVehicles", false), false);
        QVERIFY(!QFile::exists(folder + "Tavrin.ini"));
        QVERIFY(own.WriteBool("HideOfflineVehicles", true));
        QVERIFY(own.WriteString("Name", "a b"));
        QCOMPARE(Read(folder + "Tavrin.ini"), QByteArray("[Tavrin]\nHideOfflineVehicles=1\nName=a b\n"));
        QCOMPARE(OwnSettings(folder).ReadBool("HideOfflineVehicles", false), true);
        QCOMPARE(own.ReadString("Missing", "d"), QString("d"));

        Write("plain-file", "not a folder");
        OwnSettings blocked(dir_.path() + QStringLiteral("/plain-file/"));
        QVERIFY(!blocked.WriteInt("Key", 1));
        QCOMPARE(blocked.ReadInt("Key", 7), 7);
        QVERIFY(!OwnSettings(QString()).WriteInt("Key", 1));
    }

    void namesMatchInAnyCaseAndFirstWins() {
        ProfileFile file(Write("a.ini", "[tavrin]\nUserName = anna \nUSERNAME=second\n[TAVRIN]\nPort=1\n"));
        QCOMPARE(file.ReadString("Tavrin", "username", "x"), QString("anna"));
        // Only the first section of a name is read.
        QCOMPARE(file.ReadString("Tavrin", "Port", "none"), QString("none"));
        QCOMPARE(file.ReadString("Other", "UserName", "fallback"), QString("fallback"));
    }

    void emptyValueIsPresentButEmpty() {
        ProfileFile file(Write("b.ini", "[Tavrin]\nRecordPath=\nQuoted=\"  spaced  \"\nBare\n"));
        QCOMPARE(file.Lookup("Tavrin", "RecordPath"), std::optional<QString>(QString()));
        QCOMPARE(file.ReadString("Tavrin", "Quoted", ""), QString("  spaced  "));
        QCOMPARE(file.Lookup("Tavrin", "Missing"), std::nullopt);
        QCOMPARE(file.ReadInt("Tavrin", "RecordPath", 77), 77);
    }

    void valuesAreCutAt259Characters() {
        const QByteArray long_value(400, 'v');
        ProfileFile file(Write("c.ini", "[Tavrin]\nLong=" + long_value + "\n"));
        QCOMPARE(file.ReadString("Tavrin", "Long", "").size(), 259);
        // A cut never splits a character made of two UTF-16 units.
        QString text = QString(258, u'a') + QString::fromUcs4(U"\U0001F600");
        ProfileFile file2(Write("c2.ini", "[Tavrin]\nLong=" + text.toUtf8() + "\n"));
        QCOMPARE(file2.ReadString("Tavrin", "Long", "").size(), 258);
    }

    void integersReadAsThePlatformReadsThem() {
        ProfileFile file(
            Write("d.ini", "[Tavrin]\nA=-1\nB=+42\nC=12abc\nD=abc\nE= 7 \nF=99999999999\nG=-99999999999\n"));
        QCOMPARE(file.ReadInt("Tavrin", "A", 5), -1);
        QCOMPARE(file.ReadInt("Tavrin", "B", 5), 42);
        QCOMPARE(file.ReadInt("Tavrin", "C", 5), 12);
        QCOMPARE(file.ReadInt("Tavrin", "D", 5), 0);
        QCOMPARE(file.ReadInt("Tavrin", "E", 5), 7);
        QCOMPARE(file.ReadInt("Tavrin", "F", 5), 2147483647);
        QCOMPARE(file.ReadInt("Tavrin", "G", 5), -2147483647 - 1);
        QCOMPARE(file.ReadInt("Tavrin", "Missing", 5), 5);
    }

    void missingFileReadsEmptyAndIsCreatedOnWrite() {
        const QString path = dir_.path() + "/missing.ini";
        ProfileFile file(path);
        QCOMPARE(file.ReadString("Tavrin", "Key", "d"), QString("d"));
        QVERIFY(!QFile::exists(path));
        QVERIFY(file.WriteString("Tavrin", "Key", "v", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(file.ReadString("Tavrin", "Key", "d"), QString("v"));
        const QFileDevice::Permissions mode = QFile::permissions(path);
        QVERIFY(mode.testFlag(QFileDevice::ReadOwner) && mode.testFlag(QFileDevice::WriteOwner));
        QVERIFY(!(mode & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                          QFileDevice::WriteOther)));
    }

    void writeKeepsEveryOtherLine() {
        const QByteArray before =
            "; operator notes\n[Other]\nx=1\n\n[Tavrin]\n; the "
            "server\nCenterServer_Address=old\nUserName=anna\n\n"
            "[Last]\ny=2\n";
        const QString path = Write("e.ini", before);
        ProfileFile file(path);
        QVERIFY(file.WriteString("TAVRIN", "centerserver_address", "10.0.0.1"));
        QVERIFY(file.WriteString("Tavrin", "Password", "secret"));
        QVERIFY(file.WriteString("New", "k", "v"));
        QCOMPARE(
            Read(path),
            QByteArray(
                "; operator notes\n[Other]\nx=1\n\n[Tavrin]\n; the server\ncenterserver_address=10.0.0.1\n"
                "UserName=anna\nPassword=secret\n\n[Last]\ny=2\n\n[New]\nk=v\n"));
        // A line end in a value cannot add a line (or a section) to the file.
        QVERIFY(file.WriteString("Tavrin", "UserName", "a\n[Evil]\nb=c"));
        QVERIFY(!file.SectionNames().contains("Evil"));
    }

    void existingFileBecomesOwnerOnly() {
        const QString path = Write("f.ini", "[Tavrin]\nPassword=480913\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadOther | QFileDevice::ReadGroup);
        ProfileFile file(path);
        QVERIFY(
            file.WriteString("Tavrin", "Password", "x", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(!(QFile::permissions(path) & (QFileDevice::ReadOther | QFileDevice::ReadGroup)));
    }

    void badFilesAreBounded() {
        // Binary, no newline at all, larger than the reader takes: reads give defaults, nothing is lost.
        QByteArray junk(ProfileFile::kMaxFileBytes + 1024, '\0');
        for (int i = 0; i < junk.size(); ++i) junk[i] = char((i * 131) & 0xFF);
        const QString path = Write("g.ini", junk);
        ProfileFile file(path);
        QCOMPARE(file.ReadInt("Tavrin", "UIPanelWidth", 230), 230);
        QVERIFY(!file.WriteString("Tavrin", "UserName", "x"));
        QCOMPARE(QFileInfo(path).size(), junk.size());
        // One endless line inside a section still reads its start.
        ProfileFile line(Write("h.ini", "[Tavrin]\nKey=" + QByteArray(900 * 1024, 'k')));
        QCOMPARE(line.ReadString("Tavrin", "Key", "").size(), 259);
        // Line ends alone: the lines past the limit are not read, and the file is not rewritten.
        const QString lines_path =
            Write("k.ini", "[Tavrin]\n" + QByteArray(ProfileFile::kMaxLines, '\n') + "Late=1\n");
        ProfileFile many(lines_path);
        QCOMPARE(many.ReadInt("Tavrin", "Late", 5), 5);
        QVERIFY(!many.WriteString("Tavrin", "Key", "v"));
    }

    void sectionLinesForProvinces() {
        ProfileFile file(Write("i.ini", "[Provinces]\n; comment\nA-\n\n B- \nkey=value\n[Next]\nC\n"));
        QCOMPARE(file.ReadSection("provinces"), QStringList({"A-", "B-", "key=value"}));
        QCOMPARE(file.ReadSection("Provinces", 6), QStringList({"A-", "B-"}));
        QVERIFY(file.ReadSection("None").isEmpty());
    }

    void readsUtf16FilesWithTheirMark() {
        QByteArray bytes("\xFF\xFE");
        const QString text = QStringLiteral("[Tavrin]\r\nLogin=Anmelden\r\n");
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        ProfileFile file(Write("j.ini", bytes));
        QCOMPARE(file.ReadString("Tavrin", "Login", ""), QString("Anmelden"));
    }
};

QTEST_GUILESS_MAIN(ProfileFileTest)
#include "profile_file_test.moc"

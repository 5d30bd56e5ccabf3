// SPDX-License-Identifier: GPL-3.0-or-later
// The channel menu's rules and the names and folders the Record and Snapshot commands write to.
#include <QTemporaryDir>
#include <QtTest>

#include "grid/channel_commands.h"
#include "grid/snapshot_watch.h"

namespace {

ChannelMenuEntry Entry(const ChannelMenuFacts& facts, ChannelCommand command) {
    for (const ChannelMenuEntry& e : ChannelMenuEntries(facts)) {
        if (e.command == command) return e;
    }
    return {command, false, false};
}

}  // namespace

class ChannelCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void emptyWindowEnablesOnlyMap() {
        const auto entries = ChannelMenuEntries({});
        QCOMPARE(entries.size(), 7u);
        QCOMPARE(entries[0].command, kCommandPlay);
        QCOMPARE(entries[6].command, kCommandMap);
        for (const ChannelMenuEntry& e : entries) {
            QCOMPARE(e.enabled, e.command == kCommandMap);
            QVERIFY(!e.checked);
        }
    }

    void channelNotInActiveWindow() {
        ChannelMenuFacts f;
        f.dev = 0;
        f.chn = 2;
        f.activeRecording = true;  // the active window records another channel
        QVERIFY(Entry(f, kCommandPlay).enabled);
        QVERIFY(!Entry(f, kCommandPlay).checked);
        QVERIFY(!Entry(f, kCommandRecord).enabled);
        QVERIFY(!Entry(f, kCommandRecord).checked);
        QVERIFY(!Entry(f, kCommandSnapshot).enabled);
        QVERIFY(Entry(f, kCommandAudio).enabled);
        QVERIFY(Entry(f, kCommandTalk).enabled);
        QVERIFY(Entry(f, kCommandConfig).enabled);
    }

    void activeChannelAndDeviceAudio() {
        ChannelMenuFacts f;
        f.dev = 3;
        f.chn = 1;
        f.nodeIsActiveChannel = true;
        QVERIFY(Entry(f, kCommandPlay).checked);
        QVERIFY(Entry(f, kCommandRecord).enabled);
        QVERIFY(!Entry(f, kCommandRecord).checked);
        QVERIFY(Entry(f, kCommandSnapshot).enabled);
        f.activeRecording = true;
        QVERIFY(Entry(f, kCommandRecord).checked);
        // Audio and talk are checked only through the device's audio channel.
        f.audioPlaying = true;
        f.talking = true;
        QVERIFY(!Entry(f, kCommandAudio).checked);
        f.hasAudioChannel = true;
        QVERIFY(Entry(f, kCommandAudio).checked);
        QVERIFY(Entry(f, kCommandTalk).checked);
        // A device node: Play, Record and Snapshot are off.
        ChannelMenuFacts device;
        device.dev = 3;
        device.nodeIsActiveChannel = true;
        QVERIFY(!Entry(device, kCommandPlay).enabled);
        QVERIFY(!Entry(device, kCommandPlay).checked);
        QVERIFY(!Entry(device, kCommandRecord).enabled);
        QVERIFY(Entry(device, kCommandConfig).enabled);
    }

    void fileNamesStayInTheirFolder() {
        QCOMPARE(RecordFileName(QStringLiteral("ABC"), 2), QStringLiteral("ABC-chn02.avi"));
        QCOMPARE(SnapshotFileName(QStringLiteral("AB-3127"), 12), QStringLiteral("AB-3127-chn12.bmp"));
        QCOMPARE(RecordFileName(QStringLiteral("../../x"), 1), QStringLiteral("___.._x-chn01.avi"));
        QCOMPARE(RecordFileName(QStringLiteral("a/b"), 1), QStringLiteral("a_b-chn01.avi"));
        // A '%' in the vehicle is kept, never taken for a place of the channel number.
        QCOMPARE(RecordFileName(QStringLiteral("K%2"), 1), QStringLiteral("K%2-chn01.avi"));
        QCOMPARE(SnapshotFileName(QStringLiteral("K%1%2"), 3), QStringLiteral("K%1%2-chn03.bmp"));
        QCOMPARE(SafeFileNamePart(QStringLiteral("..")), QStringLiteral("__"));
        QCOMPARE(SafeFileNamePart(QString()), QStringLiteral("_"));
        QCOMPARE(SafeFileNamePart(QString::fromUtf16(u"a\u0000b\nc\td\\e\u007f", 10)),
                 QStringLiteral("a_b_c_d_e_"));
        QCOMPARE(SafeFileNamePart(QString::fromUtf8("京A·12345")), QString::fromUtf8("京A·12345"));
        QCOMPARE(SafeFileNamePart(QString(1000, u'x')).size(), 64);
        // Cut at the limit without leaving half of a surrogate pair.
        const QString emoji = QString(63, u'x') + QString::fromUtf8("😀");
        QCOMPARE(SafeFileNamePart(emoji), QString(63, u'x'));

        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/Record/");
        for (const QString& hostile :
             {QStringLiteral("../../x"), QStringLiteral("a/b"), QStringLiteral("..")}) {
            const QString path = QDir::cleanPath(folder + RecordFileName(hostile, 1));
            QCOMPARE(QFileInfo(path).absolutePath(), QDir::cleanPath(folder));
        }
    }

    void foldersAreMadeOnce() {
        QTemporaryDir dir;
        const QString nested = dir.path() + QStringLiteral("/Snapshot/day/");
        QVERIFY(EnsureFolder(nested));
        QVERIFY(QFileInfo(nested).isDir());
        QVERIFY(EnsureFolder(nested));
        QFile blocker(dir.path() + QStringLiteral("/file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!EnsureFolder(blocker.fileName() + QStringLiteral("/sub/")));
        QVERIFY(!EnsureFolder(QString()));
    }

    // The file a snapshot request wrote: the requested name with the picture's time, written since the
    // request; older snapshots of the channel and other channels' files are not it.
    void snapshotWatchFindsTheFileOfTheRequest() {
        QTemporaryDir dir;
        const auto write = [&](const QString& name, const QDateTime& when) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("BM");
            QVERIFY(file.flush());  // a write at close would stamp the file anew
            QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
        };
        const QDateTime asked = QDateTime::currentDateTime();
        const SnapshotWatch watch(dir.filePath(QStringLiteral("AB-3127-chn02.bmp")), asked);
        QCOMPARE(watch.RequestedName(), QStringLiteral("AB-3127-chn02.bmp"));
        write(QStringLiteral("AB-3127-chn02-2026-12-09-10-00-00.bmp"), asked.addSecs(-60));
        write(QStringLiteral("AB-3127-chn03-2026-12-09-17-33-28.bmp"), asked.addMSecs(200));
        write(QStringLiteral("AB-3127-chn02-2026-12-09-17-33-28.avi"), asked.addMSecs(200));
        QVERIFY(watch.Find().isEmpty());
        write(QStringLiteral("AB-3127-chn02-2026-12-09-17-33-28.bmp"), asked.addMSecs(300));
        QCOMPARE(QFileInfo(watch.Find()).fileName(), QStringLiteral("AB-3127-chn02-2026-12-09-17-33-28.bmp"));
    }
};

QTEST_MAIN(ChannelCommandsTest)
#include "channel_commands_test.moc"

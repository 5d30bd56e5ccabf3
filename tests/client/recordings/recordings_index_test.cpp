// SPDX-License-Identifier: GPL-3.0-or-later
// The index of the Record and Snapshot folders: names read into vehicle, channel and time, newest first,
// filters, groups, added folders, lengths asked for once per file version, and files that are no regular
// files (FIFOs) left out without being opened.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "fifo_guard.h"
#include "recordings/recording_source.h"
#include "recordings/recordings_index.h"

using recordings::ParseRecordingName;
using recordings::RecordingFilter;
using recordings::RecordingsIndex;

class RecordingsIndexTest : public QObject {
    Q_OBJECT

    static void Touch(const QString& path, const QByteArray& content = QByteArray(100, 'x')) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

  private slots:
    void readsNames() {
        auto name = ParseRecordingName(QStringLiteral("AB-3127-chn02-2026-12-08-14-05-09.avi"));
        QVERIFY(name.valid);
        QCOMPARE(name.vehicle, QStringLiteral("AB-3127"));
        QCOMPARE(name.channel, 2);
        QCOMPARE(name.start, QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)));
        // A vehicle id with "@", a second file of the same second, a snapshot, upper case.
        name = ParseRecordingName(QStringLiteral("CX-4410@3-chn11-2026-01-31-23-59-58-2.AVI"));
        QVERIFY(name.valid);
        QCOMPARE(name.vehicle, QStringLiteral("CX-4410@3"));
        QCOMPARE(name.channel, 11);
        QCOMPARE(name.start, QDateTime(QDate(2026, 1, 31), QTime(23, 59, 58)));
        name = ParseRecordingName(QStringLiteral("KT-0098-chn01-2026-12-08-14-05-09.bmp"));
        QVERIFY(name.valid && name.start.isValid());
        // One file for a whole recording carries no time; impossible times are no times.
        name = ParseRecordingName(QStringLiteral("KT-0098-chn01.avi"));
        QVERIFY(name.valid && !name.start.isValid());
        QVERIFY(!ParseRecordingName(QStringLiteral("KT-0098-chn01-2026-13-40-99-99-99.avi")).start.isValid());
        QVERIFY(!ParseRecordingName(QStringLiteral("holiday.avi")).valid);
        QVERIFY(!ParseRecordingName(QStringLiteral("AB-3127-chn02-2026-12-08-14-05-09.txt")).valid);
    }

    void listsNewestFirstWithFiltersAndGroups() {
        QTemporaryDir home;
        const QString record = home.path() + QStringLiteral("/Record/");
        const QString snapshot = home.path() + QStringLiteral("/Snapshot/");
        Touch(record + QStringLiteral("AB-3127-chn01-2026-12-08-09-00-00.avi"));
        Touch(record + QStringLiteral("AB-3127-chn01-2026-12-08-10-00-00.avi"), QByteArray(300, 'x'));
        Touch(record + QStringLiteral("AB-3127-chn02-2026-12-07-10-00-00.avi"));
        Touch(record + QStringLiteral("KT-0098-chn01-2026-12-08-11-30-00.avi"));
        Touch(record + QStringLiteral("notes.txt"));
        Touch(snapshot + QStringLiteral("AB-3127-chn01-2026-12-08-10-00-05.bmp"));
        Touch(snapshot + QStringLiteral("KT-0098-chn01-2026-12-06-10-00-05.png"));
        QStringList probed;
        RecordingsIndex index([&](const QString& path) {
            probed << QFileInfo(path).fileName();
            return path.contains(QStringLiteral("KT")) ? -1.0 : 60000.0;
        });
        index.SetFolders({record, snapshot, record, home.path() + QStringLiteral("/missing")});
        QCOMPARE(index.folders().size(), 2);
        index.Rescan();

        const auto all = index.Recordings();
        QCOMPARE(all.size(), size_t(4));
        QCOMPARE(QFileInfo(all[0].path).fileName(), QStringLiteral("KT-0098-chn01-2026-12-08-11-30-00.avi"));
        QCOMPARE(all[0].duration_ms, -1.0);
        QCOMPARE(all[1].bytes, 300);
        QCOMPARE(all[1].duration_ms, 60000.0);
        QCOMPARE(QFileInfo(all[3].path).fileName(), QStringLiteral("AB-3127-chn02-2026-12-07-10-00-00.avi"));
        QCOMPARE(index.Vehicles(), QStringList({QStringLiteral("AB-3127"), QStringLiteral("KT-0098")}));

        const auto on_day = index.Recordings(RecordingFilter{QStringLiteral("AB-3127"), QDate(2026, 12, 8)});
        QCOMPARE(on_day.size(), size_t(2));
        QVERIFY(on_day[0].start > on_day[1].start);
        QCOMPARE(index.Snapshots().size(), size_t(2));
        QCOMPARE(index.Snapshots(RecordingFilter{QStringLiteral("KT-0098"), {}}).size(), size_t(1));
        QCOMPARE(index.Snapshots().front().channel, 1);

        const auto groups = index.Groups();
        QCOMPARE(groups.size(), size_t(3));
        QCOMPARE(groups.at({QStringLiteral("AB-3127"), 1}).size(), size_t(2));
        QCOMPARE(groups.at({QStringLiteral("AB-3127"), 2}).size(), size_t(1));

        // Lengths are asked for once per file version; an added folder and a grown file are looked at.
        QCOMPARE(probed.size(), 4);
        probed.clear();
        const QString added = home.path() + QStringLiteral("/usb");
        Touch(added + QStringLiteral("/SE-5309-chn03-2026-12-05-08-00-00.avi"));
        Touch(added + QStringLiteral("/old/clip.avi"));
        Touch(added + QStringLiteral("/old/older/oldest/deep.avi"));  // below the depth looked at
        QVERIFY(index.AddFolder(added));
        QVERIFY(!index.AddFolder(added));
        Touch(record + QStringLiteral("AB-3127-chn01-2026-12-08-09-00-00.avi"), QByteArray(500, 'y'));
        index.Rescan();
        probed.sort();
        QCOMPARE(probed, QStringList({QStringLiteral("AB-3127-chn01-2026-12-08-09-00-00.avi"),
                                      QStringLiteral("SE-5309-chn03-2026-12-05-08-00-00.avi"),
                                      QStringLiteral("clip.avi")}));
        QCOMPARE(index.Recordings().size(), size_t(6));
        // A file whose name says nothing is listed under no vehicle, at its modification time.
        const auto no_name = index.Recordings(RecordingFilter{{}, QDate::currentDate()});
        QCOMPARE(no_name.size(), size_t(1));
        QVERIFY(no_name[0].vehicle.isEmpty());
    }

    // A FIFO, and a symbolic link to one, named like a recording and a snapshot: listing and the real
    // probe never open them (a guard frees a blocked open after 10 s and the test fails then), and they
    // are not listed. A probe's result goes to the entry listed; a stale one is refused.
    void leavesFifosOutAndTakesLengthsLater() {
        QTemporaryDir home;
        const QString record = home.path() + QStringLiteral("/Record/");
        Touch(record + QStringLiteral("AB-3127-chn01-2026-12-08-09-00-00.avi"));
        const QString fifo = record + QStringLiteral("AB-3127-chn01-2026-12-08-10-00-00.avi");
        const QString fifo_picture = record + QStringLiteral("AB-3127-chn01-2026-12-08-10-00-05.png");
        QVERIFY(MakeFifo(fifo));
        QVERIFY(MakeFifo(fifo_picture));
        QVERIFY(QFile::link(fifo, record + QStringLiteral("AB-3127-chn02-2026-12-08-11-00-00.avi")));
        QVERIFY(QFile::link(fifo_picture, record + QStringLiteral("AB-3127-chn02-2026-12-08-11-00-05.bmp")));

        FifoGuard guard({fifo, fifo_picture}, std::chrono::seconds(10));
        RecordingsIndex index(recordings::ProbeRecordingMs);
        index.SetFolders({record});
        index.List();
        QCOMPARE(index.Recordings().size(), size_t(1));
        QVERIFY(index.Snapshots().empty());
        QCOMPARE(index.Recordings().front().duration_ms, RecordingsIndex::kNotProbed);
        const QString listed = index.Recordings().front().path;
        QCOMPARE(index.Unprobed(), QStringList{listed});
        QVERIFY(!index.SetLength(fifo, 1000));
        QVERIFY(index.SetLength(listed, -1));  // 100 bytes of 'x' are no recording
        QVERIFY(index.Unprobed().isEmpty());
        QCOMPARE(index.Recordings().front().duration_ms, -1.0);
        // Known from then on: a new listing asks for nothing.
        index.List();
        QVERIFY(index.Unprobed().isEmpty());
        index.Rescan();
        QCOMPARE(index.Recordings().size(), size_t(1));

        // The player's opening of them ends at once with its message.
        recordings::RecordingSource source;
        recordings::UserText failure;
        QVERIFY(!source.Open(fifo, &failure));
        QString error = failure.English();
        QVERIFY2(error.endsWith(QStringLiteral("cannot be opened: it is not a regular file.")),
                 qPrintable(error));
        QVERIFY(!recordings::LooksLikeAvi(record + QStringLiteral("AB-3127-chn02-2026-12-08-11-00-00.avi")));
        QVERIFY(!source.Open(record, &failure));
        error = failure.English();
        QVERIFY2(error.endsWith(QStringLiteral("cannot be opened: it is a folder.")), qPrintable(error));
        QVERIFY(!guard.fired());
    }
};

QTEST_GUILESS_MAIN(RecordingsIndexTest)
#include "recordings_index_test.moc"

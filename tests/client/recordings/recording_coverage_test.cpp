// SPDX-License-Identifier: GPL-3.0-or-later
// Which recordings of a vehicle hold a moment: by the time file (its first and last frame, not inside a
// gap), else by the name's time plus the length a probe finds; other vehicles' files are never read.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "recordings/recording_coverage.h"

using namespace recordings;

namespace {

qint64 At(int hour, int minute, int second) {
    return QDateTime(QDate(2026, 12, 9), QTime(hour, minute, second)).toMSecsSinceEpoch();
}

void Write(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

}  // namespace

class RecordingCoverageTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;
    QStringList probed_;

    Coverage Find(const QString& vehicle, qint64 unix_ms) {
        RecordingCoverage coverage({home_.path()}, [this](const QString& path) {
            probed_ << QFileInfo(path).fileName();
            return 30000.0;  // each recording without time file is 30 s long
        });
        return coverage.Find(vehicle, QDateTime::fromMSecsSinceEpoch(unix_ms));
    }

  private slots:
    void initTestCase() {
        const QDir dir(home_.path());
        // Channel 1: from 10:00:00, no video from 10:00:20 to 10:01:20, ends at 10:02:00.
        const QString times =
            QStringLiteral("velq-times 1\nt 0 %1\nt 500 %2\ngap %2 %3\nt 501 %3\nend 1500 %4\n")
                .arg(At(10, 0, 0))
                .arg(At(10, 0, 20))
                .arg(At(10, 1, 20))
                .arg(At(10, 2, 0));
        for (const char* name :
             {"AB-3127-chn01-2026-12-09-10-00-00.avi", "AB-3128-chn01-2026-12-09-10-00-00.avi"}) {
            Write(dir.filePath(QLatin1String(name)), "RIFF");
            Write(dir.filePath(QLatin1String(name) + QStringLiteral(".times")), times.toUtf8());
        }
        // Channel 2 of the same vehicle without time file: 10:00:00 plus the probe's 30 s.
        Write(dir.filePath(QStringLiteral("AB-3127-chn02-2026-12-09-10-00-00.avi")), "RIFF");
        // An older recording of channel 1, long ended; a damaged time file must not make it cover.
        Write(dir.filePath(QStringLiteral("AB-3127-chn01-2026-12-09-08-00-00.avi")), "RIFF");
        Write(dir.filePath(QStringLiteral("AB-3127-chn01-2026-12-09-08-00-00.avi.times")), "garbage\n");
    }

    void coveredByTimeFileAndByLength() {
        probed_.clear();
        const Coverage found = Find(QStringLiteral("AB-3127"), At(10, 0, 10));
        QVERIFY(!found.capped);
        QCOMPARE(found.recordings.size(), size_t{2});
        QCOMPARE(found.recordings[0].channel, 1);
        QVERIFY(found.recordings[0].true_times);
        QCOMPARE(found.recordings[0].first.toMSecsSinceEpoch(), At(10, 0, 0));
        QCOMPARE(found.recordings[0].last.toMSecsSinceEpoch(), At(10, 2, 0));
        QCOMPARE(found.recordings[1].channel, 2);
        QVERIFY(!found.recordings[1].true_times);
        QCOMPARE(found.recordings[1].last.toMSecsSinceEpoch(), At(10, 0, 30));
        // Only the file without time file is probed; the older one of channel 1 is not even looked at.
        QCOMPARE(probed_, QStringList{QStringLiteral("AB-3127-chn02-2026-12-09-10-00-00.avi")});
    }

    void aMomentInAGapOrPastTheEndIsNotCovered() {
        // 10:00:50: channel 1 has its gap, channel 2 (30 s long) has ended.
        QVERIFY(Find(QStringLiteral("AB-3127"), At(10, 0, 50)).recordings.empty());
        // After the gap channel 1 covers again; after its end line nothing does.
        const Coverage after = Find(QStringLiteral("AB-3127"), At(10, 1, 30));
        QCOMPARE(after.recordings.size(), size_t{1});
        QCOMPARE(after.recordings[0].channel, 1);
        QVERIFY(Find(QStringLiteral("AB-3127"), At(10, 2, 1)).recordings.empty());
        QVERIFY(Find(QStringLiteral("AB-3127"), At(9, 59, 59)).recordings.empty());
    }

    void otherVehiclesDoNotCount() {
        const Coverage other = Find(QStringLiteral("AB-3128"), At(10, 0, 10));
        QCOMPARE(other.recordings.size(), size_t{1});
        QVERIFY(other.recordings[0].path.endsWith(QStringLiteral("AB-3128-chn01-2026-12-09-10-00-00.avi")));
        // A vehicle whose name begins another's is a vehicle of its own.
        QVERIFY(Find(QStringLiteral("AB-312"), At(10, 0, 10)).recordings.empty());
    }
};

QTEST_GUILESS_MAIN(RecordingCoverageTest)
#include "recording_coverage_test.moc"

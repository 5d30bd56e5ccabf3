// SPDX-License-Identifier: GPL-3.0-or-later
// The player across a gap: a recording with a time file shows the true time of day of its frames, marks
// the gap on its timeline, says "No video from ... to ..." when a press falls into it and goes on with the
// first frame after it; snapshots are named with the time of what they show. Without a time file nothing
// changes.
#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "recorded_material.h"
#include "recordings/player_window.h"
#include "recordings/timeline.h"
#include "recordings/true_times.h"

using namespace recordings;

namespace {
QString English(const QString& text) {
    return text;
}
}  // namespace

class TrueTimesTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;
    RecordedMaterial material_;
    QString recording_;

  private slots:
    void initTestCase() {
        QVERIFY(material_.started());
        recording_ = material_.RecordClip(home_.path() + QStringLiteral("/Record"),
                                          QStringLiteral("AB-3127-chn01"), 4000);
        QVERIFY(!recording_.isEmpty());
        // The recorder writes a time file beside it; the test starts without one and writes its own,
        // with a gap of known times.
        QVERIFY(QFile::remove(recording_ + QStringLiteral(".times")));
    }

    void aGapIsMarkedAndSaidWhenSeekedInto() {
        PlayerWindow window(home_.path() + QStringLiteral("/Snapshot"), English);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.resize(640, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.Open(recording_));
        QVERIFY(!window.trueTimes().valid());
        QVERIFY(window.timeline()->GapRects().empty());

        // The frames' times: the first half at 25 a second from 10:00:00, then 60 s without video.
        const double period = window.player().frame_period_ms();
        const int64_t frames = static_cast<int64_t>(window.player().frame_count());
        QVERIFY(frames >= 40);
        const int64_t half = frames / 2;
        const int64_t t0 = QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0)).toMSecsSinceEpoch();
        const int64_t before_gap = t0 + static_cast<int64_t>((half - 1) * period);
        const int64_t after_gap = before_gap + 60000;
        QFile times(recording_ + QStringLiteral(".times"));
        QVERIFY(times.open(QIODevice::WriteOnly | QIODevice::Truncate));
        times.write(QStringLiteral("velq-times 1\nt 0 %1\nt %2 %3\ngap %3 %4\nt %5 %4\nend %6 %7\n")
                        .arg(t0)
                        .arg(half - 1)
                        .arg(before_gap)
                        .arg(after_gap)
                        .arg(half)
                        .arg(frames)
                        .arg(after_gap + static_cast<int64_t>((frames - 1 - half) * period))
                        .toUtf8());
        times.close();
        QVERIFY(window.Open(recording_));
        QVERIFY(window.trueTimes().valid());
        QCOMPARE(window.ShownTime().toString("HH:mm:ss"), QString("10:00:00"));

        // The gap takes most of the bar: about 60 of 60 + 4 seconds.
        const std::vector<QRect> gaps = window.timeline()->GapRects();
        QCOMPARE(gaps.size(), size_t(1));
        const QRect bar = window.timeline()->Bar();
        QVERIFY2(gaps[0].width() > bar.width() * 8 / 10, qPrintable(QString::number(gaps[0].width())));

        // A press in the gap: the notice, and the first frame after it.
        QTest::mouseClick(window.timeline(), Qt::LeftButton, {}, gaps[0].center());
        QCOMPARE(window.message(),
                 QStringLiteral("No video from %1 to %2").arg(ClockText(before_gap), ClockText(after_gap)));
        QCOMPARE(window.ShownTime().toMSecsSinceEpoch(), after_gap);
        const QString snapshot = window.SaveSnapshot();
        QVERIFY2(snapshot.endsWith(QDateTime::fromMSecsSinceEpoch(after_gap).toString("yyyy-MM-dd-HH-mm-ss") +
                                   ".bmp"),
                 qPrintable(snapshot));
        // A press before it: the notice goes.
        QTest::mouseClick(window.timeline(), Qt::LeftButton, {}, QPoint(bar.left() + 1, bar.center().y()));
        QVERIFY(window.message().isEmpty());
        QVERIFY(window.ShownTime().toMSecsSinceEpoch() < before_gap + 1);

        // A clip across the gap keeps its times: the gap and the first frame's time of day.
        window.MarkIn();
        QTest::mouseClick(window.timeline(), Qt::LeftButton, {}, QPoint(bar.right() - 1, bar.center().y()));
        window.MarkOut();
        QSignalSpy finished(&window, &PlayerWindow::exportFinished);
        const QString clip = home_.path() + QStringLiteral("/clip.avi");
        QVERIFY(window.StartExport(clip));
        QVERIFY(finished.wait(30000));
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][1].toString()));
        const velq::times::RecordTimes kept = velq::times::ReadFile((clip + ".times").toStdString());
        QCOMPARE(kept.gaps.size(), size_t(1));
        QCOMPARE(kept.gaps[0].from_ms, before_gap);
        QCOMPARE(kept.gaps[0].to_ms, after_gap);
        QVERIFY(!kept.points.empty());
        QVERIFY(kept.points.front().unix_ms >= t0 && kept.points.front().unix_ms < before_gap);
        QVERIFY(kept.end.has_value());

        // Evidence from the player: the clip with its time file, the picture, README and sums that the
        // real sha256sum accepts.
        QSignalSpy evidence(&window, &PlayerWindow::evidenceFinished);
        QVERIFY(window.StartEvidence(home_.path()));
        QVERIFY(evidence.wait(30000));
        QVERIFY2(evidence[0][0].toBool(), qPrintable(evidence[0][2].toString()));
        const QDir folder(evidence[0][1].toString());
        QCOMPARE(folder.entryList({"*.avi"}, QDir::Files).size(), 1);
        QCOMPARE(folder.entryList({"*.avi.times"}, QDir::Files).size(), 1);
        QVERIFY(folder.exists("snapshot.png") && folder.exists("README.txt"));
        QProcess check;
        check.setWorkingDirectory(folder.path());
        check.start("sha256sum", {"-c", "SHA256SUMS"});
        QVERIFY(check.waitForFinished(30000));
        QCOMPARE(check.exitCode(), 0);
        QCOMPARE(window.message(), evidence[0][2].toString());

        // A time file holding no frame time (cut after its first line) is not used.
        QVERIFY(times.open(QIODevice::WriteOnly | QIODevice::Truncate));
        times.write("velq-times 1\nt 0 12");
        times.close();
        QVERIFY(window.Open(recording_));
        QVERIFY(!window.trueTimes().valid());
        QVERIFY(window.timeline()->GapRects().empty());
    }
};

QTEST_MAIN(TrueTimesTest)
#include "true_times_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The evidence folder: what it holds, a SHA256SUMS the real sha256sum accepts, the export's own check
// after writing, and both checks failing once one byte of the clip changes.
#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "positions/gpx_track.h"
#include "recorded_material.h"
#include "recordings/evidence_export.h"

using namespace recordings;

namespace {

QString English(const QString& text) {
    return text;
}

// `sha256sum -c SHA256SUMS` in the folder: its exit code.
int Sha256sumCheck(const QString& folder) {
    QProcess check;
    check.setWorkingDirectory(folder);
    check.start(QStringLiteral("sha256sum"), {QStringLiteral("-c"), QStringLiteral("SHA256SUMS")});
    if (!check.waitForFinished(30000)) return -1;
    return check.exitStatus() == QProcess::NormalExit ? check.exitCode() : -1;
}

}  // namespace

class EvidenceExportTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;
    RecordedMaterial material_;

  private slots:
    void aFolderThatProvesItself() {
        QVERIFY(material_.started());
        const QString clip = material_.RecordClip(home_.path() + QStringLiteral("/Record"),
                                                  QStringLiteral("AB-3127-chn01"), 2000);
        QVERIFY(!clip.isEmpty());
        QFile times(clip + ".times");
        QVERIFY(times.open(QIODevice::WriteOnly));
        times.write("velq-times 1\nt 0 1796836990000\n");
        times.close();

        EvidenceContent content;
        content.folder = home_.path() + QStringLiteral("/Evidence one");
        content.clips = {clip};
        content.snapshot = QImage(64, 48, QImage::Format_RGB32);
        content.snapshot.fill(Qt::darkGreen);
        content.snapshot_time = QStringLiteral("17:23:12");
        content.alarm_record = QStringLiteral("AB-3127  Over Speed  2026-12-09 17:23:12\n");
        content.vehicle = QStringLiteral("AB-3127");
        const EvidenceResult result = WriteEvidence(content, English);
        QVERIFY2(result.ok, qPrintable(result.message.English()));
        const QString name = QFileInfo(clip).fileName();
        QCOMPARE(result.files, QStringList({name, name + ".times", "snapshot.png", "alarm.txt", "README.txt",
                                            "SHA256SUMS"}));
        QVERIFY(result.message.English().contains("read back and matching"));
        QFile readme(content.folder + "/README.txt");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        QVERIFY(text.contains("AB-3127"));
        QVERIFY(text.contains("snapshot.png: the picture at 17:23:12"));
        QVERIFY(text.contains("sha256sum -c SHA256SUMS"));
        QVERIFY(text.contains("No positions of the vehicle were recorded over the clip."));
        QVERIFY(!QFile::exists(content.folder + "/track.gpx"));

        QCOMPARE(Sha256sumCheck(content.folder), 0);
        QVERIFY(VerifyEvidence(content.folder).isEmpty());

        // One byte of the clip changes: both checks say so, and name it.
        QFile copy(content.folder + u'/' + name);
        QVERIFY(copy.open(QIODevice::ReadWrite));
        copy.seek(copy.size() / 2);
        char byte = 0;
        copy.getChar(&byte);
        copy.seek(copy.size() / 2);
        copy.putChar(char(byte ^ 0x01));
        copy.close();
        QVERIFY(Sha256sumCheck(content.folder) != 0);
        QCOMPARE(VerifyEvidence(content.folder), QStringList{name});

        // A folder that already holds the clip is not written over.
        const EvidenceResult again = WriteEvidence(content, English);
        QVERIFY(!again.ok);
        QVERIFY(again.message.English().contains("cannot be written"));
    }

    // The vehicle's positions go in as track.gpx, under the same sums as the rest, and read back whole.
    void aTrackGoesInWithItsSum() {
        QList<PositionFix> track;
        for (int i = 0; i < 7; ++i)
            track.append({QStringLiteral("10001"), 1796836990 + i, 52000000 + i * 100, 13000000, 400, 90});
        QByteArray gpx;
        QBuffer buffer(&gpx);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(WriteGpx(buffer, QStringLiteral("AB-3127"), track));
        buffer.close();

        const QString source = home_.path() + QStringLiteral("/tracked.avi");
        QFile clip(source);
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.write(QByteArray(4096, 'v'));
        clip.close();
        EvidenceContent content;
        content.folder = home_.path() + QStringLiteral("/Evidence tracked");
        content.clips = {source};
        content.vehicle = QStringLiteral("AB-3127");
        content.track_gpx = gpx;
        const EvidenceResult result = WriteEvidence(content, English);
        QVERIFY2(result.ok, qPrintable(result.message.English()));
        QCOMPARE(result.files, QStringList({"tracked.avi", "track.gpx", "README.txt", "SHA256SUMS"}));
        QFile sums(content.folder + "/SHA256SUMS");
        QVERIFY(sums.open(QIODevice::ReadOnly));
        QVERIFY(sums.readAll().contains("  track.gpx\n"));
        QCOMPARE(Sha256sumCheck(content.folder), 0);
        QFile readme(content.folder + "/README.txt");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        QVERIFY(text.contains("track.gpx: the vehicle's positions over the clip (GPX)"));
        QVERIFY(!text.contains("No positions"));

        QFile written(content.folder + "/track.gpx");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&written);
        int points = 0;
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd())
            if (xml.isStartElement() && xml.name() == u"trkpt") ++points;
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(points, 7);
        written.close();

        // A changed point is caught like a changed clip.
        QVERIFY(written.open(QIODevice::ReadWrite));
        QByteArray bytes = written.readAll();
        bytes.replace("52.000300", "52.000301");
        written.seek(0);
        written.write(bytes);
        written.close();
        QVERIFY(Sha256sumCheck(content.folder) != 0);
        QCOMPARE(VerifyEvidence(content.folder), QStringList{"track.gpx"});
    }

    void aPlantedSumFileIsNotFollowedOutOfItsFolder() {
        const QString folder = home_.path() + QStringLiteral("/planted");
        QDir().mkpath(folder);
        QFile sums(folder + "/SHA256SUMS");
        QVERIFY(sums.open(QIODevice::WriteOnly));
        sums.write(QByteArray(64, 'a') + "  ../../etc/passwd\nnot a line\n");
        sums.close();
        QCOMPARE(VerifyEvidence(folder).size(), 2);
        QCOMPARE(VerifyEvidence(home_.path() + "/none"), QStringList{"SHA256SUMS"});
    }
};

QTEST_MAIN(EvidenceExportTest)
#include "evidence_export_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The player and the clip exporter on recordings made from velq-sim: one written to its end, one whose
// writer was killed mid-write, and damaged copies of them.
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "recorded_material.h"
#include "recordings/av_handles.h"
#include "recordings/clip_exporter.h"
#include "recordings/recording_player.h"

using recordings::ClipResult;
using recordings::RecordingPlayer;

namespace {

// Video samples in a file as the demuxer alone reads them, the count the player must show.
int CountVideoPackets(const QString& path, int64_t* last_dts = nullptr) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) return -1;
    recordings::InputHandle format(raw);
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    recordings::PacketHandle packet(av_packet_alloc());
    int count = 0;
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == video && packet->size > 0) {
            ++count;
            if (last_dts != nullptr) *last_dts = packet->dts;
        }
        av_packet_unref(packet.get());
    }
    return count;
}

// Bytes of sound in a file.
qint64 CountAudioBytes(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) return -1;
    recordings::InputHandle format(raw);
    const int audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    recordings::PacketHandle packet(av_packet_alloc());
    qint64 bytes = 0;
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == audio) bytes += packet->size;
        av_packet_unref(packet.get());
    }
    return bytes;
}

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Temporary files of an export left in a folder: hidden, ".<target>.XXXXXX.part".
QStringList LeftOver(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
}

}  // namespace

class PlayerTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        QVERIFY(material_.started());
        const QString whole_folder = folder_.path() + QStringLiteral("/whole");
        const QString killed_folder = folder_.path() + QStringLiteral("/killed");
        QDir().mkpath(whole_folder);
        QDir().mkpath(killed_folder);
        // Both at once: the whole one stopped as Ctrl-C stops it once it holds 13 s, the other killed
        // while it writes.
        QProcess* whole = material_.StartRecording(whole_folder, QStringLiteral("MDVR-10001"), 1,
                                                   QStringLiteral("AB-3127-chn01"), 0);
        QProcess* killed = material_.StartRecording(killed_folder, QStringLiteral("MDVR-10003"), 2,
                                                    QStringLiteral("KT-0098-chn02"), 0);
        killed_seen_ms_ = RecordedMaterial::WaitForLength(killed_folder, 4000);
        QVERIFY(killed_seen_ms_ >= 4000);
        ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
        QVERIFY(killed->waitForFinished(5000));
        QVERIFY(RecordedMaterial::WaitForLength(whole_folder, 13000) >= 13000);
        whole->terminate();
        QVERIFY(whole->waitForFinished(30000));
        QCOMPARE(whole->exitCode(), 0);
        const QStringList made = RecordedMaterial::Recordings(whole_folder);
        QCOMPARE(made.size(), 1);
        whole_ = made.front();
        killed_ = RecordedMaterial::Recordings(killed_folder).value(0);
        QVERIFY(!killed_.isEmpty());
    }

    // Every frame of the file is shown once, in order, up to the last; playing at 8x gets there too.
    void playsStartToEndWithEveryFrame() {
        RecordingPlayer player;
        recordings::UserText error;
        QVERIFY2(player.Open(whole_, &error), qPrintable(error.English()));
        QVERIFY(!player.duration_from_reading());
        const int packets = CountVideoPackets(whole_);
        QVERIFY(packets >= 25 * 10);
        QCOMPARE(player.frame_count(), size_t(packets));
        QCOMPARE(player.picture_size(), QSize(352, 288));
        QCOMPARE(player.picture().size(), QSize(352, 288));
        QCOMPARE(player.frame_period_ms(), 40.0);
        QCOMPARE(player.duration_ms(), packets * 40.0);
        int shown = 1;
        size_t previous = player.frame_index();
        while (player.StepForward()) {
            QCOMPARE(player.frame_index(), previous + 1);
            previous = player.frame_index();
            ++shown;
        }
        QCOMPARE(shown, packets);
        QCOMPARE(player.position_ms(), player.duration_ms() - 40.0);
        QVERIFY(!player.picture().isNull());

        // A simulated clock at 8x: the whole file in duration / 8 of its time, sound silent.
        player.Seek(0);
        player.SetSpeed(8, 0);
        player.Play(0);
        int64_t now_ms = 0;
        while (player.playing() && now_ms < 60000) {
            now_ms += 20;
            player.Advance(now_ms);
            QVERIFY(player.TakeSound().isEmpty());
        }
        QVERIFY(player.ended());
        QCOMPARE(player.frame_index(), size_t(packets - 1));
        QVERIFY(std::abs(now_ms - player.duration_ms() / 8) <= 60);
    }

    // At 1x the clock shows the frame of its time, and the sound of the file comes out; not at 2x.
    void playsInTimeWithSoundOnlyAtNormalSpeed() {
        RecordingPlayer player;
        recordings::UserText error;
        QVERIFY2(player.Open(whole_, &error), qPrintable(error.English()));
        QCOMPARE(player.sound_rate(), 8000);
        QCOMPARE(player.sound_channels(), 1);
        player.Play(1000);
        QByteArray sound;
        for (int64_t now = 1000; now <= 3000; now += 10) {
            player.Advance(now);
            sound += player.TakeSound();
        }
        QCOMPARE(player.position_ms(), 2000.0);
        // 2 s of the file's sound, give or take its interleaving (what the recorder got on a loaded
        // machine may have gaps, so the file's own share is the measure).
        const double expected = CountAudioBytes(whole_) * 2000.0 / player.duration_ms();
        QVERIFY2(sound.size() > expected / 2 && sound.size() < expected * 3 / 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(sound.size()).arg(expected)));
        player.SetSpeed(2, 3000);
        for (int64_t now = 3000; now <= 3500; now += 10) player.Advance(now);
        QCOMPARE(player.position_ms(), 3000.0);
        QVERIFY(player.TakeSound().isEmpty());
        player.SetSpeed(100, 3500);
        QCOMPARE(player.speed(), RecordingPlayer::kMaximumSpeed);
        player.SetSpeed(0, 3500);
        QCOMPARE(player.speed(), RecordingPlayer::kMinimumSpeed);
    }

    // A seek decodes forward from the key frame before it and shows the frame whose period holds it: the
    // same picture as playing there frame by frame.
    void seekLandsOnTheFrame() {
        RecordingPlayer player;
        recordings::UserText error;
        QVERIFY2(player.Open(whole_, &error), qPrintable(error.English()));
        for (const double target : {10000.0, 10030.0, 3970.0, 0.0, 7000.0}) {
            QVERIFY(player.Seek(target));
            QVERIFY(player.position_ms() <= target &&
                    target - player.position_ms() < player.frame_period_ms());
        }
        QVERIFY(player.Seek(10000));
        const QImage sought = player.picture();
        RecordingPlayer stepped;
        QVERIFY(stepped.Open(whole_, &error));
        while (stepped.position_ms() < 10000) QVERIFY(stepped.StepForward());
        QCOMPARE(stepped.position_ms(), 10000.0);
        QCOMPARE(sought, stepped.picture());
        QVERIFY(player.Seek(1e9));
        QCOMPARE(player.frame_index(), player.frame_count() - 1);
    }

    // Stream copy from the key frame before the in mark, times from 0; the clip plays; the recording is
    // left as it was.
    void exportsAClip() {
        QFile original(whole_);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();
        const QString clip = folder_.path() + QStringLiteral("/clip.avi");
        QList<double> reported;
        const ClipResult result = recordings::ExportClip(whole_, clip, 3500, 8500, [&](double done) {
            reported << done;
            return true;
        });
        QVERIFY2(result.ok, qPrintable(result.error.English()));
        QCOMPARE(result.start_ms, 3000.0);
        QVERIFY(result.duration_ms >= 5000 && result.duration_ms <= 6000 + 40);
        QVERIFY(reported.size() >= 3);
        QVERIFY(std::is_sorted(reported.begin(), reported.end()));
        QCOMPARE(reported.back(), 1.0);
        QVERIFY(!QFile::exists(clip + QStringLiteral(".part")));

        RecordingPlayer player;
        recordings::UserText error;
        QVERIFY2(player.Open(clip, &error), qPrintable(error.English()));
        QVERIFY(!player.duration_from_reading());
        QCOMPARE(player.duration_ms(), result.duration_ms);
        QCOMPARE(player.frame_count(), result.video_frames);
        QCOMPARE(player.position_ms(), 0.0);
        QVERIFY(player.sound_rate() == 8000);
        int shown = 1;
        while (player.StepForward()) ++shown;
        QCOMPARE(size_t(shown), result.video_frames);
        // The clip's first picture is the recording's picture at 3 s.
        RecordingPlayer source;
        QVERIFY(source.Open(whole_, &error));
        QVERIFY(source.Seek(3000));
        QVERIFY(player.Seek(0));
        QCOMPARE(player.picture(), source.picture());

        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), before);
        QVERIFY(!recordings::ExportClip(whole_, whole_, 0, 1000).ok);
        // A cancelled export leaves nothing.
        const QString cancelled = folder_.path() + QStringLiteral("/cancelled.avi");
        const ClipResult stopped =
            recordings::ExportClip(whole_, cancelled, 0, 12000, [](double) { return false; });
        QVERIFY(!stopped.ok);
        QVERIFY(!QFile::exists(cancelled) && !QFile::exists(cancelled + QStringLiteral(".part")));
    }

    // The clip's temporary file is never its source: x.avi.part exported to x.avi leaves x.avi.part as it
    // was. A target that is the recording by another name (a symbolic or hard link) is refused.
    void exportNeverWritesOverItsSource() {
        QTemporaryDir folder;
        const QString part = folder.filePath(QStringLiteral("x.avi.part"));
        QVERIFY(QFile::copy(whole_, part));
        const QByteArray before = ReadWhole(part);
        const QString clip = folder.filePath(QStringLiteral("x.avi"));
        const ClipResult result = recordings::ExportClip(part, clip, 2000, 6000);
        QVERIFY2(result.ok, qPrintable(result.error.English()));
        QCOMPARE(ReadWhole(part), before);
        RecordingPlayer player;
        recordings::UserText error;
        QVERIFY2(player.Open(clip, &error), qPrintable(error.English()));
        QCOMPARE(player.frame_count(), result.video_frames);
        QVERIFY(result.video_frames >= 100);

        const QString symbolic = folder.filePath(QStringLiteral("symbolic.avi"));
        const QString hard = folder.filePath(QStringLiteral("hard.avi"));
        QVERIFY(QFile::link(part, symbolic));
        QVERIFY(::link(QFile::encodeName(part).constData(), QFile::encodeName(hard).constData()) == 0);
        for (const QString& target :
             {part, symbolic, hard, folder.path() + QStringLiteral("/./x.avi.part")}) {
            const ClipResult refused = recordings::ExportClip(part, target, 0, 3000);
            QVERIFY2(!refused.ok, qPrintable(target));
            QCOMPARE(refused.error.English(),
                     QStringLiteral("A clip cannot be written over its own recording."));
        }
        // And the other way round: the link as the recording, the file itself as the target.
        QVERIFY(!recordings::ExportClip(symbolic, part, 0, 3000).ok);
        QCOMPARE(ReadWhole(part), before);
        QVERIFY(QFileInfo(symbolic).isSymLink());
        QCOMPARE(LeftOver(folder.path()), QStringList());
    }

    // A recording that loses its end while the clip is written (cut, or a read error) gives no clip: the
    // export fails, says why, and leaves nothing behind.
    void exportOfARecordingCutMidwayFails() {
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("cut-later.avi"));
        QVERIFY(QFile::copy(whole_, copy));
        const qint64 third = QFileInfo(copy).size() / 3;
        const QString clip = folder.filePath(QStringLiteral("clip.avi"));
        bool cut = false;
        const ClipResult result = recordings::ExportClip(copy, clip, 0, 12000, [&](double) {
            if (!cut) cut = QFile::resize(copy, third);
            return true;
        });
        QVERIFY(cut);
        QVERIFY(!result.ok);
        QCOMPARE(
            result.error.English(),
            QStringLiteral("cut-later.avi could not be read to the end of the clip; nothing was written."));
        QVERIFY(!QFile::exists(clip));
        QCOMPARE(LeftOver(folder.path()), QStringList());
    }

    // A writer killed mid-write leaves no index: the length is found by reading, and every readable frame
    // plays, up to the last second recorded.
    void playsARecordingWhoseWriterWasKilled() {
        RecordingPlayer player;
        recordings::UserText error;
        QVERIFY2(player.Open(killed_, &error), qPrintable(error.English()));
        QVERIFY(player.duration_from_reading());
        const int packets = CountVideoPackets(killed_);
        QCOMPARE(player.frame_count(), size_t(packets));
        // Everything read before the kill is still there.
        QVERIFY(player.duration_ms() >= killed_seen_ms_);
        QVERIFY(player.Seek(player.duration_ms() - 1000));
        const size_t from = player.frame_index();
        player.Play(0);
        for (int64_t now = 0; player.playing() && now < 5000; now += 10) player.Advance(now);
        QVERIFY(player.ended());
        QCOMPARE(player.frame_index(), player.frame_count() - 1);
        QVERIFY(player.frame_index() - from >= 24);
        // A seek shows the picture that playing frame by frame shows there.
        QVERIFY(player.Seek(2000));
        QCOMPARE(player.position_ms(), 2000.0);
        RecordingPlayer stepped;
        QVERIFY(stepped.Open(killed_, &error));
        while (stepped.position_ms() < 2000) QVERIFY(stepped.StepForward());
        QCOMPARE(player.picture(), stepped.picture());

        // Its seconds can be exported as those of a whole one.
        const QString clip = folder_.path() + QStringLiteral("/killed-clip.avi");
        const ClipResult result = recordings::ExportClip(killed_, clip, 1500, 3480);
        QVERIFY2(result.ok, qPrintable(result.error.English()));
        QVERIFY(result.start_ms <= 1500 && result.start_ms > 1500 - 1000 - 40);
        RecordingPlayer exported;
        QVERIFY2(exported.Open(clip, &error), qPrintable(error.English()));
        QCOMPARE(exported.duration_ms(), 3480 - result.start_ms);
    }

    // A cut copy plays what it still holds; one cut before its first picture and a file that is not an
    // AVI get their messages.
    void damagedAndForeignFilesGetTheirMessages() {
        QFile source(whole_);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        const auto write = [&](const QString& name, const QByteArray& content) {
            QFile file(folder_.path() + u'/' + name);
            file.open(QIODevice::WriteOnly);
            file.write(content);
            return file.fileName();
        };
        RecordingPlayer player;
        recordings::UserText error;
        const QString half = write(QStringLiteral("half.avi"), bytes.left(bytes.size() / 2));
        QVERIFY2(player.Open(half, &error), qPrintable(error.English()));
        QVERIFY(player.duration_from_reading());
        QCOMPARE(player.frame_count(), size_t(CountVideoPackets(half)));
        QVERIFY(player.duration_ms() > 4000 && player.duration_ms() < 9000);

        const QString cut = write(QStringLiteral("cut.avi"), bytes.left(2048));
        QVERIFY(!player.Open(cut, &error));
        QCOMPARE(error.English(),
                 QStringLiteral("cut.avi is cut short before its first picture and cannot be played."));
        QVERIFY(!player.is_open());

        const QString text =
            write(QStringLiteral("notes.avi"), QByteArray("Shift report, bus 12\n").repeated(50));
        QVERIFY(!player.Open(text, &error));
        QCOMPARE(error.English(), QStringLiteral("notes.avi is not an AVI recording."));
        const QString wave = write(QStringLiteral("sound.avi"), QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16));
        QVERIFY(!player.Open(wave, &error));
        QCOMPARE(error.English(), QStringLiteral("sound.avi is not an AVI recording."));
        QVERIFY(!recordings::ExportClip(text, folder_.path() + QStringLiteral("/x.avi"), 0, 1000).ok);
    }

  private:
    QTemporaryDir folder_;
    RecordedMaterial material_;
    QString whole_;
    QString killed_;
    double killed_seen_ms_ = 0;
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "player_test.moc"

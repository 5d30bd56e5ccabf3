// SPDX-License-Identifier: GPL-3.0-or-later
// The recordings window and the player window on a recording made from velq-sim, offscreen: listing and
// filters, opening, seeking by click and drag on the timeline, frame step, playing, snapshots, clip export;
// files that cannot be played (also FIFOs), in the window and for `tavrin FILE`.
#include <signal.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "app/app_client.h"
#include "app/app_folders.h"
#include "app/profile_file.h"
#include "fifo_guard.h"
#include "recorded_material.h"
#include "recordings/player_window.h"
#include "recordings/recordings_index.h"
#include "recordings/recordings_launcher.h"
#include "recordings/recordings_window.h"
#include "recordings/timeline.h"
#include "shell/app_root.h"

using namespace recordings;

namespace {

const QString kTavrin = QStringLiteral(CORVEL_TEST_BUILD_DIR "/client/tavrin");

// Runs `tavrin file` offscreen on the program folder `home`, waits for its message on standard error (the
// box is up then, or about to be), sends `signal` and returns how it ended. The message, or why not.
struct PlayerRun {
    bool message_seen = false;
    QString standard_error;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exit_code = -1;
};
PlayerRun RunPlayerUntilItsMessage(const QString& home, const QString& file, int signal) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVRIN_HOME"), home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess tavrin;
    tavrin.setProcessEnvironment(environment);
    tavrin.start(kTavrin, {file});
    PlayerRun run;
    if (!tavrin.waitForStarted(10000)) return run;
    QElapsedTimer waited;
    waited.start();
    while (!run.standard_error.contains(QStringLiteral("tavrin: ")) && waited.elapsed() < 20000 &&
           tavrin.state() == QProcess::Running) {
        tavrin.waitForReadyRead(100);
        run.standard_error += QString::fromLocal8Bit(tavrin.readAllStandardError());
    }
    run.message_seen = run.standard_error.contains(QStringLiteral("tavrin: "));
    if (tavrin.state() == QProcess::Running) ::kill(static_cast<pid_t>(tavrin.processId()), signal);
    if (!tavrin.waitForFinished(10000)) tavrin.kill(), tavrin.waitForFinished(5000);
    run.standard_error += QString::fromLocal8Bit(tavrin.readAllStandardError());
    run.status = tavrin.exitStatus();
    run.exit_code = tavrin.exitCode();
    return run;
}

// The windows as they show in English.
QString English(const QString& text) {
    return text;
}

}  // namespace

class PlayerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(material_.started());
        record_ = home_.path() + QStringLiteral("/Record");
        snapshots_ = home_.path() + QStringLiteral("/Snapshot");
        recording_ = material_.RecordClip(record_, QStringLiteral("AB-3127-chn01"), 5000);
        QVERIFY(!recording_.isEmpty());
        // The recorder writes a time file beside it; this test is about a recording without one (its
        // axis is the file's own position), so it goes.
        QVERIFY(QFile::remove(recording_ + QStringLiteral(".times")));
    }

    void listsAndOpensRecordings() {
        QTest::qWait(1100);  // a snapshot a second after the recording's name
        PlayerWindow player(snapshots_, English);
        player.setAttribute(Qt::WA_DeleteOnClose, false);
        QVERIFY(player.Open(recording_));
        player.SeekTo(2000);
        const QString snapshot = player.SaveSnapshot();
        QVERIFY(!snapshot.isEmpty());

        RecordingsIndex index(ProbeRecordingMs);
        index.SetFolders({record_, snapshots_});
        QStringList opened;
        RecordingsWindow window(
            index, [&](const QString& path) { opened << path; }, English);
        QCOMPARE(window.ListedRecordings(), QStringList{recording_});
        QCOMPARE(window.ListedSnapshots(), QStringList{snapshot});
        window.OpenListed(0);
        QCOMPARE(opened, QStringList{recording_});
        window.SetFilter(RecordingFilter{QStringLiteral("AB-3127"),
                                         ParseRecordingName(QFileInfo(recording_).fileName()).start.date()});
        QCOMPARE(window.ListedRecordings().size(), 1);
        window.SetFilter(RecordingFilter{{}, QDate(2001, 1, 1)});
        QVERIFY(window.ListedRecordings().isEmpty());
        QVERIFY(window.ListedSnapshots().isEmpty());
    }

    void seeksStepsPlaysAndSnapshots() {
        PlayerWindow window(snapshots_, English);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.Open(recording_));
        const double duration_ms = window.player().duration_ms();
        QVERIFY(duration_ms > 4000);
        auto* timeline = window.findChild<Timeline*>();
        QVERIFY(timeline != nullptr);
        // The bar spans the timeline less 8 pixels each side; the middle of it is the middle of the file.
        const int bar_width = timeline->width() - 16;
        QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(8 + bar_width / 2, 10));
        const double middle = duration_ms / 2;
        QVERIFY(std::abs(window.player().position_ms() - middle) <= duration_ms / bar_width + 40);
        // A drag seeks as it goes.
        QTest::mousePress(timeline, Qt::LeftButton, {}, QPoint(8 + bar_width / 4, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(8 + bar_width * 3 / 4, 10),
                         timeline->mapToGlobal(QPointF(8 + bar_width * 3 / 4, 10)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(timeline, &move);
        QTest::mouseRelease(timeline, Qt::LeftButton, {}, QPoint(8 + bar_width * 3 / 4, 10));
        QVERIFY(std::abs(window.player().position_ms() - duration_ms * 3 / 4) <=
                duration_ms / bar_width + 40);

        window.SeekTo(1000);
        QCOMPARE(window.player().position_ms(), 1000.0);
        window.StepForward();
        QCOMPARE(window.player().position_ms(), 1040.0);

        // Played on the real clock at 2x for half a second: about a second further.
        window.SetSpeed(2);
        window.TogglePlay();
        QTest::qWait(500);
        window.TogglePlay();
        QVERIFY(!window.player().playing());
        const double played = window.player().position_ms() - 1040;
        QVERIFY2(played > 700 && played < 1400, qPrintable(QString::number(played)));

        // A snapshot is the shown picture, named after the vehicle, channel and its time of day.
        const QString bmp = window.SaveSnapshot();
        const QString expected_name = QStringLiteral("AB-3127-chn01-") +
                                      ParseRecordingName(QFileInfo(recording_).fileName())
                                          .start.addMSecs(static_cast<qint64>(window.player().position_ms()))
                                          .toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss")) +
                                      QStringLiteral(".bmp");
        QCOMPARE(QFileInfo(bmp).fileName(), expected_name);
        QImageReader reader(bmp);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage saved = reader.read();
        QCOMPARE(saved.size(), QSize(352, 288));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), window.player().picture());
        QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 window.player().picture());
        const QString png = window.SaveSnapshot(home_.path() + QStringLiteral("/picture.png"));
        QCOMPARE(QImageReader(png).format(), QByteArray("png"));
    }

    void exportsTheMarkedClip() {
        PlayerWindow window(snapshots_, English);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        QVERIFY(window.Open(recording_));
        window.SeekTo(1500);
        window.MarkIn();
        window.SeekTo(3460);
        window.MarkOut();
        QCOMPARE(window.in_ms(), 1480.0);
        QCOMPARE(window.out_ms(), 3480.0);  // the frame at 3440 ms is the last one in
        QSignalSpy finished(&window, &PlayerWindow::exportFinished);
        const QString clip = home_.path() + QStringLiteral("/clip.avi");
        QVERIFY(window.StartExport(clip));
        QVERIFY(finished.wait(10000));
        QVERIFY(finished.front().at(0).toBool());
        QVERIFY(!window.exporting());
        RecordingPlayer player;
        UserText error;
        QVERIFY2(player.Open(clip, &error), qPrintable(error.English()));
        // From the key frame at 1 s up to the out mark.
        QCOMPARE(player.duration_ms(), 2480.0);

        // Nothing to play: the message stands in the window.
        QFile text(home_.path() + QStringLiteral("/list.avi"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("<b>not</b> a recording");
        text.close();
        QVERIFY(!window.Open(text.fileName()));
        QCOMPARE(window.message(), QStringLiteral("list.avi is not an AVI recording."));
    }

    // The launcher the main window's menu uses: one recordings window on the folders of the moment, which
    // opens players; a player on a file it cannot play shows why. Both windows show their texts in the
    // language the launcher was given.
    void launcherOpensWindowsOnTheCurrentFolders() {
        QWidget main_window;
        RecordingFolders folders{home_.path() + QStringLiteral("/none"), snapshots_};
        RecordingsLauncher launcher([&] { return folders; },
                                    [](const QString& text) { return QStringLiteral("<%1>").arg(text); });
        folders.record = record_;
        RecordingsWindow* window = launcher.ShowRecordings(&main_window);
        QCOMPARE(window->ListedRecordings(), QStringList{recording_});
        QCOMPARE(window->windowTitle(), QStringLiteral("<Recordings>"));
        QCOMPARE(launcher.ShowRecordings(&main_window), window);
        window->OpenListed(0);
        auto players = main_window.findChildren<PlayerWindow*>();
        QCOMPARE(players.size(), 1);
        QVERIFY(players.front()->player().is_open());
        QStringList buttons;
        for (const QPushButton* button : players.front()->findChildren<QPushButton*>())
            buttons << button->text();
        QVERIFY2(buttons.contains(QStringLiteral("<Play>")) && buttons.contains(QStringLiteral("<Mark In>")),
                 qPrintable(buttons.join(u',')));
        QString error;
        PlayerWindow* broken =
            launcher.OpenPlayer(home_.path() + QStringLiteral("/missing.avi"), &main_window, &error);
        QVERIFY2(error.startsWith(QStringLiteral("<missing.avi cannot be opened: ")) && error.endsWith(u'>'),
                 qPrintable(error));
        QCOMPARE(broken->message(), error);
    }

    // In a mirrored (right-to-left) window the timeline is drawn exactly as in a left-to-right one: the
    // start's time under the bar's start, the end's under its end, and a click at the left seeks near the
    // start.
    void timelineKeepsItsDirectionInMirroredWindows() {
        const auto draw = [](Qt::LayoutDirection direction) {
            // A right-to-left language sets the application's direction; the windows follow it.
            QGuiApplication::setLayoutDirection(direction);
            QWidget window;
            auto* timeline = new Timeline(&window);
            timeline->resize(400, 44);
            timeline->SetRecording(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0)), 3600000);
            timeline->SetPosition(900000);
            timeline->SetMarks(600000, 1200000);
            QSignalSpy seeks(timeline, &Timeline::seekRequested);
            QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(20, 10));
            const QImage image = timeline->grab().toImage();
            QGuiApplication::setLayoutDirection(Qt::LeftToRight);
            return std::make_pair(image, seeks.value(0).value(0).toDouble());
        };
        const auto [plain, plain_seek] = draw(Qt::LeftToRight);
        const auto [mirrored, mirrored_seek] = draw(Qt::RightToLeft);
        QVERIFY(!plain.isNull());
        QCOMPARE(mirrored, plain);
        QVERIFY(mirrored_seek < 3600000 / 10);
        QCOMPARE(mirrored_seek, plain_seek);
    }

    // The player's messages come from the files and the export thread, not from the window, and still
    // reach the user in the chosen language: a file that is no recording, a folder, and a refused export
    // (its message made on the export thread) all read in German with the German language file. The
    // recordings list writes its start times as left-to-right runs, so that a right-to-left language
    // keeps the date before the time.
    void messagesAndTimesShowInTheChosenLanguage() {
        auto german = std::make_shared<ProfileFile>(
            QStringLiteral(CORVEL_SOURCE_DIR "/client/resources/Language/de_DE.ini"));
        const TranslateText in_german = [german](const QString& text) {
            return german->ReadString(QStringLiteral("Tavrin"), text, text);
        };
        PlayerWindow window(snapshots_, in_german);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        const QString notes = home_.path() + QStringLiteral("/notes.avi");
        QFile text(notes);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("no recording");
        text.close();
        QString error;
        QVERIFY(!window.Open(notes, &error));
        QCOMPARE(error, QStringLiteral("notes.avi ist keine AVI-Aufnahme."));
        QCOMPARE(window.message(), error);
        QVERIFY(!window.Open(record_, &error));
        QCOMPARE(error, QStringLiteral("Record kann nicht geöffnet werden: Es ist ein Ordner."));

        QVERIFY(window.Open(recording_));
        QSignalSpy finished(&window, &PlayerWindow::exportFinished);
        QVERIFY(window.StartExport(recording_));
        QVERIFY(finished.wait(10000));
        QVERIFY(!finished.front().at(0).toBool());
        const QString refused =
            QStringLiteral("Ein Clip kann nicht über seine eigene Aufnahme geschrieben werden.");
        QCOMPARE(finished.front().at(1).toString(), refused);
        QCOMPARE(window.message(), refused);

        RecordingsIndex index(ProbeRecordingMs);
        index.SetFolders({record_, snapshots_});
        RecordingsWindow list(index, {}, in_german);
        auto* tree = list.findChild<QTreeWidget*>();
        QVERIFY(tree != nullptr && tree->topLevelItemCount() == 1 &&
                tree->topLevelItem(0)->childCount() == 1);
        QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Beginn"));
        const QDateTime start = ParseRecordingName(QFileInfo(recording_).fileName()).start;
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(1),
                 QChar(0x2066) + start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QChar(0x2069));
    }

    // `tavrin FILE.avi` plays without logging in and without a main window; --help names it.
    void commandLineOpensThePlayer() {
        const QString tavrin = QStringLiteral(CORVEL_TEST_BUILD_DIR "/client/tavrin");
        QProcess help;
        help.start(tavrin, {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(10000));
        QVERIFY(help.readAllStandardOutput().contains("  FILE.avi "));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVRIN_HOME"), home_.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess player;
        player.setProcessEnvironment(environment);
        player.start(tavrin, {recording_});
        QVERIFY(player.waitForStarted(10000));
        QVERIFY(!player.waitForFinished(3000));                        // the player window is up
        QVERIFY(!player.readAllStandardError().contains("tavrin: "));  // no message of a file it cannot play
        player.terminate();                                            // closes its windows as the user would
        QVERIFY(player.waitForFinished(10000));
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);

        QProcess refused;
        refused.setProcessEnvironment(environment);
        refused.start(tavrin, {QStringLiteral("--login"), recording_});
        QVERIFY(refused.waitForFinished(10000));
        QCOMPARE(refused.exitCode(), 2);

        // SIGHUP (its terminal closed) ends it as SIGTERM does, not by the signal's default action.
        QProcess hung_up;
        hung_up.setProcessEnvironment(environment);
        hung_up.start(tavrin, {recording_});
        QVERIFY(hung_up.waitForStarted(10000));
        QVERIFY(!hung_up.waitForFinished(3000));
        ::kill(static_cast<pid_t>(hung_up.processId()), SIGHUP);
        QVERIFY(hung_up.waitForFinished(10000));
        QCOMPARE(hung_up.exitStatus(), QProcess::NormalExit);
        QCOMPARE(hung_up.exitCode(), 0);
    }

    // `tavrin FILE` on what it cannot play: an empty file, a picture named .avi, a folder, a missing file,
    // a FIFO and a symbolic link to one. Each gets its message (standard error, and the box, which a
    // signal closes here) and exit status 1: no crash as the box goes, no wait on the FIFO.
    void commandLineRefusesWhatItCannotPlay() {
        QTemporaryDir folder;
        const QString empty = folder.filePath(QStringLiteral("empty.avi"));
        QFile(empty).open(QIODevice::WriteOnly);
        const QString picture = folder.filePath(QStringLiteral("picture.avi"));
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        QVERIFY(image.save(picture, "PNG"));
        const QString directory = folder.filePath(QStringLiteral("folder.avi"));
        QVERIFY(QDir().mkpath(directory));
        const QString fifo = folder.filePath(QStringLiteral("fifo.avi"));
        QVERIFY(MakeFifo(fifo));
        const QString fifo_link = folder.filePath(QStringLiteral("link.avi"));
        QVERIFY(QFile::link(fifo, fifo_link));
        const std::pair<QString, QString> cases[] = {
            {empty, QStringLiteral("empty.avi is not an AVI recording.")},
            {picture, QStringLiteral("picture.avi is not an AVI recording.")},
            {directory, QStringLiteral("folder.avi cannot be opened: it is a folder.")},
            {folder.filePath(QStringLiteral("missing.avi")),
             QStringLiteral("missing.avi cannot be opened: ")},
            {fifo, QStringLiteral("fifo.avi cannot be opened: it is not a regular file.")},
            {fifo_link, QStringLiteral("link.avi cannot be opened: it is not a regular file.")},
        };
        int signal = SIGTERM;
        for (const auto& [file, message] : cases) {
            const PlayerRun run = RunPlayerUntilItsMessage(home_.path(), file, signal);
            signal = signal == SIGTERM ? SIGHUP : SIGTERM;
            QVERIFY2(run.message_seen, qPrintable(file));
            QVERIFY2(run.standard_error.contains(QStringLiteral("tavrin: ") + message),
                     qPrintable(run.standard_error));
            QVERIFY2(run.status == QProcess::NormalExit, qPrintable(file + u' ' + run.standard_error));
            QCOMPARE(run.exit_code, 1);
        }
    }

    // The same in the process, the box answered as a user would: RunPlayerWindow returns 1, and the
    // process goes on (under the address sanitizer, nothing freed twice).
    void playerAloneAnswersAFileItCannotPlay() {
        CAppClient client(AppFolders::From(home_.path(), home_.path(), QString(), QString()));
        client.InitInstance();
        QString shown;
        QTimer answer;
        answer.setInterval(50);
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        answer.start();
        QCOMPARE(RunPlayerWindow(client, home_.path() + QStringLiteral("/gone.avi")), 1);
        QVERIFY2(shown.startsWith(QStringLiteral("gone.avi cannot be opened: ")), qPrintable(shown));
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(qobject_cast<PlayerWindow*>(window) == nullptr &&
                    qobject_cast<QMessageBox*>(window) == nullptr);
    }

    // The recordings window lists at once: a FIFO (and a link to one) in the folder is neither listed nor
    // opened, and the lengths are probed on another thread, shown as they come.
    void listingNeverWaitsForAFile() {
        QTemporaryDir folder;
        const QString copy = folder.filePath(QFileInfo(recording_).fileName());
        QVERIFY(QFile::copy(recording_, copy));
        const QString fifo = folder.filePath(QStringLiteral("AB-3127-chn02-2026-12-08-10-00-00.avi"));
        const QString fifo_picture = folder.filePath(QStringLiteral("AB-3127-chn02-2026-12-08-10-00-05.bmp"));
        QVERIFY(MakeFifo(fifo));
        QVERIFY(MakeFifo(fifo_picture));
        QVERIFY(QFile::link(fifo, folder.filePath(QStringLiteral("AB-3127-chn03-2026-12-08-10-00-00.avi"))));
        QVERIFY(QFile::link(fifo_picture,
                            folder.filePath(QStringLiteral("AB-3127-chn03-2026-12-08-10-00-05.png"))));
        FifoGuard guard({fifo, fifo_picture}, std::chrono::seconds(10));

        QSemaphore gate;
        std::atomic<bool> probed_on_ui_thread{false};
        RecordingsIndex index([&](const QString& path) {
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                probed_on_ui_thread = true;
            gate.tryAcquire(1, 10000);
            return ProbeRecordingMs(path);
        });
        index.SetFolders({folder.path()});
        RecordingsWindow window(
            index, [](const QString&) {}, English);
        QSignalSpy read(&window, &RecordingsWindow::lengthsRead);
        QVERIFY(!probed_on_ui_thread);
        QCOMPARE(window.ListedRecordings(), QStringList{copy});
        QVERIFY(window.ListedSnapshots().isEmpty());
        QVERIFY(window.probing());
        QTreeWidgetItem* row = window.findChild<QTreeWidget*>()->topLevelItem(0)->child(0);
        QCOMPARE(row->text(2), QStringLiteral("reading..."));
        gate.release();
        QVERIFY(read.wait(10000));
        QVERIFY(!window.probing());
        RecordingPlayer player;
        QVERIFY(player.Open(copy, nullptr));
        QCOMPARE(row->text(2), Duration(player.duration_ms()));
        QVERIFY(!guard.fired());
    }

  private:
    QTemporaryDir home_;
    RecordedMaterial material_;
    QString record_;
    QString snapshots_;
    QString recording_;
};

QTEST_MAIN(PlayerWindowTest)
#include "player_window_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT ends the client cleanly whatever is open: the client runs as the program runs it (signal handlers,
// main window, event loop) against the simulated platform, records a channel, puts up a modal dialog or a
// menu, and receives SIGINT (or SIGHUP, which ends it the same way). The run returns 0 (no crash under a
// nested event loop) and the recording is closed (index written) and readable by ffprobe.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "../client_fixture.h"
#include "app/quit_on_signals.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "shell/app_main_dlg.h"
#include "shell/app_root.h"

namespace {

CAppMainDlg* RunningWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<CAppMainDlg*>(widget)) return window;
    return nullptr;
}

// The newest recording in `folder` (recursively), or an empty name.
QString NewestRecording(const QString& folder) {
    QString newest;
    QDateTime newest_time;
    QDirIterator it(folder, {QStringLiteral("*.avi")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (newest.isEmpty() || info.lastModified() > newest_time) {
            newest = info.filePath();
            newest_time = info.lastModified();
        }
    }
    return newest;
}

}  // namespace

class ShutdownTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    LiveClient live_;

    struct Outcome {
        int exit_code = -1;
        bool interrupted = false;  // SIGINT was sent while the thing was open
        QString recording;
    };

    // Runs the client until SIGINT: logs in, plays and records channel 1 of the first vehicle, calls
    // `open` (which may block in a nested event loop) and sends `signal` once `is_open` says it is up.
    Outcome RunAndInterrupt(const std::function<void(CAppMainDlg&)>& open,
                            const std::function<bool()>& is_open, int signal = SIGINT) {
        Outcome outcome;
        QuitOnSignals quit_on_signals;
        if (!quit_on_signals.installed()) return outcome;
        int stage = 0;
        QElapsedTimer since;
        since.start();
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, this, [&] {
            CAppMainDlg* window = RunningWindow();
            if (since.elapsed() > 60000) {
                qWarning("stuck at stage %d", stage);
                QCoreApplication::exit(3);
                return;
            }
            if (!window) return;
            DevTree* tree = TreeOf(*window);
            if (stage == 0 && tree->EntryCount() == 6) {
                GridModel& model = GridOf(*window)->Model();
                model.ActivateWindow(model.Windows()[0]);
                window->SelectDeviceNode(tree->FindChannelNode("MDVR-10001", 1));
                ActionsOf(*window).Run(kCommandPlay);
                ActionsOf(*window).Run(kCommandRecord);
                stage = 1;
            } else if (stage == 1) {
                outcome.recording = NewestRecording(live_.client().settings.RecordPath);
                if (!outcome.recording.isEmpty() && QFileInfo(outcome.recording).size() > 20000) {
                    stage = 2;
                    QTimer::singleShot(0, window, [&open, window] { open(*window); });
                }
            } else if (stage == 2 && is_open()) {
                stage = 3;
                outcome.interrupted = true;
                ::kill(::getpid(), signal);
            }
        });
        poll.start();
        outcome.exit_code = RunMainWindow(live_.client(), true);
        return outcome;
    }

    void Check(const Outcome& outcome) {
        QVERIFY(outcome.interrupted);
        QCOMPARE(outcome.exit_code, 0);
        QVERIFY(!RunningWindow());
        // Closed: the index is written only when the file is finished.
        QFile file(outcome.recording);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll().contains("idx1"), qPrintable(outcome.recording));
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                     QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                     QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_packets"),
                     QStringLiteral("-of"), QStringLiteral("csv=p=0"), outcome.recording});
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY2(probe.readAllStandardOutput().trimmed().toInt() > 0, qPrintable(outcome.recording));
    }

    static bool ModalUp() { return QApplication::activeModalWidget() != nullptr; }

  private slots:
    void initTestCase() {
        QVERIFY2(live_.Start(home_, QStringLiteral("UIWindowRow=2\nUIWindowCol=2\n")),
                 "velq-sim did not start");
    }
    void cleanupTestCase() { live_.Stop(); }

    void whileTheAboutBoxIsOpen() {
        Check(RunAndInterrupt(
            [](CAppMainDlg& window) {
                CAppLoginDlg* login = LoginDialogOf(window);
                login->show();
                for (QPushButton* button : login->findChildren<QPushButton*>())
                    if (button->text().contains(QStringLiteral("About"))) button->click();
            },
            ModalUp));
    }

    void whileTheCredentialsMessageIsOpen() {
        Check(RunAndInterrupt(
            [](CAppMainDlg& window) {
                CAppLoginDlg* login = LoginDialogOf(window);
                login->OnOK();  // logs out
                login->userEdit()->setText(QString());
                login->OnOK();
            },
            ModalUp));
    }

    void whileATilesChannelMenuIsOpen() {
        Check(RunAndInterrupt(
            [](CAppMainDlg& window) {
                CDevShowDlg* tile = GridOf(window)->Windows()[0];
                QTest::mouseClick(tile, Qt::RightButton, Qt::NoModifier, tile->rect().center());
            },
            [] { return QApplication::activePopupWidget() != nullptr; }));
    }

    // A closed terminal or an ended session: the recording is closed as on SIGINT, and the exit code is
    // the same.
    void onSigHupWhileRecording() {
        Check(RunAndInterrupt([](CAppMainDlg&) {}, [] { return true; }, SIGHUP));
    }

    void whileTheLoadPageDialogIsOpen() {
        Check(RunAndInterrupt(
            [](CAppMainDlg& window) {
                window.findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdLoadPage)->trigger();
            },
            ModalUp));
    }
};

QTEST_MAIN(ShutdownTest)
#include "shutdown_display_test.moc"

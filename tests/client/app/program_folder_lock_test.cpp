// SPDX-License-Identifier: GPL-3.0-or-later
// One tavrin on a program folder: the lock refuses a second holder (naming the first), takes over the lock
// file of a process that is gone, and the real program refuses to start on a folder in use (exit 3) while
// the first one goes on; the player alone takes no lock.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/program_folder_lock.h"

namespace {

const QString kTavrin = QStringLiteral(CORVEL_TEST_BUILD_DIR "/client/tavrin");

// The id of a process that has ended (and been reaped), so that no process has it for now.
qint64 DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QProcessEnvironment TavrinEnvironment(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVRIN_HOME"), home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("CORVEL_SOUND_OUT"), QStringLiteral("null"));
    environment.insert(QStringLiteral("CORVEL_SOUND_IN"), QStringLiteral("null"));
    return environment;
}

}  // namespace

class ProgramFolderLockTest : public QObject {
    Q_OBJECT

  private slots:
    void secondHolderIsRefusedAndNamesTheFirst() {
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("not/yet"));
        auto first = std::make_unique<ProgramFolderLock>();
        QVERIFY(first->Acquire(folder));
        QVERIFY(first->held());
        QVERIFY(QFile::exists(folder + QStringLiteral("/tavrin.lock")));
        ProgramFolderLock second;
        QVERIFY(!second.Acquire(folder));
        QCOMPARE(second.holder_pid(), qint64(::getpid()));
        QCOMPARE(second.holder_host(), QSysInfo::machineHostName());
        QVERIFY2(second.message().contains(QString::number(::getpid())), qPrintable(second.message()));
        // Released with its holder.
        first.reset();
        QVERIFY(second.Acquire(folder));
    }

    void lockOfAProcessThatIsGoneIsTakenOver() {
        QTemporaryDir home;
        const qint64 dead = DeadPid();
        QFile stale(home.filePath(QStringLiteral("tavrin.lock")));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray::number(dead) + "\ntavrin\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        stale.close();
        // Old as a lock of last week: age alone makes no lock stale, the dead holder does.
        ProgramFolderLock lock;
        QVERIFY2(lock.Acquire(home.path()), qPrintable(lock.message()));
        QVERIFY(stale.open(QIODevice::ReadOnly));
        QCOMPARE(stale.readLine().trimmed(), QByteArray::number(::getpid()));
    }

    void secondTavrinOnTheSameFolderExits3() {
        QTemporaryDir home;
        QProcess first;
        first.setProcessEnvironment(TavrinEnvironment(home.path()));
        first.setStandardOutputFile(QProcess::nullDevice());
        first.setStandardErrorFile(QProcess::nullDevice());
        first.start(kTavrin, {});
        QVERIFY(first.waitForStarted(10000));
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(home.filePath(QStringLiteral("tavrin.lock"))) && waited.elapsed() < 30000 &&
               first.state() == QProcess::Running)
            QTest::qWait(100);
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("tavrin.lock"))));

        QProcess second;
        second.setProcessEnvironment(TavrinEnvironment(home.path()));
        second.start(kTavrin, {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 3);
        const QByteArray said = second.readAllStandardError();
        QVERIFY2(said.contains("process " + QByteArray::number(first.processId())), said.constData());

        // The player alone runs beside it: a file it cannot play ends with 1, not with the folder's 3.
        QProcess player;
        player.setProcessEnvironment(TavrinEnvironment(home.path()));
        player.start(kTavrin, {home.filePath(QStringLiteral("none.avi"))});
        QVERIFY(player.waitForStarted(10000));
        waited.restart();
        while (!player.readAllStandardError().contains("tavrin: ") && waited.elapsed() < 20000)
            player.waitForReadyRead(100);
        ::kill(static_cast<pid_t>(player.processId()), SIGTERM);  // closes its message box
        QVERIFY(player.waitForFinished(10000));
        QCOMPARE(player.exitCode(), 1);

        // The first went on untouched, and ends as usual, its lock gone with it.
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("tavrin.lock"))));
    }
};

QTEST_GUILESS_MAIN(ProgramFolderLockTest)
#include "program_folder_lock_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// tavrin: the operator's desktop client. See `tavrin --help`.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>

#include "app/app_client.h"
#include "app/app_folders.h"
#include "app/app_style.h"
#include "app/program_folder_lock.h"
#include "app/quit_on_signals.h"
#include "shell/app_root.h"

static const char kHelp[] =
    "Usage: tavrin [--login] [--page FILE] [--wall N:FILE]... [--fullscreen] [--version] [--help]\n"
    "       tavrin FILE.avi\n"
    "Tavrin, the operator's client of the mobile video platform.\n"
    "\n"
    "  --login       log in with the stored center server and user once the window is up\n"
    "  --page FILE   play the channels of a page file (as Load Page) once the devices are listed\n"
    "  --wall N:FILE play the channels of a page file on a wall filling screen N (screens counted\n"
    "                from 1); repeatable, one wall per screen\n"
    "  --fullscreen  start with the main window filling the screen (F11 toggles)\n"
    "  --version     show the version and exit\n"
    "  --help        show this help and exit\n"
    "  FILE.avi      play a recording in the player window, without logging in\n"
    "\n"
    "Settings live in Config.ini in the program folder: $TAVRIN_HOME when set, the program's own folder\n"
    "when it runs from its build folder, else ~/.config/tavrin/. One tavrin at a time uses a program\n"
    "folder (it holds tavrin.lock there); another one exits with status 3.\n";

// Exit status of a tavrin that finds its program folder in use by another one.
constexpr int kExitFolderInUse = 3;

// Says why the program folder cannot be used: on standard error always (the contract scripts rely on),
// and in a message box where a screen shows one. UI thread, the application made.
static int RefuseFolder(const ProgramFolderLock& lock) {
    std::fprintf(stderr, "tavrin: %s\n", qPrintable(lock.message()));
    const QString platform = QGuiApplication::platformName();
    if (platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal")) {
        // No parent, on the stack, nothing deleted under it: a signal ends its loop and it goes here.
        // The standard error line's wording, as a sentence of its own.
        QString text = lock.message() + u'.';
        text[0] = text[0].toUpper();
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrin"), text, QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
    return kExitFolderInUse;
}

int main(int argc, char** argv) {
    // The command line is read before the window system is opened, so --help and --version work anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption login(QStringLiteral("login"));
    const QCommandLineOption page(QStringLiteral("page"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption wall(QStringLiteral("wall"), QString(), QStringLiteral("N:FILE"));
    const QCommandLineOption fullscreen(QStringLiteral("fullscreen"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(login);
    parser.addOption(page);
    parser.addOption(wall);
    parser.addOption(fullscreen);
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tavrin: %s\nTry 'tavrin --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    // One file, and nothing else, opens the player.
    // N:FILE, N a screen number from 1; a relative file is taken from where tavrin was started.
    std::vector<WallPage> walls;
    for (const QString& value : parser.values(wall)) {
        const qsizetype colon = value.indexOf(u':');
        bool ok = false;
        const int screen = colon > 0 ? value.left(colon).toInt(&ok) : 0;
        if (!ok || screen < 1 || screen > kMaxWallScreen || colon + 1 >= value.size()) {
            std::fprintf(stderr,
                         "tavrin: --wall wants N:FILE (N from 1 to %d), not '%s'\nTry 'tavrin --help'.\n",
                         kMaxWallScreen, qPrintable(value));
            return 2;
        }
        walls.push_back({screen, QFileInfo(value.mid(colon + 1)).absoluteFilePath()});
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1 ||
        (files.size() == 1 && (parser.isSet(login) || parser.isSet(page) || !walls.empty()))) {
        std::fprintf(stderr, "tavrin: unexpected argument '%s'\nTry 'tavrin --help'.\n",
                     qPrintable(files.size() > 1 ? files.at(1) : files.first()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf(
            "tavrin %s\nLicense %s: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n",
            TAVRIN_VERSION, TAVRIN_LICENSE);
        return 0;
    }

    // The map view's embedded browser shares the main window's graphics contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    // No application display name: Qt would append it to every caption on X11 and Wayland, and the
    // captions are the window's own texts (online count, login state).
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    // The installed desktop entry's name (org.corvel.Tavrin.desktop): Wayland compositors match the
    // window to its entry and icon by it.
    QApplication::setDesktopFileName(QStringLiteral("org.corvel.Tavrin"));

    const QuitOnSignals quit_on_signals;
    const AppFolders folders = AppFolders::Detect();
    // Taken before anything reads or writes the program folder, released after everything has. The
    // player alone (`tavrin FILE.avi`) takes no lock: it only reads the settings and writes snapshots and
    // clips under names of their own, so it runs beside the client that uses the folder.
    ProgramFolderLock folder_lock;
    if (files.isEmpty() && !folder_lock.Acquire(folders.program)) return RefuseFolder(folder_lock);
    CAppClient client(folders);
    client.InitInstance();
    ApplyAppStyle(client.settings);
    if (files.size() == 1) return RunPlayerWindow(client, QFileInfo(files.first()).absoluteFilePath());
    // A relative page file is taken from where tavrin was started.
    const QString page_file =
        parser.isSet(page) ? QFileInfo(parser.value(page)).absoluteFilePath() : QString();
    return RunMainWindow(client, parser.isSet(login), page_file, parser.isSet(fullscreen), walls);
}

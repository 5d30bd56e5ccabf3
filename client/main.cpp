// SPDX-License-Identifier: GPL-3.0-or-later
// tavrin: the operator's desktop client. See `tavrin --help`.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

#include "app/app_client.h"
#include "app/app_folders.h"
#include "app/app_style.h"
#include "app/quit_on_signals.h"
#include "shell/app_root.h"

static const char kHelp[] =
    "Usage: tavrin [--login] [--page FILE] [--fullscreen] [--version] [--help]\n"
    "Tavrin, the operator's client of the mobile video platform.\n"
    "\n"
    "  --login       log in with the stored center server and user once the window is up\n"
    "  --page FILE   play the channels of a page file (as Load Page) once the devices are listed\n"
    "  --fullscreen  start with the main window filling the screen (F11 toggles)\n"
    "  --version     show the version and exit\n"
    "  --help        show this help and exit\n"
    "\n"
    "Settings live in Config.ini in the program folder: $TAVRIN_HOME when set, the program's own folder\n"
    "when it runs from its build folder, else ~/.config/tavrin/.\n";

int main(int argc, char** argv) {
    // The command line is read before the window system is opened, so --help and --version work anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption login(QStringLiteral("login"));
    const QCommandLineOption page(QStringLiteral("page"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption fullscreen(QStringLiteral("fullscreen"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(login);
    parser.addOption(page);
    parser.addOption(fullscreen);
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tavrin: %s\nTry 'tavrin --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tavrin: unexpected argument '%s'\nTry 'tavrin --help'.\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("tavrin %s\n", TAVRIN_VERSION);
        return 0;
    }

    // The map view's embedded browser shares the main window's graphics contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrin"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    // The installed desktop entry's name (org.corvel.Tavrin.desktop): Wayland compositors match the
    // window to its entry and icon by it.
    QApplication::setDesktopFileName(QStringLiteral("org.corvel.Tavrin"));

    const QuitOnSignals quit_on_signals;
    CAppClient client(AppFolders::Detect());
    client.InitInstance();
    ApplyAppStyle(client.settings);
    // A relative page file is taken from where tavrin was started.
    const QString page_file =
        parser.isSet(page) ? QFileInfo(parser.value(page)).absoluteFilePath() : QString();
    return RunMainWindow(client, parser.isSet(login), page_file, parser.isSet(fullscreen));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/map_page.h"

#include <unistd.h>

#include <cstdio>

#include <QQuickWindow>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

Q_LOGGING_CATEGORY(lcMap, "tavrin.map", QtWarningMsg)

void PrepareWebEngine() {
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    // The view draws through the software scene graph, into the window's ordinary backing store. A view
    // drawn through OpenGL turns on texture composition for its whole top-level window: every repaint of
    // any video tile then re-composes the main window, in software where there is no GPU (Xvfb, remote
    // desktops), at about half a core for a 4 x 4 grid. QT_QUICK_BACKEND set by the user still decides.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (geteuid() != 0) return;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--no-sandbox")) return;
    std::fputs("tavrin: running as root: the map view's browser runs without its sandbox\n", stderr);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --no-sandbox").trimmed());
}

namespace {

// Tile servers ask their users to name themselves; the center sees the same name.
void NameTheProduct(QWebEngineProfile* profile) {
    const QString product = QStringLiteral("Tavrin/" TAVRIN_VERSION);
    if (!profile->httpUserAgent().contains(product)) {
        profile->setHttpUserAgent(profile->httpUserAgent() + QLatin1Char(' ') + product);
    }
}

}  // namespace

MapPage::MapPage(QObject* parent) : QWebEnginePage(parent) {
    // The built-in page is local (qrc:) and takes its tiles from a tile server.
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    NameTheProduct(profile());
}

MapPage::MapPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    NameTheProduct(profile);
}

void MapPage::javaScriptAlert(const QUrl& origin, const QString& text) {
    qCDebug(lcMap) << "alert from" << origin << text;
}

bool MapPage::javaScriptConfirm(const QUrl& origin, const QString& text) {
    qCDebug(lcMap) << "confirm from" << origin << text;
    return false;
}

bool MapPage::javaScriptPrompt(const QUrl& origin, const QString& text, const QString&, QString*) {
    qCDebug(lcMap) << "prompt from" << origin << text;
    return false;
}

void MapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int line,
                                       const QString& source) {
    qCDebug(lcMap) << source << line << message;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The web page objects of the map view (the map's and the playback page's): silent (script alerts,
// confirmations, prompts and errors never open a dialog; errors go to the "tavrin.map" logging category, off
// by default).
#include <QLoggingCategory>
#include <QWebEnginePage>

Q_DECLARE_LOGGING_CATEGORY(lcMap)

// Called before the first web view exists (UI thread). Selects software drawing for web views (see the
// definition for why) unless QT_QUICK_BACKEND is set. Chromium refuses to start its sandbox for the root user
// and ends the process; as root the browser runs without it (said once on standard error).
void PrepareWebEngine();

class MapPage : public QWebEnginePage {
    Q_OBJECT

  public:
    // The map's own page, in the default profile: local content that loads its tiles from a server.
    explicit MapPage(QObject* parent = nullptr);
    // A page of remote content in `profile` (which must outlive it), as silent as the map's.
    MapPage(QWebEngineProfile* profile, QObject* parent);

  protected:
    void javaScriptAlert(const QUrl& origin, const QString& text) override;
    bool javaScriptConfirm(const QUrl& origin, const QString& text) override;
    bool javaScriptPrompt(const QUrl& origin, const QString& text, const QString& value,
                          QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                  const QString& source) override;
};

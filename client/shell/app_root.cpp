// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_root.h"

#include <QApplication>
#include <QTimer>
#include <memory>

#include "app/app_client.h"
#include "shell/app_main_dlg.h"

int RunMainWindow(CAppClient& client, bool login, const QString& page, bool fullscreen) {
    auto window = std::make_unique<CAppMainDlg>(client.settings);
    if (!page.isEmpty()) window->LoadPageWhenListed(page);
    if (fullscreen)
        window->showFullScreen();
    else
        window->show();
    if (login) QTimer::singleShot(0, window.get(), [w = window.get()] { w->PressLogin(); });
    const int code = QApplication::exec();
    window.reset();
    return code;
}

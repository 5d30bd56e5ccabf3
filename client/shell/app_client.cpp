#include "shell/app_client.h"

#include <QApplication>
#include <QTimer>

#include "dialogs/app_login_dlg.h"
#include "shell/app_main_dlg.h"
#include "shell/app_profile.h"

namespace {

CAppClient*& TheClient() {
    static CAppClient* client = nullptr;
    return client;
}

}  // namespace

CAppClient::CAppClient(const AppFolders& folders) {
    AppProfile::Reset(folders);
    TheClient() = this;
}

CAppClient::~CAppClient() {
    if (TheClient() == this) TheClient() = nullptr;
}

CAppClient* CAppClient::Get() {
    return TheClient();
}

AppSettings& CAppClient::Settings() {
    if (CAppClient* client = Get()) return client->settings;
    static AppSettings defaults;
    return defaults;
}

void CAppClient::InitInstance() {
    AppProfile& profile = *AppProfile::Current();
    profile.ChooseLanguageAndSkin();
    profile.ApplyLocale();
    settings.Load(profile.folders().record_default, profile.folders().snapshot_default);
}

int CAppClient::Run(bool login, const QString& page, bool fullscreen) {
    auto window = std::make_unique<CAppMainDlg>();
    main_window_ = window.get();
    if (!page.isEmpty()) window->LoadPageWhenListed(page);
    if (fullscreen)
        window->showFullScreen();
    else
        window->show();
    if (login) QTimer::singleShot(0, window.get(), [w = window.get()] { w->PressLogin(); });
    const int code = QApplication::exec();
    main_window_ = nullptr;
    window.reset();
    return code;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_client.h"

#include "app/app_profile.h"

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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_client.h"

#include <QGuiApplication>
#include <algorithm>

#include "app/app_profile.h"
#include "app/heap_keeper.h"
#include "app/qt_translations.h"
#include "app/ui_thread_latency.h"

CAppClient::CAppClient(const AppFolders& folders) {
    AppProfile::Reset(folders);
}

AppProfile* CAppClient::profile() const {
    return AppProfile::Current();
}

CAppClient::~CAppClient() {
    qt_translations_.reset();
    if (mirrored_) QGuiApplication::setLayoutDirection(Qt::LayoutDirectionAuto);
}

void CAppClient::InitInstance() {
    if (QCoreApplication::instance()) {
        heap_keeper_ = std::make_unique<HeapKeeper>();
        // This is the UI thread: its paints are what the grid's pictures wait for.
        ui_thread_latency::RequestSlice(ui_thread_latency::kUiSlice_ns);
    }
    AppProfile& profile = *AppProfile::Current();
    profile.ChooseLanguageAndSkin();
    profile.ApplyLocale();
    // Qt's texts and the window's direction follow our own texts: a language whose file is missing shows
    // English, so Qt stays English and left to right with it.
    const LanguageRow& row = profile.languageTable().row(std::max(0, profile.languageIndex()));
    if (row.available && QCoreApplication::instance()) {
        qt_translations_ = std::make_unique<QtTranslations>(LanguageTable::Locale(row));
        if (LanguageTable::RightToLeft(row)) {
            QGuiApplication::setLayoutDirection(Qt::RightToLeft);
            mirrored_ = true;
        }
    }
    settings.Load(profile.folders().record_default, profile.folders().snapshot_default);
    // A value no dialog could have stored (a hand-edited file) would freeze video or break the layout.
    for (const QString& line : settings.ClampToRanges()) qWarning("Config.ini: %s", qPrintable(line));
}

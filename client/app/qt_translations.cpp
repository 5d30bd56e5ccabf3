// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

QtTranslations::QtTranslations(const QLocale& locale, const QString& folder) {
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    // English needs none: Qt's texts are English already, and Qt's English catalogue only holds plurals.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return;
    // qt_<lang> gathers the modules' catalogues where Debian has them; some languages only have qtbase_.
    // QTranslator::load tries "pt_BR", then "pt", and so on down the locale's names.
    for (const char* prefix : {"qtbase", "qt"}) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(locale, QLatin1String(prefix), QStringLiteral("_"), where)) continue;
        if (!QCoreApplication::installTranslator(translator.get())) continue;
        files_ << translator->filePath();
        translators_.push_back(std::move(translator));
    }
}

QtTranslations::~QtTranslations() {
    for (auto it = translators_.rbegin(); it != translators_.rend(); ++it)
        QCoreApplication::removeTranslator(it->get());
}

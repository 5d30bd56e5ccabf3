// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Qt's own texts (file and message-box buttons, edit menus, the folder picker) in the client's language:
// Debian ships them as qtbase_<lang>.qm and qt_<lang>.qm in Qt's translations folder. Installing them also
// gives right-to-left languages their mirrored layout, as Qt reads its direction from its translation.
//
// Threads: the UI thread; an application object must exist. The translators stay installed while the
// object lives and are removed when it goes.
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <memory>
#include <vector>

class QtTranslations {
  public:
    // Loads and installs the catalogues of `locale` found in `folder` (Qt's translations folder when
    // empty); a language Qt has no catalogue for installs none and leaves Qt's texts in English.
    explicit QtTranslations(const QLocale& locale, const QString& folder = QString());
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // The files installed, in the order they were (later ones are searched first).
    const QStringList& files() const { return files_; }

  private:
    std::vector<std::unique_ptr<QTranslator>> translators_;
    QStringList files_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's settings and texts. One AppProfile serves the whole client: it knows the program folder,
// the settings file "Config.ini" and its section "Tavrin", the chosen language file and the skin folder,
// reads and writes settings and translates every text the client shows (the English text is the key and
// the fallback).
//
// Threads: the UI thread only. The static functions use the one profile made by Reset (CAppClient at
// start-up, or a test); before that they give the defaults and the texts themselves.
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/app_folders.h"
#include "app/language_table.h"
#include "app/profile_file.h"

class AppProfile {
  public:
    static inline const QString kSection = QStringLiteral("Tavrin");

    explicit AppProfile(AppFolders folders);

    // Replaces the process's one profile with a new one for `folders` (language not yet chosen).
    static AppProfile& Reset(const AppFolders& folders);
    // The one profile; null before Reset.
    static AppProfile* Current();

    // Setting `key` of section "Tavrin": the integer as the settings reader reads it, or `fallback` when
    // the key or the file is missing.
    static int ReadInt(const QString& key, int fallback);
    // The stored text (at most 259 characters), or `fallback` when it is missing or empty.
    static QString ReadString(const QString& key, const QString& fallback);
    // Stores the text (integers as decimal text), keeping everything else in the file; the file is owner
    // read/write only, since it holds the password. False when it could not be written.
    static bool WriteString(const QString& key, const QString& value);
    // The text in the chosen language, at most 259 characters; the text itself when the language has no
    // file or the file lacks the key (a key stored with an empty value gives an empty text).
    static QString Translate(const QString& text);

    // The same reads and write on this profile (what the static functions do on the current one).
    int ReadIntOf(const QString& key, int fallback);
    QString ReadStringOr(const QString& key, const QString& fallback);
    [[nodiscard]] bool Write(const QString& key, const QString& value);

    // Start-up: reads "Language File", marks the languages whose files exist, chooses the row and the
    // language file, and the skin folder.
    void ChooseLanguageAndSkin();
    // Start-up: selects the runtime's locale of the chosen row (when the system has it) and Qt's default
    // locale. Returns the system locale name that was set, empty when the system lacks it.
    QString ApplyLocale() const;

    // The province list: the lines of section "Provinces" of the language file or, when that has none, of
    // the settings file; at most 1023 characters in all.
    QStringList Provinces();

    const AppFolders& folders() const { return folders_; }
    const QString& programFolder() const { return folders_.program; }
    const QString& settingsFile() const { return settings_file_; }
    const QString& languageFile() const { return language_file_; }
    int languageIndex() const { return language_index_; }
    const QString& skinFolder() const { return skin_folder_; }
    const LanguageTable& languageTable() const { return table_; }

  private:
    QString TranslateText(const QString& text);
    QString ReadStringOf(const QString& key);

    AppFolders folders_;
    QString settings_file_;
    QString language_file_;
    int language_index_ = -1;
    QString skin_folder_;
    LanguageTable table_;
    ProfileFile settings_;
    ProfileFile language_;
    QHash<QString, QString> translated_;  // the language is fixed after start-up
};

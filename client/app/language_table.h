// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built-in table of the 40 languages the client knows, in their fixed order. A row's index is what the
// language preference stores; its code names the language file (code + ".ini"), exactly as listed, and
// compares case-sensitively. Availability is per table object: a row becomes available when a language
// file of exactly its code was found.
#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>

struct LanguageRow {
    int available = 0;
    const char* locale_name;  // the name the runtime's locale selection was given
    const char* code;
    const char* display_name;  // shown, translated, by the language preference
    const char* own_name;      // the language's name in itself, UTF-8, shown beside the translated name
};

class LanguageTable {
  public:
    static constexpr int kRows = 40;

    LanguageTable();

    int size() const { return kRows; }
    const LanguageRow& row(int index) const { return rows_.at(index); }
    // Row of a code (exact, case-sensitive), -1 when no row has it.
    int IndexOf(const QString& code) const;

    // The start-up walk over the titles (file names without ".ini") found in the language folder: marks
    // each row whose code equals a title available, and returns the row of `setting` (the "Language File"
    // setting) — found while walking the files, as the platform's walk did — or 0 (English) when none.
    int Choose(const QString& setting, const QStringList& titles);

    // The system's locale name for a row ("de_DE.UTF-8" for German), for setlocale.
    static QString SystemLocale(const LanguageRow& row);
    // Qt's locale for a row: the system's name without its code set ("ja_JP" for the code "jp_JP").
    static QLocale Locale(const LanguageRow& row);
    // Whether the row's script runs right to left (Arabic, Hebrew): the window is then mirrored.
    static bool RightToLeft(const LanguageRow& row);
    // The language list's entry for a row: its name translated into the language in use, then its own
    // name ("German (Germany) — Deutsch"); the translated name alone when the two are the same. The
    // translated name comes first, so an entry still begins with it.
    static QString ListEntry(const LanguageRow& row, const QString& translated_name);

  private:
    std::array<LanguageRow, kRows> rows_;
};

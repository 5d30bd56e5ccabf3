// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language_table.h"

namespace {

const LanguageRow kTable[LanguageTable::kRows] = {
    {0, "English", "en_US", "English"},
    {0, "Chinese-Simplified", "zh_CN", "Chinese (P.R.C.)"},
    {0, "Chinese-Traditional", "zh_TW", "Chinese (Taiwan)"},
    {0, "Arabic", "ar_AE", "Arabic (UAE)"},
    {0, "Basque", "ba_BA", "Basque"},
    {0, "Bulgarian", "bg_BG", "Bulgarian"},
    {0, "Catalan", "ca_ES", "Catalan"},
    {0, "Czech", "cz_CZ", "Czech"},
    {0, "Danish", "da_DK", "Danish"},
    {0, "German", "de_DE", "German (Germany)"},
    {0, "Greek", "el_GR", "Greek"},
    {0, "Spanish", "es_ES", "Spanish (Castilian)"},
    {0, "Asturian", "es_AS", "Asturian"},
    {0, "Estonian", "et_EE", "Estonian"},
    {0, "Finnish", "fi_FI", "Finnish"},
    {0, "French", "fr_FR", "French (France)"},
    {0, "French", "fr_BR", "French (Breton)"},
    {0, "Galician", "gl_ES", "Galician"},
    {0, "Hebrew", "he_IL", "Hebrew"},
    {0, "Hungarian", "hu_HU", "Hungarian"},
    {0, "Italian", "it_IT", "Italian (Italy)"},
    {0, "Japanese", "jp_JP", "Japanese"},
    {0, "Korean", "ko_KR", "Korean"},
    {0, "Lithuanian", "lt_LT", "Lithuanian"},
    {0, "Latvian", "lv_LV", "Latvian"},
    {0, "Maltese", "mt_MT", "Maltese"},
    {0, "Norwegian", "nb_NO", "Norwegian (Bokmal)"},
    {0, "Norwegian", "nn_NO", "Norwegian (Nynorsk)"},
    {0, "Dutch", "nl_NL", "Dutch (Netherlands)"},
    {0, "Polish", "pl_PL", "Polish"},
    {0, "Portuguese", "pt_BR", "Portuguese (Brazil)"},
    {0, "Portuguese", "pt_PT", "Portuguese (Portugal)"},
    {0, "Rumänisch", "ro_RO", "Rumänisch"},
    {0, "Russian", "ru_RU", "Russian"},
    {0, "Slovenian", "sl_SI", "Slovenian"},
    {0, "Albanian", "sq_AL", "Albanian (Albania)"},
    {0, "Swedish", "sv_SE", "Swedish"},
    {0, "Turkish", "tr_TR", "Turkish"},
    {0, "Ukrainian", "ua_UA", "Ukrainian"},
    {0, "Vietnamese", "vi_VN", "Vietnamese"},
};

}  // namespace

LanguageTable::LanguageTable() {
    std::copy(std::begin(kTable), std::end(kTable), rows_.begin());
}

int LanguageTable::IndexOf(const QString& code) const {
    for (int i = 0; i < kRows; ++i)
        if (code == QLatin1String(rows_[i].code)) return i;
    return -1;
}

int LanguageTable::Choose(const QString& setting, const QStringList& titles) {
    int index = -1;
    for (const QString& title : titles) {
        for (int i = 0; i < kRows; ++i) {
            LanguageRow& row = rows_[i];
            if (index == -1 && setting == QLatin1String(row.code)) index = i;
            if (row.available == 0 && title == QLatin1String(row.code)) {
                row.available = 1;
                break;
            }
        }
    }
    return index == -1 ? 0 : index;
}

QString LanguageTable::SystemLocale(const LanguageRow& row) {
    // A few codes of the table are not the system's names for their languages.
    static const struct {
        const char* code;
        const char* system;
    } kRenamed[] = {{"ba_BA", "eu_ES"}, {"cz_CZ", "cs_CZ"}, {"es_AS", "ast_ES"},
                    {"fr_BR", "br_FR"}, {"jp_JP", "ja_JP"}, {"ua_UA", "uk_UA"}};
    QString name = QLatin1String(row.code);
    for (const auto& renamed : kRenamed)
        if (name == QLatin1String(renamed.code)) name = QLatin1String(renamed.system);
    return name + QStringLiteral(".UTF-8");
}

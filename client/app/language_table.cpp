// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language_table.h"

namespace {

const LanguageRow kTable[LanguageTable::kRows] = {
    {0, "English", "en_US", "English", "English"},
    {0, "Chinese-Simplified", "zh_CN", "Chinese (P.R.C.)", "简体中文"},
    {0, "Chinese-Traditional", "zh_TW", "Chinese (Taiwan)", "繁體中文"},
    {0, "Arabic", "ar_AE", "Arabic (UAE)", "العربية"},
    {0, "Basque", "ba_BA", "Basque", "Euskara"},
    {0, "Bulgarian", "bg_BG", "Bulgarian", "Български"},
    {0, "Catalan", "ca_ES", "Catalan", "Català"},
    {0, "Czech", "cz_CZ", "Czech", "Čeština"},
    {0, "Danish", "da_DK", "Danish", "Dansk"},
    {0, "German", "de_DE", "German (Germany)", "Deutsch"},
    {0, "Greek", "el_GR", "Greek", "Ελληνικά"},
    {0, "Spanish", "es_ES", "Spanish (Castilian)", "Español"},
    {0, "Asturian", "es_AS", "Asturian", "Asturianu"},
    {0, "Estonian", "et_EE", "Estonian", "Eesti"},
    {0, "Finnish", "fi_FI", "Finnish", "Suomi"},
    {0, "French", "fr_FR", "French (France)", "Français"},
    {0, "French", "fr_BR", "French (Breton)", "Brezhoneg"},
    {0, "Galician", "gl_ES", "Galician", "Galego"},
    {0, "Hebrew", "he_IL", "Hebrew", "עברית"},
    {0, "Hungarian", "hu_HU", "Hungarian", "Magyar"},
    {0, "Italian", "it_IT", "Italian (Italy)", "Italiano"},
    {0, "Japanese", "jp_JP", "Japanese", "日本語"},
    {0, "Korean", "ko_KR", "Korean", "한국어"},
    {0, "Lithuanian", "lt_LT", "Lithuanian", "Lietuvių"},
    {0, "Latvian", "lv_LV", "Latvian", "Latviešu"},
    {0, "Maltese", "mt_MT", "Maltese", "Malti"},
    {0, "Norwegian", "nb_NO", "Norwegian (Bokmal)", "Norsk bokmål"},
    {0, "Norwegian", "nn_NO", "Norwegian (Nynorsk)", "Norsk nynorsk"},
    {0, "Dutch", "nl_NL", "Dutch (Netherlands)", "Nederlands"},
    {0, "Polish", "pl_PL", "Polish", "Polski"},
    {0, "Portuguese", "pt_BR", "Portuguese (Brazil)", "Português (Brasil)"},
    {0, "Portuguese", "pt_PT", "Portuguese (Portugal)", "Português (Portugal)"},
    {0, "Rumänisch", "ro_RO", "Rumänisch", "Română"},
    {0, "Russian", "ru_RU", "Russian", "Русский"},
    {0, "Slovenian", "sl_SI", "Slovenian", "Slovenščina"},
    {0, "Albanian", "sq_AL", "Albanian (Albania)", "Shqip"},
    {0, "Swedish", "sv_SE", "Swedish", "Svenska"},
    {0, "Turkish", "tr_TR", "Turkish", "Türkçe"},
    {0, "Ukrainian", "ua_UA", "Ukrainian", "Українська"},
    {0, "Vietnamese", "vi_VN", "Vietnamese", "Tiếng Việt"},
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

QLocale LanguageTable::Locale(const LanguageRow& row) {
    QString name = SystemLocale(row);
    name.truncate(name.indexOf(u'.'));
    return QLocale(name);
}

bool LanguageTable::RightToLeft(const LanguageRow& row) {
    return Locale(row).textDirection() == Qt::RightToLeft;
}

QString LanguageTable::ListEntry(const LanguageRow& row, const QString& translated_name) {
    const QString own = QString::fromUtf8(row.own_name);
    if (translated_name.compare(own, Qt::CaseInsensitive) == 0) return translated_name;
    return translated_name + QStringLiteral(" \u2014 ") + own;
}

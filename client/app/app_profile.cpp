// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_profile.h"

#include <QDir>
#include <QLocale>
#include <clocale>

namespace {

// The process's one profile.
std::unique_ptr<AppProfile>& TheProfile() {
    static std::unique_ptr<AppProfile> profile;
    return profile;
}

}  // namespace

AppProfile::AppProfile(AppFolders folders)
    : folders_(std::move(folders)),
      settings_file_(folders_.program + QStringLiteral("Config.ini")),
      settings_(settings_file_) {}

AppProfile& AppProfile::Reset(const AppFolders& folders) {
    TheProfile() = std::make_unique<AppProfile>(folders);
    return *TheProfile();
}

AppProfile* AppProfile::Current() {
    return TheProfile().get();
}

int AppProfile::ReadInt(const QString& key, int fallback) {
    AppProfile* profile = Current();
    return profile ? profile->ReadIntOf(key, fallback) : fallback;
}

QString AppProfile::ReadString(const QString& key, const QString& fallback) {
    AppProfile* profile = Current();
    return profile ? profile->ReadStringOr(key, fallback) : fallback;
}

bool AppProfile::WriteString(const QString& key, const QString& value) {
    AppProfile* profile = Current();
    return profile && profile->Write(key, value);
}

int AppProfile::ReadIntOf(const QString& key, int fallback) {
    return settings_.ReadInt(kSection, key, fallback);
}

QString AppProfile::ReadStringOr(const QString& key, const QString& fallback) {
    const QString value = settings_.ReadString(kSection, key, QString());
    return value.isEmpty() ? fallback.left(ProfileFile::kMaxValueChars) : value;
}

bool AppProfile::Write(const QString& key, const QString& value) {
    QDir().mkpath(folders_.program);
    return settings_.WriteString(kSection, key, value, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString AppProfile::Translate(const QString& text) {
    AppProfile* profile = Current();
    return profile ? profile->TranslateText(text) : text;
}

QString AppProfile::TranslateText(const QString& text) {
    if (language_index_ < 0 || table_.row(language_index_).available == 0) return text;
    const auto cached = translated_.constFind(text);
    if (cached != translated_.constEnd()) return *cached;
    const QString value = language_.ReadString(kSection, text, text);
    translated_.insert(text, value);
    return value;
}

void AppProfile::ChooseLanguageAndSkin() {
    const QString setting = ReadStringOf(QStringLiteral("Language File"));
    const QString folder = folders_.FindData(QStringLiteral("Language"));
    QStringList titles;
    if (!folder.isEmpty()) {
        const QFileInfoList entries =
            QDir(folder).entryInfoList({QStringLiteral("*.ini")}, QDir::Files | QDir::Hidden, QDir::Name);
        for (const QFileInfo& entry : entries) titles << entry.completeBaseName();
    }
    language_index_ = table_.Choose(setting, titles);
    const QString language_folder = folder.isEmpty() ? folders_.program + QStringLiteral("Language") : folder;
    language_file_ =
        language_folder + u'/' + QLatin1String(table_.row(language_index_).code) + QStringLiteral(".ini");
    language_ = ProfileFile(language_file_);
    translated_.clear();

    const QString skin = settings_.ReadString(kSection, QStringLiteral("Skin"), QString());
    const QString skin_name = skin.isEmpty() ? QStringLiteral("image") : skin;
    const QString found = folders_.FindData(skin_name);
    skin_folder_ = (found.isEmpty() ? folders_.program + skin_name : found) + u'/';
}

QString AppProfile::ReadStringOf(const QString& key) {
    return settings_.ReadString(kSection, key, QString());
}

QString AppProfile::ApplyLocale() const {
    const int row = language_index_ < 0 ? 0 : language_index_;
    const QString name = LanguageTable::SystemLocale(table_.row(row));
    const char* set = std::setlocale(LC_ALL, name.toLatin1().constData());
    QLocale::setDefault(LanguageTable::Locale(table_.row(row)));
    return set ? name : QString();
}

QStringList AppProfile::Provinces() {
    const QString kProvinces = QStringLiteral("Provinces");
    constexpr int kMaxChars = 1023;
    QStringList list;
    if (language_index_ >= 0 && table_.row(language_index_).available)
        list = language_.ReadSection(kProvinces, kMaxChars);
    if (list.isEmpty()) list = settings_.ReadSection(kProvinces, kMaxChars);
    return list;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_store.h"

#include "app/app_profile.h"
#include "app/app_settings.h"

SettingsStore::SettingsStore(AppProfile* profile, QObject* parent) : QObject(parent), profile_(profile) {}

QString SettingsStore::programFolder() const {
    return profile_ ? profile_->programFolder() : QString();
}

QString SettingsStore::skinFolder() const {
    return profile_ ? profile_->skinFolder() : QString();
}

QString SettingsStore::settingsFile() const {
    return profile_ ? profile_->settingsFile() : QString();
}

const AppFolders* SettingsStore::folders() const {
    return profile_ ? &profile_->folders() : nullptr;
}

const LanguageTable* SettingsStore::languageTable() const {
    return profile_ ? &profile_->languageTable() : nullptr;
}

int SettingsStore::languageIndex() const {
    return profile_ ? profile_->languageIndex() : -1;
}

QStringList SettingsStore::provinces() const {
    return profile_ ? profile_->Provinces() : QStringList();
}

int SettingsStore::ReadInt(const QString& key, int fallback) const {
    return profile_ ? profile_->ReadIntOf(key, fallback) : fallback;
}

QString SettingsStore::ReadString(const QString& key, const QString& fallback) const {
    return profile_ ? profile_->ReadStringOr(key, fallback) : fallback;
}

bool SettingsStore::Write(const QString& key, const QString& value) {
    return profile_ && profile_->Write(key, value);
}

SettingsStore::Login SettingsStore::login() const {
    return {ReadString(QStringLiteral("UserName"), QStringLiteral("orvi")),
            ReadString(QStringLiteral("Password"), QStringLiteral("480913")), centerAddress(),
            ReadInt(QStringLiteral("CenterServer_TcpPort"), 24680),
            ReadInt(QStringLiteral("CenterServer_UdpPort"), 24681)};
}

QString SettingsStore::centerAddress() const {
    return ReadString(QStringLiteral("CenterServer_Address"), AppSettings::kDefaultCenterAddress);
}

bool SettingsStore::SetServer(const QString& address, int tcp_port, int udp_port) {
    const bool stored = Write(QStringLiteral("CenterServer_Address"), address) &&
                        Write(QStringLiteral("CenterServer_TcpPort"), QString::number(tcp_port)) &&
                        Write(QStringLiteral("CenterServer_UdpPort"), QString::number(udp_port));
    if (stored) emit loginChanged();
    return stored;
}

bool SettingsStore::SetCredentials(const QString& user, const QString& password) {
    const bool stored =
        Write(QStringLiteral("UserName"), user) && Write(QStringLiteral("Password"), password);
    if (stored) emit loginChanged();
    return stored;
}

bool SettingsStore::SetRecord(const QString& path, int duration_s) {
    const bool stored = Write(QStringLiteral("RecordPath"), path) &&
                        Write(QStringLiteral("RecordDuration"), QString::number(duration_s));
    if (stored) emit recordChanged();
    return stored;
}

bool SettingsStore::SetSnapshot(const QString& path, bool open_after) {
    const bool stored = Write(QStringLiteral("SnapshotPath"), path) &&
                        Write(QStringLiteral("SnapshotOpenPath"), QString::number(open_after ? 1 : 0));
    if (stored) emit snapshotChanged();
    return stored;
}

int SettingsStore::cycleDuration_s(int fallback) const {
    return ReadInt(QStringLiteral("CycleDuration"), fallback);
}

bool SettingsStore::SetCycle(int duration_s, int stop_mode) {
    const bool stored = Write(QStringLiteral("CycleDuration"), QString::number(duration_s)) &&
                        Write(QStringLiteral("CycleStopMode"), QString::number(stop_mode));
    if (stored) emit cycleChanged();
    return stored;
}

QString SettingsStore::languageCode() const {
    return ReadString(QStringLiteral("Language File"), QString());
}

bool SettingsStore::SetLowDelay(int low_delay) {
    const bool stored = Write(QStringLiteral("LowDelay"), QString::number(low_delay));
    if (stored) emit optionChanged();
    return stored;
}

bool SettingsStore::SetLanguageCode(const QString& code) {
    const bool stored = Write(QStringLiteral("Language File"), code);
    if (stored) emit optionChanged();
    return stored;
}

bool SettingsStore::showResolutionConfig() const {
    return ReadInt(QStringLiteral("ShowResolutionConfig"), 0) != 0;
}

int SettingsStore::pageTabWidth_px() const {
    return ReadInt(QStringLiteral("PageTabWidth"), 120);
}

int SettingsStore::gridRows() const {
    return ReadInt(QStringLiteral("UIWindowRow"), 2);
}

int SettingsStore::gridCols() const {
    return ReadInt(QStringLiteral("UIWindowCol"), 2);
}

QString SettingsStore::gpsOffsetX() const {
    return ReadString(QStringLiteral("GPS_Offset_X"), QString());
}

QString SettingsStore::gpsOffsetY() const {
    return ReadString(QStringLiteral("GPS_Offset_Y"), QString());
}

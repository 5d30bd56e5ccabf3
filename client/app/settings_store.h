// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's settings as one object: typed reads and writes of the keys of section "Tavrin" of
// Config.ini that the windows and dialogs use, the facts of the installation they need (program and skin
// folders, provinces, languages), and one `changed` signal per group of keys that a dialog saves.
//
// Config.ini keeps its keys and value format: the store goes through the profile's reader and writer, so
// the file reads and writes exactly as before (decimal integers, case-blind names, other lines kept).
// Writes report failure: a group write stops at the first key that could not be stored (the file is then
// left as it was for that key and the ones after it) and returns false; the group's signal follows only
// a complete write, so listeners never apply values that will be gone at the next start.
//
// Made once by the composition root and handed to the units that need it. UI thread only, like the
// profile it reads through.
#include <QObject>
#include <QString>
#include <QStringList>

class AppProfile;
struct AppFolders;
class LanguageTable;

class SettingsStore : public QObject {
    Q_OBJECT
  public:
    // `profile` (may be null: every read gives its default, every write fails) outlives the store.
    explicit SettingsStore(AppProfile* profile, QObject* parent = nullptr);

    // The installation. Empty texts, no folders and no table without a profile.
    QString programFolder() const;
    QString skinFolder() const;
    QString settingsFile() const;
    const AppFolders* folders() const;
    const LanguageTable* languageTable() const;
    int languageIndex() const;
    // Section "Provinces" of the language file, else of Config.ini.
    QStringList provinces() const;

    // Login: the server and the operator's credentials.
    struct Login {
        QString user;
        QString password;
        QString address;
        int tcp_port = 0;
        int udp_port = 0;
    };
    Login login() const;
    QString centerAddress() const;
    [[nodiscard]] bool SetServer(const QString& address, int tcp_port, int udp_port);
    [[nodiscard]] bool SetCredentials(const QString& user, const QString& password);

    // Recording and snapshot folders (the folder texts are stored as given).
    [[nodiscard]] bool SetRecord(const QString& path, int duration_s);
    [[nodiscard]] bool SetSnapshot(const QString& path, bool open_after);

    // Page cycling: the stored duration, `fallback` when none is stored.
    int cycleDuration_s(int fallback) const;
    [[nodiscard]] bool SetCycle(int duration_s, int stop_mode);

    // Options: buffer time (tenths of a second) and the language file's code (empty when none is set).
    QString languageCode() const;
    [[nodiscard]] bool SetLowDelay(int low_delay);
    [[nodiscard]] bool SetLanguageCode(const QString& code);

    // Display: read only, set by hand in the file.
    bool showResolutionConfig() const;
    int pageTabWidth_px() const;
    int gridRows() const;
    int gridCols() const;

    // Map: the manual position offsets, as stored.
    QString gpsOffsetX() const;
    QString gpsOffsetY() const;

  signals:
    void loginChanged();
    void recordChanged();
    void snapshotChanged();
    void cycleChanged();
    void optionChanged();

  private:
    int ReadInt(const QString& key, int fallback) const;
    QString ReadString(const QString& key, const QString& fallback) const;
    bool Write(const QString& key, const QString& value);

    AppProfile* profile_;
};

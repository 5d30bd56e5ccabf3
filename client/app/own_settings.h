// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings of this client's own features, beside the documented ones of Config.ini: "Tavrin.ini" in the
// program folder, section "Tavrin", in the same file format (ProfileFile). Config.ini keeps exactly the
// keys other installations know, so a key of ours never ends up there. Each feature names its own keys;
// a missing file or key reads as the feature's default, and nothing is created until the first write.
//
// Made once by the composition root and handed to the units that need it; UI thread only.
#include <QString>

#include "app/profile_file.h"

class OwnSettings {
  public:
    static inline const QString kFileName = QStringLiteral("Tavrin.ini");
    static inline const QString kSection = QStringLiteral("Tavrin");

    // The file in `program_folder` (which ends with '/'); an empty folder gives defaults and refuses writes.
    explicit OwnSettings(const QString& program_folder);

    // `fallback` when the file or the key is missing or the value is empty; integers as ProfileFile reads
    // them (an optional sign and the leading digits).
    int ReadInt(const QString& key, int fallback);
    bool ReadBool(const QString& key, bool fallback) { return ReadInt(key, fallback ? 1 : 0) != 0; }
    QString ReadString(const QString& key, const QString& fallback);

    // Stores the value (integers and booleans as decimal text), keeping the rest of the file; the folder
    // is made when missing. False when the file could not be written: the caller decides whether the
    // operator hears of it.
    [[nodiscard]] bool WriteString(const QString& key, const QString& value);
    [[nodiscard]] bool WriteInt(const QString& key, int value) {
        return WriteString(key, QString::number(value));
    }
    [[nodiscard]] bool WriteBool(const QString& key, bool value) { return WriteInt(key, value ? 1 : 0); }

    const QString& path() const { return file_.path(); }

  private:
    QString folder_;
    ProfileFile file_;
};

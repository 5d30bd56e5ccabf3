// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/own_settings.h"

#include <QDir>

OwnSettings::OwnSettings(const QString& program_folder)
    : folder_(program_folder), file_(program_folder.isEmpty() ? QString() : program_folder + kFileName) {}

int OwnSettings::ReadInt(const QString& key, int fallback) {
    return file_.ReadInt(kSection, key, fallback);
}

QString OwnSettings::ReadString(const QString& key, const QString& fallback) {
    const QString value = file_.ReadString(kSection, key, QString());
    return value.isEmpty() ? fallback : value;
}

bool OwnSettings::WriteString(const QString& key, const QString& value) {
    // An installed client's folder (~/.config/tavrin/) exists only after its first write.
    if (!QDir().mkpath(folder_)) return false;
    return file_.WriteString(kSection, key, value);
}

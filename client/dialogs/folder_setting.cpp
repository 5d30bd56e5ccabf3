// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/folder_setting.h"

#include <QDir>
#include <QFileInfo>

#include "dialogs/preference_rules.h"

QString StoredFolder(const QString& edited, const QString& default_folder) {
    const QString folder = preferences::WithFinalSeparator(edited);
    return folder.isEmpty() ? default_folder : folder;
}

QString BrowseStartFolder(const QString& configured, const QString& fallback) {
    if (configured.isEmpty() || QDir::isRelativePath(configured)) return fallback;
    QString folder = QDir::cleanPath(configured);
    for (;;) {
        if (QFileInfo(folder).isDir()) return folder;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return fallback;
        folder = parent;
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/folder_setting.h"

#include "dialogs/preference_rules.h"

QString StoredFolder(const QString& edited, const QString& default_folder) {
    const QString folder = preferences::WithFinalSeparator(edited);
    return folder.isEmpty() ? default_folder : folder;
}

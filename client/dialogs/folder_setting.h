// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder settings of the record and snapshot pages as they are stored: the edit's folder with a final
// "/" (file names are appended directly), or the default folder when the edit was left empty, never the
// file system's root.
#include <QString>

QString StoredFolder(const QString& edited, const QString& default_folder);

// Where the folder picker opens for a configured folder: the folder itself, or, while it does not exist
// yet (it is made at the first recording), its nearest existing parent; `fallback` when none exists.
QString BrowseStartFolder(const QString& configured, const QString& fallback);

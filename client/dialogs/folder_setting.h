// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder settings of the record and snapshot pages as they are stored: the edit's folder with a final
// "/" (file names are appended directly), or the default folder when the edit was left empty, never the
// file system's root.
#include <QString>

QString StoredFolder(const QString& edited, const QString& default_folder);

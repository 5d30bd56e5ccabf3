// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the client keeps its files. The program folder holds what the client writes (Config.ini, page
// files, the default Record/ and Snapshot/ folders); read-only data (Language/, the skin folder, the map
// page) is looked up in the program folder, then beside the executable, then in the installed data folder.
// Every folder text ends with '/', because file names are appended to it directly.
#include <QString>
#include <QStringList>

struct AppFolders {
    QString program;           // "" never: always a folder
    QStringList data;          // lookup order for read-only data, program folder first
    bool installed = false;    // the program runs from an installation (no Language/ beside it)
    QString record_default;    // default of RecordPath
    QString snapshot_default;  // default of SnapshotPath

    // TAVRIN_HOME when set; else the executable's folder when a Language/ folder stands beside it (a build
    // folder); else the per-user configuration folder ($XDG_CONFIG_HOME/tavrin/).
    static AppFolders Detect();
    // The same rules over explicit inputs (tests): `home` is TAVRIN_HOME (empty: unset), `exe_dir` the
    // executable's folder, `config_dir` the user's configuration folder, `share_dir` the installed data.
    static AppFolders From(const QString& home, const QString& exe_dir, const QString& config_dir,
                           const QString& share_dir);

    // The first data folder holding `relative` (a file or folder), as a full path; empty when none does.
    QString FindData(const QString& relative) const;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString WithSlash(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/')) return folder;
    return folder + u'/';
}

}  // namespace

AppFolders AppFolders::Detect() {
    const QString exe_dir = QCoreApplication::applicationDirPath();
    // <prefix>/bin/tavrin -> <prefix>/share/tavrin/
    const QString share_dir = QDir::cleanPath(exe_dir + QStringLiteral("/../share/tavrin"));
    const QString config_dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    AppFolders folders =
        From(qEnvironmentVariable("TAVRIN_HOME"), exe_dir, config_dir + QStringLiteral("/tavrin"), share_dir);
    if (folders.installed) {
        const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (!videos.isEmpty()) folders.record_default = WithSlash(videos) + QStringLiteral("Tavrin/Record/");
        if (!pictures.isEmpty())
            folders.snapshot_default = WithSlash(pictures) + QStringLiteral("Tavrin/Snapshot/");
    }
    return folders;
}

AppFolders AppFolders::From(const QString& home, const QString& exe_dir, const QString& config_dir,
                            const QString& share_dir) {
    AppFolders folders;
    const QString exe = WithSlash(exe_dir);
    const bool build_folder = QFileInfo(exe + QStringLiteral("Language")).isDir();
    if (!home.isEmpty()) {
        folders.program = WithSlash(QDir(home).absolutePath());
    } else if (build_folder) {
        folders.program = exe;
    } else {
        folders.program = WithSlash(config_dir);
        folders.installed = true;
    }
    folders.data << folders.program;
    if (!folders.data.contains(exe)) folders.data << exe;
    if (!share_dir.isEmpty() && !folders.data.contains(WithSlash(share_dir)))
        folders.data << WithSlash(share_dir);
    folders.record_default = folders.program + QStringLiteral("Record/");
    folders.snapshot_default = folders.program + QStringLiteral("Snapshot/");
    return folders;
}

QString AppFolders::FindData(const QString& relative) const {
    for (const QString& folder : data)
        if (QFileInfo::exists(folder + relative)) return folder + relative;
    return QString();
}

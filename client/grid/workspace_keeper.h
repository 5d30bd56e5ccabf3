// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operator's workspace: the grid's size and the channels of its pages, kept in a file of the program
// folder ("Workspace.ini", the page-file format, so it can be copied and loaded as a page file) and given
// back at the next start and after a new login. The settings file is not touched. The keeper writes the
// file when the grid differs from what the file holds; the owner calls SaveIfChanged only while a
// session is listed and nothing is waiting to be restored (a logout empties the grid without the
// operator asking for it, so that must not reach the file). UI thread only.
#include <QByteArray>
#include <QSize>
#include <QString>
#include <optional>

class PageTab;

class WorkspaceKeeper {
  public:
    static constexpr const char* kFileName = "Workspace.ini";

    // `grid` outlives the keeper; `program_folder` ends with '/'.
    WorkspaceKeeper(PageTab& grid, const QString& program_folder);

    const QString& path() const { return path_; }
    bool HasFile() const;
    // The grid size the file holds, if it holds a usable one.
    std::optional<QSize> StoredSize() const;
    // Writes the grid when it changed since the last write or restore. The file is replaced whole
    // (written beside it, then renamed over it), so a crash leaves the old or the new one, and channels
    // closed since are not left behind in it. False when a write failed.
    bool SaveIfChanged();
    // The grid as it is now is what the file holds (after a restore).
    void MarkSaved();

  private:
    QByteArray Signature() const;

    PageTab& grid_;
    QString path_;
    QByteArray saved_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening a file of a recordings folder without ever blocking: a FIFO (or a symlink to one) named like a
// recording would hang an open() until a writer came, and a read of a device or socket may never end.
#include <sys/stat.h>

#include <QByteArray>
#include <QString>

#include "recordings/ui_text.h"

namespace recordings {

// Which file a path reaches (after symbolic links): a hard link, a symbolic link and the path itself all
// give the same identity.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool valid = false;
    bool operator==(const FileIdentity& other) const {
        return valid && other.valid && device == other.device && inode == other.inode;
    }
};
// The identity of the file at `path`; not valid when there is none.
FileIdentity IdentityOf(const QString& path);

// A regular file open for reading; the descriptor is closed with the object. Any thread; one owner.
class RegularFile {
  public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens `path` (symbolic links followed) without blocking, whatever it names, and keeps it only when
    // it is a regular file. False with a message for the user in *error ("<name> cannot be opened: ...")
    // for a missing or unreadable file, a folder, a FIFO, a device or a socket; error may be null.
    bool Open(const QString& path, UserText* error);
    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const FileIdentity& identity() const { return identity_; }
    // A path that reaches this very file again, whatever happens to the name it was opened by afterwards
    // (for a library that opens files by name); the name itself where the system offers no such path.
    QByteArray ReopenPath() const;
    // Reads the whole file (at most max_bytes; false when it is longer or a read fails).
    bool ReadAll(qint64 max_bytes, QByteArray* data) const;

  private:
    int fd_ = -1;
    QString path_;
    FileIdentity identity_;
};

}  // namespace recordings

// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/regular_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace recordings {

FileIdentity IdentityOf(const QString& path) {
    struct stat status {};
    FileIdentity identity;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return identity;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    identity.valid = true;
    return identity;
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool RegularFile::Open(const QString& path, UserText* error) {
    const QString name = QFileInfo(path).fileName();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_ = path;
    // O_NONBLOCK: a FIFO put in the file's place between any check and this open must not block it; on a
    // regular file the flag changes nothing.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // The system's reason is read now: errno is gone by the time the message is shown.
        Tell(error, UserText([name, reason = QString::fromLocal8Bit(strerror(errno))](
                                 const TranslateText& translate) {
                 return translate(QStringLiteral("%1 cannot be opened: %2")).arg(name, reason);
             }));
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        const bool folder = S_ISDIR(status.st_mode);
        Tell(error, UserText([name, folder](const TranslateText& translate) {
                 return (folder ? translate(QStringLiteral("%1 cannot be opened: it is a folder."))
                                : translate(QStringLiteral("%1 cannot be opened: it is not a regular file.")))
                     .arg(name);
             }));
        return false;
    }
    fd_ = fd;
    identity_ = FileIdentity{status.st_dev, status.st_ino, true};
    return true;
}

QByteArray RegularFile::ReopenPath() const {
    const QByteArray own = "/proc/self/fd/" + QByteArray::number(fd_);
    if (fd_ >= 0 && ::access(own.constData(), R_OK) == 0) return own;
    return QFile::encodeName(path_);
}

bool RegularFile::ReadAll(qint64 max_bytes, QByteArray* data) const {
    data->clear();
    if (fd_ < 0) return false;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd_, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (data->size() + got > max_bytes) return false;
        data->append(buffer, got);
        offset += got;
    }
}

}  // namespace recordings

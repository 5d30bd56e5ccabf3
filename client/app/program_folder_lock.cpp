// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_folder_lock.h"

#include <QDir>

ProgramFolderLock::~ProgramFolderLock() = default;  // QLockFile unlocks in its destructor

bool ProgramFolderLock::Acquire(const QString& folder) {
    holder_pid_ = 0;
    holder_host_.clear();
    message_.clear();
    const QString dir = QDir(folder).absolutePath();
    QDir().mkpath(dir);
    lock_ = std::make_unique<QLockFile>(dir + u'/' + QLatin1String(kFileName));
    // Only a dead holder makes a lock stale: a client runs for weeks, and QLockFile's default would call
    // a lock older than 30 s stale and take it from a running client.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) return true;
    if (lock_->error() == QLockFile::LockFailedError) {
        QString application;
        lock_->getLockInfo(&holder_pid_, &holder_host_, &application);
        message_ = QStringLiteral(
                       "the program folder %1 is in use by process %2 on host %3 (%4); a second "
                       "screen needs a TAVRIN_HOME of its own")
                       .arg(QDir::toNativeSeparators(dir), QString::number(holder_pid_),
                            holder_host_.isEmpty() ? QStringLiteral("?") : holder_host_,
                            QDir::toNativeSeparators(lock_->fileName()));
    } else {
        message_ = QStringLiteral("the program folder %1 cannot be locked: %2 cannot be written")
                       .arg(QDir::toNativeSeparators(dir), QDir::toNativeSeparators(lock_->fileName()));
    }
    lock_.reset();
    return false;
}

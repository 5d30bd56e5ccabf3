// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One tavrin at a time on a program folder: two would overwrite each other's Config.ini, pages, workspace
// and recordings. A wall of several screens gives each its own TAVRIN_HOME.
#include <QLockFile>
#include <QString>
#include <memory>

class ProgramFolderLock {
  public:
    // The lock file's name inside the program folder.
    static constexpr const char* kFileName = "tavrin.lock";

    ProgramFolderLock() = default;
    // Releases the lock (removes the lock file) when held.
    ~ProgramFolderLock();
    ProgramFolderLock(const ProgramFolderLock&) = delete;
    ProgramFolderLock& operator=(const ProgramFolderLock&) = delete;

    // Takes the lock of `folder` (made when missing) without waiting. A lock file left by a process that
    // no longer runs on this host is taken over; one of a running process, however old, is not. False
    // when another process holds it (holder_pid() and holder_host() then name it) or when the lock file
    // cannot be written (holder_pid() 0); message() says which, for the user. Any thread, but one at a time.
    bool Acquire(const QString& folder);

    bool held() const { return lock_ && lock_->isLocked(); }
    qint64 holder_pid() const { return holder_pid_; }
    const QString& holder_host() const { return holder_host_; }
    // Why Acquire failed, one line naming the folder and the holder.
    const QString& message() const { return message_; }

  private:
    std::unique_ptr<QLockFile> lock_;
    qint64 holder_pid_ = 0;
    QString holder_host_;
    QString message_;
};

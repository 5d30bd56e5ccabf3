// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FIFOs named like recordings, and a guard that frees whatever blocks on opening them: a test of code that
// must never wait for a FIFO fails (rather than hangs) when the code does wait.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

inline bool MakeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

// After `timeout`, opens each FIFO for writing (which releases a reader blocked in open()) and closes it
// again (the reader then reads the end of the file), until the guard goes. fired() says whether it had to.
class FifoGuard {
  public:
    FifoGuard(QStringList fifos, std::chrono::milliseconds timeout)
        : fifos_(std::move(fifos)), thread_([this, timeout] { Run(timeout); }) {}
    ~FifoGuard() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    bool fired() const { return fired_; }

  private:
    void Run(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, timeout, [this] { return done_; })) return;
        fired_ = true;
        while (!done_) {
            for (const QString& fifo : fifos_) {
                const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) ::close(fd);
            }
            wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; });
        }
    }

    QStringList fifos_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

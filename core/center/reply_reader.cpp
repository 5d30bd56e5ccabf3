// SPDX-License-Identifier: GPL-3.0-or-later
#include "center/reply_reader.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace corvel {

bool ReplyReader::Fill() {
    const size_t want = unread_ < capacity_ ? static_cast<size_t>(unread_) : capacity_;
    for (;;) {
        const ssize_t got = recv(socket_, buffer_, want, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        used_ = 0;
        filled_ = static_cast<size_t>(got);
        unread_ -= filled_;
        return true;
    }
}

bool ReplyReader::Read(uint8_t* out, size_t n) {
    if (n > remaining()) return false;
    while (n > 0) {
        if (used_ == filled_ && !Fill()) return false;
        const size_t take = n < filled_ - used_ ? n : filled_ - used_;
        std::memcpy(out, buffer_ + used_, take);
        used_ += take;
        out += take;
        n -= take;
    }
    return true;
}

bool ReplyReader::Skip(uint64_t n) {
    if (n > remaining()) return false;
    while (n > 0) {
        if (used_ == filled_ && !Fill()) return false;
        const size_t available = filled_ - used_;
        const size_t take = n < available ? static_cast<size_t>(n) : available;
        used_ += take;
        n -= take;
    }
    return true;
}

}  // namespace corvel
